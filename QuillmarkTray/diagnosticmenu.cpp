#include "diagnosticmenu.h"

#include "diagnosticlog.h"

#include <QAction>
#include <QCursor>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QStyle>
#include <QUrl>
#include <QtDebug>

DiagnosticMenu::DiagnosticMenu(QWidget *parent)
    : QMenu(parent)
    , m_toggleAction(new QAction(tr("&LogsOn"), this))
    , m_browseAction(new QAction(tr("&BrowseLogs"), this))
    , m_logDir(DiagnosticLog::logDirectory())
    , m_logStems{QStringLiteral("quillmarklog"), QStringLiteral("quillmarkupdaterlog"),
                 QStringLiteral("quillmarktraylog")}
    , m_logExtension(QStringLiteral(".txt"))
{
    setTitle(tr("&DiagTitle"));
    addAction(m_toggleAction);
    addAction(m_browseAction);
    connect(m_toggleAction, &QAction::triggered, this, &DiagnosticMenu::toggleDiagnostic);
    connect(m_browseAction, &QAction::triggered, this, &DiagnosticMenu::browseLogs);
}

bool DiagnosticMenu::isLoggingOn() const
{
    return m_loggingOn;
}

QAction *DiagnosticMenu::toggleAction() const
{
    return m_toggleAction;
}

QAction *DiagnosticMenu::browseAction() const
{
    return m_browseAction;
}

QString DiagnosticMenu::logDirectory() const
{
    return m_logDir;
}

void DiagnosticMenu::on_tray_clicked(QSystemTrayIcon::ActivationReason reason)
{
    qDebug() << "Tray was clicked";
    if (reason == QSystemTrayIcon::Unknown)
        return;
    if (logFilesPresent() != m_loggingOn)
        toggleDiagnostic();
}

void DiagnosticMenu::browseLogs()
{
    qDebug() << "Browse logs clicked";
    if (QDir(m_logDir).exists())
        QDesktopServices::openUrl(QUrl::fromLocalFile(m_logDir));
    else
        showNoLogsBox();
}

void DiagnosticMenu::toggleDiagnostic()
{
    m_loggingOn = !m_loggingOn;
    if (m_loggingOn) {
        m_toggleAction->setText(tr("&LogsOff"));
        startLogging();
    } else {
        m_toggleAction->setText(tr("&LogsOn"));
        saveLogs();
    }
}

void DiagnosticMenu::startLogging()
{
    qDebug() << "Start logging";
    DiagnosticLog::createLogDirectory(m_logDir);
    for (const QString &stem : m_logStems)
        DiagnosticLog::createLogFile(logFilePath(stem));
}

void DiagnosticMenu::saveLogs()
{
    qDebug() << "Save logs";
    if (!QDir(m_logDir).exists())
        return;
    for (const QString &stem : m_logStems) {
        QFile file(logFilePath(stem));
        if (file.exists() && !file.rename(savedLogFilePath(stem)))
            qDebug() << "RENAME ERROR";
    }
}

bool DiagnosticMenu::logFilesPresent() const
{
    if (!QDir(m_logDir).exists())
        return false;
    for (const QString &stem : m_logStems) {
        if (QFile::exists(logFilePath(stem)))
            return true;
    }
    return false;
}

QString DiagnosticMenu::logFilePath(const QString &stem) const
{
    return m_logDir + stem + m_logExtension;
}

QString DiagnosticMenu::savedLogFilePath(const QString &stem) const
{
    const QString timestamp =
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd-hh-mm-ss"));
    return m_logDir + stem + QLatin1Char('-') + timestamp + m_logExtension;
}

void DiagnosticMenu::showNoLogsBox()
{
    QMessageBox box(QMessageBox::Information, tr("Quillmark"), tr("&NoLogs"), QMessageBox::NoButton);
    box.setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    box.setModal(true);
    if (const QScreen *screen = QGuiApplication::screenAt(QCursor::pos()))
        box.setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, box.sizeHint(),
                                            screen->availableGeometry()));
    box.exec();
}
