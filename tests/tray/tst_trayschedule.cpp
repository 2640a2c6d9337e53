#include "logcapture.h"
#include "quillmarktray.h"
#include "testhome.h"
#include "updaterstandin.h"

#include <QAction>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimer>
#include <QtTest>

#include <memory>

// The daily schedule, driven through a short timer period and a clock of the
// test's own. The tray starts "./QuillmarkUpdater.sh" from the directory of
// this test binary, where the stand-in is written.
class TestTraySchedule : public QObject
{
    Q_OBJECT

private:
    static constexpr int shortInterval = 30;
    static constexpr int quitTimeout = 10000;

    std::unique_ptr<QuillmarkTray> makeTray(int interval = shortInterval,
                                            int runLimit = QuillmarkTray::defaultRunLimit)
    {
        return std::make_unique<QuillmarkTray>(QStringLiteral("sk"), interval,
                                               [this] { return m_today; }, runLimit);
    }

    // Runs the event loop until the tray quits (0) or logLine appears while
    // it still runs (1).
    int quitsBeforeLogging(const QString &logLine) const
    {
        QTimer notQuit;
        connect(&notQuit, &QTimer::timeout, [this, &logLine] {
            if (m_log->contains(logLine))
                QCoreApplication::exit(1);
        });
        notQuit.start(20);
        QTimer::singleShot(quitTimeout, &notQuit, [] { QCoreApplication::exit(2); });
        return QCoreApplication::exec();
    }

    // Counted from the log, which is written when the tray decides; the
    // stand-in records a run only once its shell has started.
    int runsStarted(const QString &mode) const
    {
        return m_log->count(QStringLiteral("Starting QuillmarkUpdater in %1 mode").arg(mode));
    }

    // Every run the tray started has ended (or failed to start) and been
    // handled: each leaves one line that begins with the updater's name.
    bool runsEnded() const
    {
        const QStringList messages = m_log->messages();
        const int started = messages.filter(QStringLiteral("Starting QuillmarkUpdater in")).size();
        const int ended = messages.filter(QRegularExpression(QStringLiteral("^QuillmarkUpdater "))).size();
        return started == ended;
    }

    // A new day begins only once the runs of the old one are over, so that
    // a run still going does not swallow the next day's request.
    bool moveClockTo(const QDate &day)
    {
        QDeadlineTimer deadline(5000);
        while (!runsEnded() && !deadline.hasExpired())
            QTest::qWait(10);
        m_today = day;
        return runsEnded();
    }

    int ticks() const
    {
        return m_log->count(QStringLiteral("Passed 15 minutes, checking for new day"));
    }

    // Lets the day timer fire a few more times, so that a run that should
    // not happen had every chance to.
    bool letTimerTick(int count = 3) const
    {
        const int target = ticks() + count;
        QDeadlineTimer deadline(5000);
        while (ticks() < target && !deadline.hasExpired())
            QTest::qWait(10);
        return ticks() >= target;
    }

    static QString markerPath()
    {
        return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
               + QStringLiteral("/varnek/quillmark/updated.txt");
    }

    // The marker as if it had been created on the given day.
    static bool placeMarker(const QDate &created)
    {
        QDir().mkpath(QFileInfo(markerPath()).path());
        QFile marker(markerPath());
        if (!marker.open(QIODevice::WriteOnly))
            return false;
        return marker.setFileTime(QDateTime(created, QTime(12, 0)), QFileDevice::FileModificationTime);
    }

    static const QString silent;
    static const QString graphical;

