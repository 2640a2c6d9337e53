#include "diagnosticmenu.h"
#include "fixturepaths.h"
#include "logcapture.h"
#include "quillmarktray.h"
#include "testhome.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTimer>
#include <QTranslator>
#include <QtTest>

#include <memory>
#include <sys/stat.h>

// Receives what the menu hands to the desktop's file browser.
class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened.append(url); }
};

class TestDiagnosticMenu : public QObject
{
    Q_OBJECT

private:
    static const QStringList stems;

    QString logFile(const QString &stem) const { return m_home->logFile(stem + QStringLiteral(".txt")); }

    bool writeLog(const QString &stem, const QByteArray &content) const
    {
        QDir().mkpath(m_home->logDirectory());
        QFile file(logFile(stem));
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    }

    static QByteArray read(const QString &path)
    {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }

    static mode_t modeOf(const QString &path)
    {
        struct stat status;
        return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777
                                                                         : mode_t(-1);
    }

    QStringList logDirectoryEntries() const
    {
        return QDir(m_home->logDirectory()).entryList(QDir::Files, QDir::Name);
    }

    bool allLogsExist() const
    {
        for (const QString &stem : stems) {
            if (!QFile::exists(logFile(stem)))
                return false;
        }
        return true;
    }

    // From initTestCase() to cleanupTestCase(): the test framework has its
    // own message handler around them.
    std::unique_ptr<LogCapture> m_log;
    std::unique_ptr<TestHome> m_home;
    QTranslator m_english;

private slots:
    void initTestCase()
    {
        m_log = std::make_unique<LogCapture>();
        // The texts the user sees, not only the keys.
        QVERIFY(m_english.load(QStringLiteral(QUILLMARK_STAGE_BIN "/../share/translations/QuillmarkTray_en.qm")));
        QVERIFY(QCoreApplication::installTranslator(&m_english));
    }

    void cleanupTestCase() { m_log.reset(); }

    void init()
    {
        m_home = std::make_unique<TestHome>();
        QVERIFY(m_home->isValid());
        m_home->applyToCurrentProcess();
    }

    void menuLooksAtTheDocumentsLogDirectory()
    {
        DiagnosticMenu menu;
        QCOMPARE(menu.logDirectory(), m_home->logDirectory() + QLatin1Char('/'));
        QCOMPARE(menu.title(), QStringLiteral("&Diagnostics"));
        QCOMPARE(menu.actions(), (QList<QAction *>{menu.toggleAction(), menu.browseAction()}));
        QCOMPARE(menu.toggleAction()->text(), QStringLiteral("Turn logging &on"));
        QVERIFY(!menu.isLoggingOn());
    }

    void switchingOnKeepsExistingLogAndCreatesTheOthers()
    {
        QVERIFY(writeLog(QStringLiteral("quillmarklog"), "earlier line\n"));
        DiagnosticMenu menu;
        menu.toggleAction()->trigger();
        QVERIFY(menu.isLoggingOn());
        QCOMPARE(menu.toggleAction()->text(), QStringLiteral("Turn logging &off"));
        QVERIFY(allLogsExist());
        QCOMPARE(read(logFile(QStringLiteral("quillmarklog"))), QByteArray("earlier line\n"));
        QCOMPARE(read(logFile(QStringLiteral("quillmarktraylog"))), QByteArray());
        QCOMPARE(logDirectoryEntries().size(), 3);
    }

    // The host's log names the user's certificate and documents: what the
    // switch creates is closed to other users whatever the umask allows.
    void switchingOnCreatesTheDirectory()
    {
        QVERIFY(!QDir(m_home->logDirectory()).exists());
        const mode_t previousMask = ::umask(022);
        DiagnosticMenu menu;
        menu.toggleAction()->trigger();
        ::umask(previousMask);
        QVERIFY(allLogsExist());
        QCOMPARE(modeOf(m_home->logDirectory()), mode_t(0700));
        for (const QString &stem : stems)
            QCOMPARE(modeOf(logFile(stem)), mode_t(0600));
    }

    void switchingOffRenamesAllThreeWithTimestamps()
    {
        DiagnosticMenu menu;
        menu.toggleAction()->trigger();
        for (const QString &stem : stems)
            QVERIFY(writeLog(stem, stem.toUtf8()));
        QVERIFY(QFile(m_home->logDirectory() + QStringLiteral("/notes.txt")).open(QIODevice::WriteOnly));

        const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
        menu.toggleAction()->trigger();
        const QDateTime after = QDateTime::currentDateTimeUtc().addSecs(1);

        QVERIFY(!menu.isLoggingOn());
        QCOMPARE(menu.toggleAction()->text(), QStringLiteral("Turn logging &on"));
        const QStringList entries = logDirectoryEntries();
        QCOMPARE(entries.size(), 4);
        QVERIFY(entries.contains(QStringLiteral("notes.txt")));
        for (const QString &stem : stems) {
            const QRegularExpression saved(QStringLiteral("^%1-(\\d{4}-\\d\\d-\\d\\d-\\d\\d-\\d\\d-\\d\\d)\\.txt$").arg(stem));
            const QStringList matching = entries.filter(saved);
            QCOMPARE(matching.size(), 1);
            QDateTime stamp = QDateTime::fromString(saved.match(matching.first()).captured(1),
                                                    QStringLiteral("yyyy-MM-dd-hh-mm-ss"));
            stamp.setTimeSpec(Qt::UTC);
            QVERIFY2(stamp >= before && stamp <= after, qPrintable(matching.first()));
            QCOMPARE(read(m_home->logDirectory() + QLatin1Char('/') + matching.first()), stem.toUtf8());
        }
    }

