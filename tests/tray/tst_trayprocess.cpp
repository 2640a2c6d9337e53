#include "testhome.h"
#include "throwawayuser.h"
#include "trayinstallation.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSharedMemory>
#include <QSystemSemaphore>
#include <QtTest>

#include <grp.h>
#include <memory>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The names under which trays once kept their single instance: System V
// objects keyed by files in the shared temporary folder, derived from the
// user's id, which anyone can compute.
QString oldKey(uid_t user, const char *salt)
{
    const QByteArray text = "Varnek Quillmark Updater_" + QByteArray::number(user) + salt;
    return QString::fromLatin1(QCryptographicHash::hash(text, QCryptographicHash::Sha1).toHex());
}

// A child process of the other user holding the old objects for this
// user's tray; they stay while it lives.
class OldKeysPlanter
{
public:
    OldKeysPlanter(const ThrowAwayUser &user, const QString &temporaryDirectory,
                   bool semaphoreAtZero)
    {
        int ready[2];
        if (::pipe(ready) != 0 || ::pipe(m_hold) != 0)
            return;
        const passwd *account = ::getpwnam(QFile::encodeName(user.name()).constData());
        if (!account)
            return;
        const QByteArray temporary = QFile::encodeName(temporaryDirectory);
        const uid_t victim = ::geteuid();
        m_child = ::fork();
        if (m_child == 0) {
            ::close(ready[0]);
            ::close(m_hold[1]);
            if (::setgroups(0, nullptr) != 0
                || ::setresgid(account->pw_gid, account->pw_gid, account->pw_gid) != 0
                || ::setresuid(account->pw_uid, account->pw_uid, account->pw_uid) != 0)
                ::_exit(1);
            ::setenv("TMPDIR", temporary.constData(), 1);
            bool planted = false;
            QSharedMemory memory(oldKey(victim, "_sharedmemKey"));
            QSystemSemaphore semaphore(oldKey(victim, "_memLockKey"), 0, QSystemSemaphore::Create);
            planted =
                semaphoreAtZero ? semaphore.error() == QSystemSemaphore::NoError : memory.create(8);
            const char answer = planted ? 'y' : 'n';
            if (::write(ready[1], &answer, 1) != 1)
                ::_exit(1);
            char ignored;
            while (::read(m_hold[0], &ignored, 1) > 0) { }
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(m_hold[0]);
        char answer = 'n';
        m_planted = m_child > 0 && ::read(ready[0], &answer, 1) == 1 && answer == 'y';
        ::close(ready[0]);
    }
    ~OldKeysPlanter()
    {
        ::close(m_hold[1]);
        if (m_child > 0)
            ::waitpid(m_child, nullptr, 0);
    }
    bool isPlanted() const { return m_planted; }

private:
    int m_hold[2] = {-1, -1};
    pid_t m_child = -1;
    bool m_planted = false;
};

} // namespace

// The shipped QuillmarkTray binary, started as the desktop session would.
class TestTrayProcess : public QObject
{
    Q_OBJECT

private:
    static constexpr int timeout = 10000;
    static const QString constructed;
    static const QString alreadyRunning;

    QString log() const
    {
        QFile file(m_home->logFile(QStringLiteral("quillmarktraylog.txt")));
        file.open(QIODevice::ReadOnly);
        return QString::fromUtf8(file.readAll());
    }

    std::unique_ptr<QProcess> startTray(const QProcessEnvironment &extra = {}) const
    {
        auto tray = std::make_unique<QProcess>();
        QProcessEnvironment environment = m_installation->environment(m_home->environment());
        environment.insert(extra);
        tray->setProcessEnvironment(environment);
        tray->setProgram(m_installation->program());
        tray->start();
        return tray;
    }

