#include "guiupdater.h"

#include "authenticationform.h"
#include "transfersize.h"
#include "updaterdialog.h"

#include <QAuthenticator>
#include <QDir>
#include <QProcess>
#include <QtDebug>

GuiUpdater::GuiUpdater(QObject *parent)
    : Updater(parent)
    , m_dialog(std::make_unique<UpdaterDialog>())
{
    m_dialog->setText(QObject::tr("LookingForVersion"));
    m_dialog->setStage(UpdaterDialog::LookingForVersion);
    connect(this, &Updater::checkVersion, m_dialog.get(), &QWidget::show, Qt::QueuedConnection);
    connect(m_dialog.get(), &UpdaterDialog::downloadNewVersion, this,
            &GuiUpdater::downloadNewVersion, Qt::QueuedConnection);
    connect(m_dialog.get(), &UpdaterDialog::exitRequested, this, &GuiUpdater::finish);
}

GuiUpdater::~GuiUpdater() = default;

UpdaterDialog *GuiUpdater::dialog() const
{
    return m_dialog.get();
}

void GuiUpdater::setInstallerScript(const QString &path)
{
    m_installerScript = path;
}

void GuiUpdater::showStage(int stage, const QString &text)
{
    m_dialog->setText(text);
    m_dialog->setStage(stage);
    m_dialog->showResult();
}

void GuiUpdater::newerVesion(const QString &version, const QString &url)
{
    qDebug() << "GuiUpdater found new version";
    const QString text = QStringLiteral("<p>")
                         + QObject::tr("NewVersion.").arg(Version(version).toString(6))
                         + QStringLiteral("</p><p>") + QObject::tr("Note") + QStringLiteral(": ")
                         + QObject::tr("NoteInfo") + QStringLiteral("<br/> <a href=\"") + url
                         + QStringLiteral("\">") + url + QStringLiteral("</a></p>");
    m_dialog->setOkText(QObject::tr("DownloadNowGui"));
    m_dialog->setCancelText(QObject::tr("DownloadLater"));
    showStage(UpdaterDialog::NewerVersionOffered, text);
}

void GuiUpdater::actualVersion()
{
    qDebug() << "GuiUpdater did not find new version";
    m_dialog->setOkText(QObject::tr("Ok"));
    showStage(UpdaterDialog::LatestVersionInstalled,
              QStringLiteral("<p>") + QObject::tr("LatestVersion").arg(QObject::tr("AppToUpdate"))
                  + QStringLiteral("</p>"));
}

void GuiUpdater::errorOccured(const QString &message)
{
    qDebug().noquote() << "GuiUpdater error occured: " + message;
    m_dialog->setOkText(QObject::tr("Ok"));
    showStage(UpdaterDialog::ErrorShown, QStringLiteral("<p>") + message + QStringLiteral("</p>"));
}

void GuiUpdater::downloadNewVersion()
{
    // A second OK before the dialog has moved on must not start a second
    // transfer.
    if (hasFinished() || m_dialog->stage() != UpdaterDialog::NewerVersionOffered)
        return;
    m_dialog->setCancelText(QObject::tr("Cancel"));
    showStage(UpdaterDialog::Downloading, QObject::tr("DownloadingData"));
    // After the stage change: a download directory that cannot be used is
    // reported at once and must not be overwritten by it.
    requestPackage();
}

void GuiUpdater::downloadProgress(qint64 bytesReceived, qint64 bytesTotal)
{
    const TransferSize size = TransferSize::scaled(bytesReceived, bytesTotal);
    m_dialog->setText(QStringLiteral("%1<br/>%5 .. %2/%3 %4")
                          .arg(QObject::tr("DownloadingData"))
                          .arg(size.received)
                          .arg(size.total)
                          .arg(size.unit, downloadManager.fileName().toHtmlEscaped()));
}

void GuiUpdater::authentication(const QNetworkProxy &, QAuthenticator *auth)
{
    if (proxyCredentialsGiven)
        return;
    AuthenticationForm form(m_dialog.get());
    if (form.exec() != QDialog::Accepted)
        return;
    auth->setUser(form.userName());
    auth->setPassword(form.password());
    proxyCredentialsGiven = true;
}

void GuiUpdater::install()
{
    const QString path = QDir::toNativeSeparators(downloadManager.dataLocation());
    qDebug().noquote() << "Gui run installation " + path;
    // The installer outlives this process; the pipes this process was given
    // (the tray's) are not read after it ends.
    QProcess installer;
    installer.setProgram(m_installerScript);
    installer.setArguments({path});
    installer.setStandardInputFile(QProcess::nullDevice());
    installer.setStandardOutputFile(QProcess::nullDevice());
    installer.setStandardErrorFile(QProcess::nullDevice());
    if (!installer.startDetached()) {
        qWarning().noquote() << "Could not start the installer " + m_installerScript;
        errorOccured(QObject::tr("InstallerNotStarted"));
        return;
    }
    finish(4);
}