    void failedRenameIsLoggedAndLeavesTheFile()
    {
        DiagnosticMenu menu;
        menu.toggleAction()->trigger();
        // The tray log's saved names for the next seconds are taken.
        const QDateTime now = QDateTime::currentDateTimeUtc();
        for (int second = -1; second <= 10; ++second) {
            const QString stamp = now.addSecs(second).toString(QStringLiteral("yyyy-MM-dd-hh-mm-ss"));
            QVERIFY(writeLog(QStringLiteral("quillmarktraylog-") + stamp, "taken"));
        }
        m_log->clear();
        menu.toggleAction()->trigger();
        QCOMPARE(m_log->count(QStringLiteral("RENAME ERROR")), 1);
        // That program goes on logging into its file; the others stop.
        QVERIFY(QFile::exists(logFile(QStringLiteral("quillmarktraylog"))));
        QVERIFY(!QFile::exists(logFile(QStringLiteral("quillmarklog"))));
        QVERIFY(!QFile::exists(logFile(QStringLiteral("quillmarkupdaterlog"))));
        QVERIFY(!menu.isLoggingOn());
    }

    void withoutDocumentsTheLogDirectoryIsRelative()
    {
        QVERIFY(QDir(m_home->documentsPath()).removeRecursively());
        QTemporaryDir programDirectory;
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(programDirectory.path()));
        DiagnosticMenu menu;
        const QString logDirectory = menu.logDirectory();
        if (logDirectory == QLatin1String("QuillmarkLogs/")) {
            menu.toggleAction()->trigger();
            menu.toggleAction()->trigger();
        }
        QDir::setCurrent(previous);
        // Relative to the tray's directory, never the file-system root.
        QCOMPARE(logDirectory, QStringLiteral("QuillmarkLogs/"));
        QCOMPARE(QDir(programDirectory.path() + QStringLiteral("/QuillmarkLogs")).entryList(QDir::Files).size(), 3);
    }

    void iconActivationFollowsFilesChangedByHand()
    {
        QuillmarkTray tray(QStringLiteral("en"), QuillmarkTray::defaultCheckInterval, &QDate::currentDate);
        DiagnosticMenu *menu = tray.diagnosticMenu();
        menu->toggleAction()->trigger();
        for (const QString &stem : stems)
            QVERIFY(QFile::remove(logFile(stem)));

        emit tray.activated(QSystemTrayIcon::Unknown);
        QVERIFY(menu->isLoggingOn());

        emit tray.activated(QSystemTrayIcon::Trigger);
        QVERIFY(!menu->isLoggingOn());
        QCOMPARE(menu->toggleAction()->text(), QStringLiteral("Turn logging &on"));
        QVERIFY(logDirectoryEntries().isEmpty()); // nothing was renamed

        QVERIFY(writeLog(QStringLiteral("quillmarkupdaterlog"), "by hand\n"));
        emit tray.activated(QSystemTrayIcon::Context);
        QVERIFY(menu->isLoggingOn());
        QVERIFY(allLogsExist());
        QCOMPARE(read(logFile(QStringLiteral("quillmarkupdaterlog"))), QByteArray("by hand\n"));

        emit tray.activated(QSystemTrayIcon::DoubleClick);
        QVERIFY(menu->isLoggingOn());
        QCOMPARE(m_log->count(QStringLiteral("Tray was clicked")) >= 4, true);
    }

    void browsingOpensTheLogDirectory()
    {
        UrlRecorder recorder;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");
        DiagnosticMenu menu;
        menu.toggleAction()->trigger();
        menu.browseAction()->trigger();
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(recorder.opened.size(), 1);
        QVERIFY(recorder.opened.first().isLocalFile());
        QCOMPARE(QDir(recorder.opened.first().toLocalFile()).absolutePath(),
                 QDir(m_home->logDirectory()).absolutePath());
    }

    void browsingWithoutLogsShowsTheNoLogsBox()
    {
        UrlRecorder recorder;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");
        QString title;
        QString text;
        QTimer closer;
        connect(&closer, &QTimer::timeout, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            title = box->windowTitle();
            text = box->text();
            box->close();
        });
        closer.start(20);
        DiagnosticMenu menu;
        menu.browseAction()->trigger(); // returns once the box is closed
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(title, QStringLiteral("Quillmark"));
        QCOMPARE(text, QStringLiteral("There are no logs yet. Turn logging on first."));
        QVERIFY(recorder.opened.isEmpty());
    }
};

const QStringList TestDiagnosticMenu::stems{QStringLiteral("quillmarklog"),
                                            QStringLiteral("quillmarkupdaterlog"),
                                            QStringLiteral("quillmarktraylog")};

QTEST_MAIN(TestDiagnosticMenu)
#include "tst_diagnosticmenu.moc"