    // Starts a tray and waits until it has built its icon.
    std::unique_ptr<QProcess> startRunningTray(const QProcessEnvironment &extra = {}) const
    {
        const int before = log().count(constructed);
        auto tray = startTray(extra);
        QDeadlineTimer deadline(timeout);
        while (log().count(constructed) == before && tray->state() != QProcess::NotRunning
               && !deadline.hasExpired())
            QTest::qWait(20);
        return tray;
    }

    static bool endsWithZero(QProcess &process)
    {
        return process.waitForFinished(timeout) && process.exitStatus() == QProcess::NormalExit
               && process.exitCode() == 0;
    }

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<TrayInstallation> m_installation;

private slots:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        QVERIFY(m_home->switchLoggingOn(QStringLiteral("quillmarktraylog.txt")));
        m_installation = std::make_unique<TrayInstallation>();
        QVERIFY(m_installation->isValid());
    }

    void cleanup()
    {
        m_installation->removeInstanceKeys();
    }

    void secondInstanceEndsWhileFirstRuns()
    {
        const auto first = startRunningTray();
        QCOMPARE(first->state(), QProcess::Running);
        const auto second = startTray();
        QVERIFY(endsWithZero(*second));
        QCOMPARE(log().count(alreadyRunning), 1);
        QCOMPARE(log().count(constructed), 1);
        QCOMPARE(first->state(), QProcess::Running);
        first->kill();
        first->waitForFinished(timeout);
    }

    // Each user of the machine has a tray of their own; before, the first
    // user's keys kept everyone else's tray from starting.
    void otherUsersTrayRunsBeside()
    {
        if (::geteuid() != 0)
            QSKIP("starting a tray as another user needs root");
        const auto mine = startRunningTray();
        QCOMPARE(mine->state(), QProcess::Running);

        TestHome otherHome;
        const QString otherLog = QStringLiteral("quillmarktraylog.txt");
        QVERIFY(otherHome.switchLoggingOn(otherLog));
        QVERIFY(m_installation->shareWithOtherUsers());
        QProcess chown;
        chown.start(QStringLiteral("chown"), {QStringLiteral("-R"), QStringLiteral("nobody:nogroup"),
                                              otherHome.path()});
        QVERIFY(chown.waitForFinished() && chown.exitCode() == 0);

        QProcess other;
        // The other user's lock lives in their own cache folder.
        QProcessEnvironment otherEnvironment = m_installation->environment(otherHome.environment());
        otherEnvironment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        other.setProcessEnvironment(otherEnvironment);
        other.start(QStringLiteral("setpriv"),
                    {QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                     QStringLiteral("--clear-groups"), m_installation->program()});
        const auto otherLogText = [&] {
            QFile file(otherHome.logFile(otherLog));
            file.open(QIODevice::ReadOnly);
            return QString::fromUtf8(file.readAll());
        };
        QTRY_VERIFY_WITH_TIMEOUT(otherLogText().contains(constructed)
                                     || other.state() == QProcess::NotRunning,
                                 timeout);
        QVERIFY2(!otherLogText().contains(alreadyRunning), qPrintable(otherLogText()));
        QCOMPARE(other.state(), QProcess::Running);
        QCOMPARE(mine->state(), QProcess::Running);
        other.kill();
        other.waitForFinished(timeout);
        mine->kill();
        mine->waitForFinished(timeout);
    }

    void otherUsersOldKeysDecideNothing_data()
    {
        QTest::addColumn<bool>("semaphoreAtZero");
        QTest::newRow("memory key held") << false;
        QTest::newRow("semaphore left at zero") << true;
    }

    // Another user pre-creates the objects under the names this user's tray
    // once used: before, the tray then ended as "already running" or hung,
    // and the daily update check never ran.
    void otherUsersOldKeysDecideNothing()
    {
        if (::geteuid() != 0)
            QSKIP("making another user needs root");
        QFETCH(bool, semaphoreAtZero);
        ThrowAwayUser other;
        QVERIFY(other.isValid());
        QVERIFY(m_installation->shareWithOtherUsers());
        {
            const OldKeysPlanter planter(other, m_installation->ipcDirectory(), semaphoreAtZero);
            QVERIFY(planter.isPlanted());
            const auto tray = startRunningTray();
            QVERIFY2(log().contains(constructed), qPrintable(log()));
            QCOMPARE(log().count(alreadyRunning), 0);
            QCOMPARE(tray->state(), QProcess::Running);
            tray->kill();
            tray->waitForFinished(timeout);
        }
    }

    void killedInstanceDoesNotBlockTheNext()
    {
        const auto first = startRunningTray();
        first->kill(); // SIGKILL: no chance to release the segment
        QVERIFY(first->waitForFinished(timeout));

        const auto next = startRunningTray();
        QCOMPARE(next->state(), QProcess::Running);
        QCOMPARE(log().count(alreadyRunning), 0);
        // The new tray really holds the instance now.
        const auto another = startTray();
        QVERIFY(endsWithZero(*another));
        QCOMPARE(log().count(alreadyRunning), 1);
        next->kill();
        next->waitForFinished(timeout);
    }

    void startsWithoutSystemTrayAndLogs()
    {
        const auto tray = startRunningTray();
        QCOMPARE(tray->state(), QProcess::Running);
        QTRY_VERIFY(log().contains(QStringLiteral("Could not detect any system tray")));
        const QString text = log();
        QVERIFY2(text.contains(QRegularExpression(QStringLiteral(
                     "Starting app: .*QuillmarkTray.*1\\.0\\.1 \\([0-9a-f]{40}\\)"))),
                 qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("Qt build version:  " QT_VERSION_STR)));
        tray->kill();
        tray->waitForFinished(timeout);
    }

    void languageFollowsTheSystemLocale_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("language");
        QTest::newRow("Slovak") << "sk_SK.UTF-8" << "sk";
        QTest::newRow("German") << "de_DE.UTF-8" << "en";
        QTest::newRow("English") << "en_GB.UTF-8" << "en";
    }

    void languageFollowsTheSystemLocale()
    {
        QFETCH(QString, locale);
        QFETCH(QString, language);
        QProcessEnvironment extra;
        extra.insert(QStringLiteral("LC_ALL"), locale);
        const auto tray = startRunningTray(extra);
        QCOMPARE(tray->state(), QProcess::Running);
        QVERIFY2(log().contains(QStringLiteral("System language was found:  \"%1\"").arg(language)),
                 qPrintable(log()));
        tray->kill();
        tray->waitForFinished(timeout);
    }

    void missingTranslationEndsWithOne()
    {
        m_installation = std::make_unique<TrayInstallation>(TrayInstallation::Translations::Missing);
        QVERIFY(m_installation->isValid());
        const auto tray = startTray();
        QVERIFY(tray->waitForFinished(timeout));
        QCOMPARE(tray->exitCode(), 1);
        QVERIFY(log().contains(QStringLiteral("Could not find language package.")));
        QVERIFY(!log().contains(constructed));
    }

    void versionOption()
    {
        auto tray = std::make_unique<QProcess>();
        tray->setProcessEnvironment(m_installation->environment(m_home->environment()));
        tray->start(m_installation->program(), {QStringLiteral("--version")});
        QVERIFY(endsWithZero(*tray));
        QVERIFY(QString::fromUtf8(tray->readAllStandardOutput())
                    .contains(QRegularExpression(QStringLiteral("^QuillmarkTray 1\\.0\\.1 \\([0-9a-f]{40}\\)$"),
                                                 QRegularExpression::MultilineOption)));
    }
};

const QString TestTrayProcess::constructed = QStringLiteral("QuillmarkTray class is being constructed");
const QString TestTrayProcess::alreadyRunning = QStringLiteral("Instance of application is currently running");

QTEST_MAIN(TestTrayProcess)
#include "tst_trayprocess.moc"
