// The diagnostic log appends to a file in the user's documents. Whoever can
// plant a link or a file there must not be able to choose where our lines go:
// a log file that is a link, a FIFO, or a file or directory of another user
// counts as "logging off". A directory link of the user's own, made to keep
// the logs on another disk, is followed.
#include "diagnosticlog.h"
#include "testhome.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace {

const QString logName = QStringLiteral("quillmarkupdaterlog.txt");
constexpr uid_t otherUser = 65534;

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool handTo(const QString &path, uid_t owner)
{
    return ::lchown(QFile::encodeName(path).constData(), owner, static_cast<gid_t>(-1)) == 0;
}

} // namespace

class TestLogDirectory : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestHome> m_home;
    QTemporaryDir m_elsewhere;

    QString logDirectory() const { return QDir::cleanPath(m_home->logDirectory()); }
    QString logFile() const { return m_home->logFile(logName); }
    QString elsewhere(const QString &name) const { return m_elsewhere.filePath(name); }

    static void skipUnlessRoot()
    {
        if (::geteuid() != 0)
            QSKIP("giving a file to another user needs root");
    }

private slots:
    void initTestCase()
    {
        // Updater flavour: nothing falls back to standard error while off.
        DiagnosticLog::install(DiagnosticLog::Program::Updater);
    }

    void init()
    {
        m_home = std::make_unique<TestHome>();
        m_home->applyToCurrentProcess();
        QVERIFY(QDir().mkpath(m_home->documentsPath()));
    }

    void ownDirectoryAndFileAreWritten()
    {
        QVERIFY(m_home->switchLoggingOn(logName));
        qWarning("plain line");
        QVERIFY(contents(logFile()).contains("plain line"));
    }

    void ownDirectoryLinkIsFollowed()
    {
        QVERIFY(QDir().mkpath(elsewhere(QStringLiteral("disk"))));
        QVERIFY(QFile::link(elsewhere(QStringLiteral("disk")), logDirectory()));
        QVERIFY(QFile(logFile()).open(QIODevice::WriteOnly));
        qWarning("through own link");
        QVERIFY(contents(elsewhere(QStringLiteral("disk/") + logName)).contains("through own link"));
    }

    void linkedLogFileIsNotWrittenThrough()
    {
        QVERIFY(QDir().mkpath(logDirectory()));
        const QString target = elsewhere(QStringLiteral("victim.txt"));
        QVERIFY(QFile(target).open(QIODevice::WriteOnly));
        QVERIFY(QFile::link(target, logFile()));
        qWarning("must not arrive");
        QVERIFY(contents(target).isEmpty());
    }

    void danglingLinkCreatesNothing()
    {
        QVERIFY(QDir().mkpath(logDirectory()));
        const QString target = elsewhere(QStringLiteral("created-by-us.txt"));
        QVERIFY(QFile::link(target, logFile()));
        qWarning("must not arrive");
        QVERIFY(!QFile::exists(target));
    }

    void fifoDoesNotStallTheProgram()
    {
        QVERIFY(QDir().mkpath(logDirectory()));
        QCOMPARE(::mkfifo(QFile::encodeName(logFile()).constData(), 0600), 0);
        QElapsedTimer clock;
        clock.start();
        qWarning("into a FIFO nobody reads");
        QVERIFY(clock.elapsed() < 1000);
    }

    void fileOrDirectoryOfAnotherUserIsNotWritten_data()
    {
        QTest::addColumn<bool>("directory");
        QTest::newRow("log file") << false;
        QTest::newRow("log directory") << true;
    }

    void fileOrDirectoryOfAnotherUserIsNotWritten()
    {
        QFETCH(bool, directory);
        skipUnlessRoot();
        QVERIFY(m_home->switchLoggingOn(logName));
        QVERIFY(handTo(directory ? logDirectory() : logFile(), otherUser));
        qWarning("must not arrive");
        QVERIFY(contents(logFile()).isEmpty());
    }

    void directoryLinkOfAnotherUserIsNotFollowed_data()
    {
        QTest::addColumn<bool>("linkForeign");
        QTest::addColumn<bool>("targetForeign");
        QTest::newRow("link planted by another user") << true << false;
        QTest::newRow("link to another user's directory") << false << true;
    }

    void directoryLinkOfAnotherUserIsNotFollowed()
    {
        QFETCH(bool, linkForeign);
        QFETCH(bool, targetForeign);
        skipUnlessRoot();
        const QString target = elsewhere(QStringLiteral("planted"));
        QVERIFY(QDir().mkpath(target));
        QVERIFY(QFile(target + QLatin1Char('/') + logName).open(QIODevice::WriteOnly));
        QVERIFY(QFile::link(target, logDirectory()));
        QVERIFY(!linkForeign || handTo(logDirectory(), otherUser));
        QVERIFY(!targetForeign || handTo(target, otherUser));
        qWarning("must not arrive");
        QVERIFY(contents(target + QLatin1Char('/') + logName).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestLogDirectory)
#include "tst_logdirectory.moc"
