#include "quillmarktray.h"

#include "diagnosticmenu.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QStandardPaths>
#include <QtDebug>

namespace {

constexpr int trayRetryDelay = 10000;
const char updaterScript[] = "./QuillmarkUpdater.sh";

} // namespace

// Outside the namespace: the macro declares the resource initialiser, which
// lives in the static library and is referenced by nothing else.
static void initTrayResources()
{
    Q_INIT_RESOURCE(tray);
}

QuillmarkTray::QuillmarkTray(const QString &language, QObject *parent)
    : QuillmarkTray(language, defaultCheckInterval, &QDate::currentDate, defaultRunLimit, parent)
{
}

QuillmarkTray::QuillmarkTray(const QString &language, int checkInterval, Clock today,
                             int runLimit, QObject *parent)
    : QSystemTrayIcon(parent)
    , m_quitAction(new QAction(tr("&Quit"), this))
    , m_checkVersionAction(new QAction(tr("&CheckVersion"), this))
    , m_trayMenu(std::make_unique<QMenu>())
    , m_diagnosticMenu(new DiagnosticMenu(m_trayMenu.get()))
    , m_language(language)
    , m_markerFileName(QStringLiteral("updated.txt"))
    , m_today(std::move(today))
{
    qDebug() << "QuillmarkTray class is being constructed";
    QDir::setCurrent(QCoreApplication::applicationDirPath());
    initTrayResources();

    m_dayTimer.setSingleShot(true);
    m_dayTimer.setInterval(checkInterval);
    m_runLimitTimer.setSingleShot(true);
    m_runLimitTimer.setInterval(runLimit);
    connectSignals();
    fillMenu();
    setUpProcesses();
    setIcon(QIcon(QStringLiteral(":/Images/icon")));
    setContextMenu(m_trayMenu.get());
    setToolTip(tr("Quillmark"));
    m_dayTimer.start();
}

QuillmarkTray::~QuillmarkTray() = default;

DiagnosticMenu *QuillmarkTray::diagnosticMenu() const
{
    return m_diagnosticMenu;
}

QAction *QuillmarkTray::checkVersionAction() const
{
    return m_checkVersionAction;
}

QAction *QuillmarkTray::quitAction() const
{
    return m_quitAction;
}

void QuillmarkTray::connectSignals()
{
    connect(this, &QSystemTrayIcon::activated, m_diagnosticMenu, &DiagnosticMenu::on_tray_clicked);
    connect(m_quitAction, &QAction::triggered, qApp, &QCoreApplication::quit);
    connect(m_checkVersionAction, &QAction::triggered, this, &QuillmarkTray::checkNewVersionGui);
    connect(this, &QuillmarkTray::checkVersion, this, &QuillmarkTray::checkNewVersionSilently,
            Qt::QueuedConnection);
    connect(this, &QuillmarkTray::setTimer, this, &QuillmarkTray::checkTimer, Qt::QueuedConnection);
    connect(&m_dayTimer, &QTimer::timeout, this, &QuillmarkTray::checkTimer);

    const auto finished = QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished);
    connect(&m_silentProcess, finished, this,
            [this](int exitCode, QProcess::ExitStatus status) {
                updaterFinished(updaterExitCode(exitCode, status));
            },
            Qt::QueuedConnection);
    connect(&m_guiProcess, finished, this,
            [this](int exitCode, QProcess::ExitStatus status) {
                updaterGuiFinished(updaterExitCode(exitCode, status));
            },
            Qt::QueuedConnection);
    connect(&m_silentProcess, &QProcess::started, &m_runLimitTimer, QOverload<>::of(&QTimer::start));
    connect(&m_silentProcess, finished, &m_runLimitTimer, &QTimer::stop);
    connect(&m_runLimitTimer, &QTimer::timeout, this, &QuillmarkTray::endOverdueSilentRun);
    // Without these a script that cannot be started would end the daily
    // schedule for good: no finished signal would ever re-arm the timer.
    connect(&m_silentProcess, &QProcess::errorOccurred, this,
            [this](QProcess::ProcessError error) {
                if (logStartFailure(m_silentProcess, error))
                    finishSilentRun();
            },
            Qt::QueuedConnection);
    connect(&m_guiProcess, &QProcess::errorOccurred, this,
            [this](QProcess::ProcessError error) { logStartFailure(m_guiProcess, error); },
            Qt::QueuedConnection);
}

void QuillmarkTray::fillMenu()
{
    m_trayMenu->addAction(m_checkVersionAction);
    m_trayMenu->addMenu(m_diagnosticMenu);
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(m_quitAction);
}

void QuillmarkTray::setUpProcesses()
{
    m_guiProcess.setProgram(QString::fromLatin1(updaterScript));
    m_guiProcess.setArguments({QStringLiteral("-l") + m_language, QStringLiteral("-g")});
    m_silentProcess.setProgram(QString::fromLatin1(updaterScript));
    m_silentProcess.setArguments({QStringLiteral("-s")});
}