    // From initTestCase() to cleanupTestCase(): the test framework has its
    // own message handler around them.
    std::unique_ptr<LogCapture> m_log;
    TestHome m_home;
    UpdaterStandIn m_updater{QCoreApplication::applicationDirPath()};
    QDate m_today;

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        m_home.applyToCurrentProcess();
        m_log = std::make_unique<LogCapture>();
    }

    void init()
    {
        QVERIFY(m_updater.install());
        QFile::remove(markerPath());
        QDir(markerPath()).removeRecursively();
        m_log->clear();
        m_today = QDate(2026, 3, 10);
    }

    void cleanupTestCase()
    {
        m_updater.remove();
        m_log.reset();
    }

    void firstSilentRunAfterFirstTick()
    {
        const auto tray = makeTray(2000);
        QTest::qWait(500);
        QCOMPARE(ticks(), 0);
        QCOMPARE(runsStarted(QStringLiteral("silent")), 0);
        QTRY_COMPARE(m_updater.calls(), QStringList{silent});
    }

    void oneSilentRunPerDay()
    {
        const auto tray = makeTray();
        QTRY_COMPARE(m_updater.calls(), QStringList{silent});
        QVERIFY(letTimerTick());
        QCOMPARE(runsStarted(QStringLiteral("silent")), 1);

        QVERIFY(moveClockTo(m_today.addDays(1)));
        QTRY_COMPARE(m_updater.calls(), (QStringList{silent, silent}));
        QVERIFY(letTimerTick());
        QCOMPARE(runsStarted(QStringLiteral("silent")), 2);
        QVERIFY(m_log->contains(
            QStringLiteral("QuillmarkUpdater exited correctly without message for QuillmarkTray")));
    }

    void newVersionOpensGraphicalUpdaterEveryDay()
    {
        m_updater.setSilentExitCode(QuillmarkTray::NewVersionFound);
        m_updater.setGuiExitCode(QuillmarkTray::NewVersionFound); // "download later"
        const auto tray = makeTray();
        QTRY_COMPARE(m_updater.calls(), (QStringList{silent, graphical}));
        QVERIFY(letTimerTick());
        QCOMPARE(runsStarted(QStringLiteral("silent")), 1);

        QVERIFY(moveClockTo(m_today.addDays(1)));
        QTRY_COMPARE(m_updater.calls(), (QStringList{silent, graphical, silent, graphical}));
        QVERIFY(letTimerTick());
        QCOMPARE(runsStarted(QStringLiteral("silent")), 2);
        QCOMPARE(runsStarted(QStringLiteral("GUI")), 2);
    }

    void errorOpensGraphicalUpdaterOncePerMonth()
    {
        m_updater.setSilentExitCode(QuillmarkTray::EndedWithError);
        m_updater.setGuiExitCode(QuillmarkTray::EndedWithError);
        const auto tray = makeTray();
        QTRY_COMPARE(m_updater.calls(), (QStringList{silent, graphical}));
        QVERIFY(QFileInfo::exists(markerPath()));
        QVERIFY(placeMarker(m_today));

        QVERIFY(moveClockTo(m_today.addDays(1)));
        QTRY_COMPARE(m_updater.calls(), (QStringList{silent, graphical, silent}));
        QVERIFY(letTimerTick());
        QCOMPARE(runsStarted(QStringLiteral("GUI")), 1);

        QVERIFY(moveClockTo(QDate(2026, 4, 1)));
        QTRY_COMPARE(m_updater.calls(), (QStringList{silent, graphical, silent, silent, graphical}));
    }

    void errorComparesMarkerYearAndMonth_data()
    {
        QTest::addColumn<QDate>("markerCreated");
        QTest::addColumn<bool>("graphicalRun");
        QTest::newRow("no marker") << QDate() << true;
        QTest::newRow("earlier this month") << QDate(2026, 3, 1) << false;
        QTest::newRow("last month") << QDate(2026, 2, 27) << true;
        QTest::newRow("same month last year") << QDate(2025, 3, 10) << true;
    }

    void errorComparesMarkerYearAndMonth()
    {
        QFETCH(QDate, markerCreated);
        QFETCH(bool, graphicalRun);
        if (markerCreated.isValid())
            QVERIFY(placeMarker(markerCreated));
        m_updater.setSilentExitCode(QuillmarkTray::EndedWithError);
        const auto tray = makeTray();
        QTRY_VERIFY(m_log->contains(QStringLiteral("QuillmarkUpdater ended with Error")));
        QVERIFY(letTimerTick());
        QCOMPARE(runsStarted(QStringLiteral("GUI")), graphicalRun ? 1 : 0);
        const QStringList expected = graphicalRun ? QStringList{silent, graphical} : QStringList{silent};
        QTRY_COMPARE(m_updater.calls(), expected);
        // A new month leaves a fresh marker behind; an old one stays as it was.
        const QDate markerNow = QFileInfo(markerPath()).lastModified().date();
        QCOMPARE(markerNow == markerCreated, !graphicalRun);
    }

    void unreplaceableMarkerIsNoNewMonth()
    {
        // A directory where the marker belongs can be neither removed nor
        // created as a file; every failing run would open the updater.
        QVERIFY(QDir().mkpath(markerPath()));
        m_updater.setSilentExitCode(QuillmarkTray::EndedWithError);
        const auto tray = makeTray();
        QTRY_VERIFY(m_log->contains(QStringLiteral("QuillmarkUpdater ended with Error")));
        QVERIFY(letTimerTick());
        QVERIFY(m_log->contains(QStringLiteral("Could not replace the month marker")));
        QCOMPARE(runsStarted(QStringLiteral("GUI")), 0);
        QCOMPARE(m_updater.calls(), QStringList{silent});
    }

    void manualCheckSuppressesTodaysSilentRun()
    {
        const auto tray = makeTray(200);
        tray->checkVersionAction()->trigger();
        QTRY_COMPARE(m_updater.calls(), QStringList{graphical});
        QVERIFY(letTimerTick());
        QCOMPARE(runsStarted(QStringLiteral("silent")), 0);

        QVERIFY(moveClockTo(m_today.addDays(1)));
        QTRY_COMPARE(m_updater.calls(), (QStringList{graphical, silent}));
    }

    void scriptThatCannotStartKeepsTheSchedule()
    {
        m_updater.remove();
        const auto tray = makeTray();
        QTRY_VERIFY(m_log->contains(QStringLiteral("QuillmarkUpdater could not be started")));
        // The failed day counts as checked; the timer goes on.
        QVERIFY(letTimerTick());
        QVERIFY(m_updater.install());
        QVERIFY(letTimerTick());
        QCOMPARE(runsStarted(QStringLiteral("silent")), 1);

        QVERIFY(moveClockTo(m_today.addDays(1)));
        QTRY_COMPARE(m_updater.calls(), QStringList{silent});
    }

    void hangingSilentRunIsEndedAndTheScheduleGoesOn()
    {
        QVERIFY(placeMarker(m_today));
        m_updater.setSilentHangs();
        const auto tray = makeTray(shortInterval, 500);
        QTRY_VERIFY(m_log->contains(QStringLiteral("QuillmarkUpdater ended with Error")));
        QVERIFY(m_log->contains(QStringLiteral("Ending QuillmarkUpdater: no result after 500 ms")));
        QVERIFY(letTimerTick());
        QCOMPARE(runsStarted(QStringLiteral("silent")), 1);

        QVERIFY(moveClockTo(m_today.addDays(1)));
        QTRY_COMPARE(runsStarted(QStringLiteral("silent")), 2);
        QCOMPARE(runsStarted(QStringLiteral("GUI")), 0);
    }

    void crashedUpdaterIsAnError_data()
    {
        QTest::addColumn<bool>("graphicalRun");
        QTest::addColumn<QString>("signal");
        // A crashed child reports its signal number where the code would
        // be: 4 would read as "quit the tray", 2 as "a newer version".
        QTest::newRow("silent, SIGILL") << false << "ILL";
        QTest::newRow("silent, SIGINT") << false << "INT";
        QTest::newRow("graphical, SIGILL") << true << "ILL";
    }

    void crashedUpdaterIsAnError()
    {
        QFETCH(bool, graphicalRun);
        QFETCH(QString, signal);
        // This month's error was already shown: no graphical run follows.
        QVERIFY(placeMarker(m_today));
        m_updater.setSilentSignal(signal);
        m_updater.setGuiSignal(signal);
        const auto tray = makeTray(graphicalRun ? quitTimeout : shortInterval);
        if (graphicalRun)
            tray->checkVersionAction()->trigger();
        QCOMPARE(quitsBeforeLogging(QStringLiteral("QuillmarkUpdater ended with Error")), 1);
        QVERIFY(m_log->contains(QStringLiteral("Crash of QuillmarkUpdater, signal ")));
        // A silent run's result could still start a graphical one.
        if (!graphicalRun)
            QVERIFY(letTimerTick());
        QCOMPARE(runsStarted(QStringLiteral("GUI")), graphicalRun ? 1 : 0);
        QCOMPARE(m_log->count(QStringLiteral("QuillmarkUpdater found new version of Quillmark")),
                 0);
    }

    void quitActionEndsTheApplication()
    {
        const auto tray = makeTray(quitTimeout);
        QTimer::singleShot(0, tray->quitAction(), &QAction::trigger);
        QTimer::singleShot(quitTimeout, tray.get(), [] { QCoreApplication::exit(2); });
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(m_updater.calls().isEmpty());
    }

    void quitsOnlyWhenInstallerStarted_data()
    {
        QTest::addColumn<bool>("graphicalRun");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("logLine");
        QTest::addColumn<bool>("quits");
        QTest::newRow("silent 4") << false << 4 << "QuillmarkUpdater returned code to exit QuillmarkTray" << true;
        QTest::newRow("graphical 4") << true << 4 << "QuillmarkUpdater returned code to exit QuillmarkTray" << true;
        QTest::newRow("silent 3") << false << 3 << "QuillmarkUpdater thinks Quillmark has actual version" << false;
        QTest::newRow("silent 9") << false << 9 << "QuillmarkUpdater exited with unknown code:  9" << false;
        QTest::newRow("graphical 2") << true << 2 << "QuillmarkUpdater found new version of Quillmark" << false;
    }

    void quitsOnlyWhenInstallerStarted()
    {
        QFETCH(bool, graphicalRun);
        QFETCH(int, exitCode);
        QFETCH(QString, logLine);
        QFETCH(bool, quits);
        m_updater.setSilentExitCode(exitCode);
        m_updater.setGuiExitCode(exitCode);
        const auto tray = makeTray(graphicalRun ? quitTimeout : shortInterval);
        if (graphicalRun)
            tray->checkVersionAction()->trigger();

        // The tray quits from the handler that logs the code; once the line
        // is there and the loop still runs, it did not quit.
        QCOMPARE(quitsBeforeLogging(logLine), quits ? 0 : 1);
    }
};

const QString TestTraySchedule::silent = QStringLiteral("-s");
const QString TestTraySchedule::graphical = QStringLiteral("-lsk -g");

QTEST_MAIN(TestTraySchedule)
#include "tst_trayschedule.moc"
