#pragma once

#include <QDate>
#include <QProcess>
#include <QString>
#include <QSystemTrayIcon>
#include <QTimer>

#include <functional>
#include <memory>

class DiagnosticMenu;
class QAction;
class QMenu;

// The resident tray icon: runs the updater silently once per calendar day,
// opens its graphical mode when a newer version exists (or, once a month,
// after an error), and quits when the updater has started the installer.
class QuillmarkTray : public QSystemTrayIcon
{
    Q_OBJECT

public:
    // Exit codes of QuillmarkUpdater as the tray reads them.
    enum UpdaterExitCode {
        EndedWithoutMessage = 0,
        EndedWithError = 1,
        NewVersionFound = 2,
        VersionIsCurrent = 3,
        QuitTray = 4,
    };

    using Clock = std::function<QDate()>;
    static constexpr int defaultCheckInterval = 15 * 60 * 1000;
    // A silent run takes seconds, and the updater gives up on a stalled
    // transfer itself; one still running after an hour is ended.
    static constexpr int defaultRunLimit = 60 * 60 * 1000;

    explicit QuillmarkTray(const QString &language, QObject *parent = nullptr);
    // The schedule with its own period, idea of today and limit on a
    // silent run.
    QuillmarkTray(const QString &language, int checkInterval, Clock today,
                  int runLimit = defaultRunLimit, QObject *parent = nullptr);
    ~QuillmarkTray() override;

    DiagnosticMenu *diagnosticMenu() const;
    QAction *checkVersionAction() const;
    QAction *quitAction() const;

signals:
    void checkVersion();
    void setTimer();

public slots:
    void registerToSystemTrayWhenAvailable();
    void checkNewVersionGui();
    void checkNewVersionSilently();
    void checkTimer();
    void updaterFinished(int exitCode);
    void updaterGuiFinished(int exitCode);

private:
    void connectSignals();
    void fillMenu();
    void setUpProcesses();
    // True when the error means the run never began, so that no finished
    // signal will follow.
    static bool logStartFailure(const QProcess &process, QProcess::ProcessError error);
    static void logExitCode(int exitCode);
    // A crash reports its signal number where the code would be; it counts
    // as an error whatever that number is.
    static int updaterExitCode(int exitCode, QProcess::ExitStatus status);
    void endOverdueSilentRun();
    void finishSilentRun();
    QDate today() const;
    bool isNewMonth();
    bool remakeFile(const QString &path);

    QAction *m_quitAction;
    QAction *m_checkVersionAction;
    std::unique_ptr<QMenu> m_trayMenu;
    DiagnosticMenu *m_diagnosticMenu;
    const QString m_language;
    QProcess m_guiProcess;
    QProcess m_silentProcess;
    QDate m_lastCheckDate;
    QTimer m_dayTimer;
    QTimer m_runLimitTimer;
    const QString m_markerFileName;
    const Clock m_today;
};