void QuillmarkTray::registerToSystemTrayWhenAvailable()
{
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        qDebug() << "Showing the tray icon";
        show();
        return;
    }
    QTimer::singleShot(trayRetryDelay, this, &QuillmarkTray::registerToSystemTrayWhenAvailable);
}

void QuillmarkTray::checkNewVersionGui()
{
    if (m_guiProcess.state() == QProcess::NotRunning) {
        qDebug() << "Starting QuillmarkUpdater in GUI mode";
        m_guiProcess.start();
    }
    m_lastCheckDate = today();
}

void QuillmarkTray::checkNewVersionSilently()
{
    if (m_silentProcess.state() != QProcess::NotRunning)
        return;
    qDebug() << "Starting QuillmarkUpdater in silent mode";
    m_silentProcess.start();
}

void QuillmarkTray::checkTimer()
{
    qDebug() << "Passed 15 minutes, checking for new day";
    if (m_lastCheckDate.isValid() && m_lastCheckDate == today())
        m_dayTimer.start();
    else
        emit checkVersion();
}

void QuillmarkTray::updaterFinished(int exitCode)
{
    logExitCode(exitCode);
    switch (exitCode) {
    case EndedWithError:
        if (isNewMonth())
            checkNewVersionGui();
        break;
    case NewVersionFound:
        checkNewVersionGui();
        break;
    case QuitTray:
        QCoreApplication::quit();
        break;
    default:
        break;
    }
    finishSilentRun();
}

void QuillmarkTray::updaterGuiFinished(int exitCode)
{
    logExitCode(exitCode);
    if (exitCode == QuitTray)
        QCoreApplication::quit();
}

bool QuillmarkTray::logStartFailure(const QProcess &process, QProcess::ProcessError error)
{
    if (error != QProcess::FailedToStart)
        return false;
    qWarning() << "QuillmarkUpdater could not be started: " << process.errorString();
    return true;
}

int QuillmarkTray::updaterExitCode(int exitCode, QProcess::ExitStatus status)
{
    if (status == QProcess::NormalExit)
        return exitCode;
    qWarning() << "Crash of QuillmarkUpdater, signal " << exitCode;
    return EndedWithError;
}

void QuillmarkTray::endOverdueSilentRun()
{
    // The finished signal that the kill brings reads as a crash: an error,
    // and the schedule is re-armed as after every run.
    qWarning().noquote() << QStringLiteral("Ending QuillmarkUpdater: no result after %1 ms")
                                .arg(m_runLimitTimer.interval());
    m_silentProcess.kill();
}

void QuillmarkTray::logExitCode(int exitCode)
{
    switch (exitCode) {
    case EndedWithoutMessage:
        qDebug() << "QuillmarkUpdater exited correctly without message for QuillmarkTray";
        break;
    case EndedWithError:
        qDebug() << "QuillmarkUpdater ended with Error";
        break;
    case NewVersionFound:
        qDebug() << "QuillmarkUpdater found new version of Quillmark";
        break;
    case VersionIsCurrent:
        qDebug() << "QuillmarkUpdater thinks Quillmark has actual version";
        break;
    case QuitTray:
        qDebug() << "QuillmarkUpdater returned code to exit QuillmarkTray";
        break;
    default:
        qDebug() << "QuillmarkUpdater exited with unknown code: " << exitCode;
        break;
    }
}

void QuillmarkTray::finishSilentRun()
{
    // checkTimer runs once the date is set and re-arms the day timer.
    emit setTimer();
    m_lastCheckDate = today();
}

QDate QuillmarkTray::today() const
{
    return m_today();
}

bool QuillmarkTray::isNewMonth()
{
    const QString dataPath = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    qDebug() << "AppData path: " << dataPath;
    const QString markerDir = dataPath + QStringLiteral("/varnek/quillmark");
    if (!QDir().mkpath(markerDir))
        qWarning() << "Couldn't make quillmark dir in appdata";

    const QFileInfo marker(markerDir + QLatin1Char('/') + m_markerFileName);
    // The marker is only ever created empty and never written, so its
    // modification time is its creation time on every file system. The year
    // counts too: a marker from March of last year is no reason to keep
    // quiet this March.
    const QDate now = today();
    if (marker.exists()) {
        const QDate created = marker.lastModified().date();
        if (created.year() == now.year() && created.month() == now.month())
            return false;
    }
    // A marker that cannot be replaced would make every failing run look
    // like the first of a month.
    if (!remakeFile(marker.absoluteFilePath())) {
        qWarning() << "Could not replace the month marker; not a new month";
        return false;
    }
    return true;
}

bool QuillmarkTray::remakeFile(const QString &path)
{
    qDebug() << "Overriding file: " << path;
    QFile file(path);
    if (file.exists() && !file.remove()) {
        qWarning() << "Could not remove " << path << ": " << file.errorString();
        return false;
    }
    if (!file.open(QIODevice::WriteOnly)) {
        qWarning() << "Could not create " << path << ": " << file.errorString();
        return false;
    }
    file.close();
    qDebug() << "Override is successful";
    return true;
}
