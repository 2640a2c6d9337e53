#pragma once

#include <QMenu>
#include <QStringList>
#include <QSystemTrayIcon>

class QAction;

// The user's switch for the diagnostic log of all three programs: a program
// logs while its file exists in the log directory, so switching on creates
// the files and switching off renames them out of the way.
class DiagnosticMenu : public QMenu
{
    Q_OBJECT

public:
    explicit DiagnosticMenu(QWidget *parent = nullptr);

    bool isLoggingOn() const;
    QAction *toggleAction() const;
    QAction *browseAction() const;
    QString logDirectory() const;

public slots:
    // The log files may have been created or removed outside the menu; every
    // activation of the tray icon brings the menu back in line with them.
    void on_tray_clicked(QSystemTrayIcon::ActivationReason reason);
    void browseLogs();
    void toggleDiagnostic();

private:
    void startLogging();
    void saveLogs();
    bool logFilesPresent() const;
    QString logFilePath(const QString &stem) const;
    QString savedLogFilePath(const QString &stem) const;
    void showNoLogsBox();

    QAction *m_toggleAction;
    QAction *m_browseAction;
    const QString m_logDir;
    const QStringList m_logStems;
    const QString m_logExtension;
    bool m_loggingOn = false;
};
