#include "updater.h"

#include "packagecontrol.h"

#include <QFile>
#include <QNetworkProxyFactory>
#include <QRegularExpression>
#include <QtDebug>

Updater::Updater(QObject *parent)
    : QObject(parent)
{
    connect(this, &Updater::checkVersion, this, &Updater::checkForNewerVersion,
            Qt::QueuedConnection);
    connect(&downloadManager, &DownloadManager::downloadDataFinished, this,
            &Updater::downloadDataFinished, Qt::QueuedConnection);
    connect(&downloadManager, &DownloadManager::downloadProgress, this, &Updater::downloadProgress);
    connect(&downloadManager, &DownloadManager::dataVerified, this, &Updater::verificationOK);
    connect(&downloadManager, &DownloadManager::verificationFailure, this,
            &Updater::verificationFailed);
    // A person may take their time over the credentials.
    connect(downloadManager.networkManager(), &QNetworkAccessManager::proxyAuthenticationRequired,
            this, [this](const QNetworkProxy &proxy, QAuthenticator *auth) {
                downloadManager.pauseProgressCheck();
                authentication(proxy, auth);
                downloadManager.resumeProgressCheck();
            });
    connect(&downloadManager, &DownloadManager::downloadFailure, this, &Updater::downloadFailure,
            Qt::QueuedConnection);
    QNetworkProxyFactory::setUseSystemConfiguration(true);
}

void Updater::requestPackage()
{
    downloadKind = InstallerPackage;
    if (!downloadManager.prepareDownloadFile()) {
        errorOccured(QObject::tr("SaveError"));
        return;
    }
    downloadManager.sendHttpRequest(QUrl(configuration.downloadUrl()), DownloadManager::Package);
}

DownloadManager &Updater::manager()
{
    return downloadManager;
}

int Updater::exitCode() const
{
    return m_exitCode;
}

bool Updater::hasFinished() const
{
    return m_exitCode >= 0;
}

void Updater::finish(int exitCode)
{
    if (hasFinished()) {
        qDebug().noquote() << QStringLiteral("Exit code %1 already decided, %2 ignored")
                                  .arg(m_exitCode)
                                  .arg(exitCode);
        return;
    }
    m_exitCode = exitCode;
    downloadManager.abort();
    emit finished(exitCode);
}

void Updater::checkForNewerVersion()
{
    if (hasFinished())
        return;
    if (!configuration.readConfig()) {
        errorOccured(QObject::tr("ConfigError"));
        return;
    }
    downloadKind = VersionInformation;
    downloadManager.setTransferTimeout(configuration.transferTimeout());
    downloadManager.sendHttpRequest(QUrl(configuration.url()), DownloadManager::Data);
}

void Updater::downloadDataFinished()
{
    if (hasFinished())
        return;
    // The signature lives beside the configured address, wherever redirects
    // took the data itself.
    const QString address =
        downloadKind == VersionInformation ? configuration.url() : configuration.downloadUrl();
    downloadManager.sendHttpRequest(QUrl(address + QStringLiteral(".sig")),
                                    DownloadManager::Signature);
}

void Updater::verificationOK()
{
    if (hasFinished())
        return;
    qDebug() << "Updater Verification OK";
    if (downloadKind == VersionInformation) {
        configResponse();
        return;
    }
    if (!downloadManager.saveFile()) {
        errorOccured(QObject::tr("SaveError"));
        return;
    }
    // Last, so that nothing is read or decided between this check and the
    // hand-over.
    if (!packageIsTheOffer() || !downloadManager.savedPackageUnchanged()) {
        removeSavedPackage();
        errorOccured(QObject::tr("VerificationFailed"));
        return;
    }
    install();
}

bool Updater::packageIsTheOffer() const
{
    // The signature says only that some release is genuine: an older one,
    // served in place of the offer, would be one too.
    const QString path = downloadManager.dataLocation();
    const std::optional<QString> text = PackageControl::version(path);
    static const QRegularExpression plainVersion(QStringLiteral("^[0-9]+(\\.[0-9]+)*$"));
    if (!text || !plainVersion.match(*text).hasMatch()) {
        qWarning().noquote() << "No usable version in the package " + path;
        return false;
    }
    const Version packaged(*text);
    const Version offered = response.version();
    if (packaged < offered || offered < packaged || !(configuration.version() < packaged)) {
        qWarning().noquote() << QStringLiteral("The package is version %1, not the offered %2 "
                                               "newer than the installed %3")
                                    .arg(*text, offered.toString(),
                                         configuration.version().toString());
        return false;
    }
    return true;
}

void Updater::removeSavedPackage() const
{
    if (!QFile::remove(downloadManager.dataLocation()))
        qWarning().noquote() << "Could not remove the downloaded package "
                                    + downloadManager.dataLocation();
}

void Updater::verificationFailed()
{
    if (hasFinished())
        return;
    qWarning() << "Error verifying file";
    errorOccured(QObject::tr("VerificationFailed"));
}

void Updater::downloadFailure()
{
    if (hasFinished())
        return;
    errorOccured(QObject::tr("DownloadingError"));
}

void Updater::configResponse()
{
    qDebug() << "Deserializing response";
    if (!response.deserializeXml(downloadManager.downloadedData())) {
        errorOccured(QObject::tr("ResponseError"));
        return;
    }
    // A replayed old document would otherwise hide every newer release.
    if (response.hasExpired(QDateTime::currentDateTimeUtc())) {
        errorOccured(QObject::tr("DownloadingError"));
        return;
    }
    const QString offered = response.version().toString();
    qDebug().noquote() << "Http version response: " + offered;
    qDebug().noquote() << "Website url: " + response.url();
    if (configuration.version() < response.version())
        newerVesion(offered, response.url());
    else
        actualVersion();
}
