#include "downloadmanager.h"

#include "privatedirectory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStandardPaths>
#include <QtDebug>

DownloadManager::DownloadManager(QObject *parent)
    : DownloadManager(dgst(), parent)
{
}

DownloadManager::DownloadManager(const dgst &verifier, QObject *parent)
    : QObject(parent)
    , m_verifier(verifier)
{
}

QNetworkAccessManager *DownloadManager::networkManager()
{
    return &m_networkManager;
}

void DownloadManager::sendHttpRequest(const QUrl &url, HTTPRequest kind)
{
    m_redirectsFollowed = 0;
    issueRequest(url, kind);
}

void DownloadManager::issueRequest(const QUrl &url, HTTPRequest kind)
{
    qDebug().noquote() << "Ready to download " + url.toString();
    m_fileName = url.fileName();
    QNetworkRequest request(url);
    m_finishedConnection =
        kind == Data ? connect(&m_networkManager, &QNetworkAccessManager::finished, this,
                               &DownloadManager::downloadFinished, Qt::QueuedConnection)
                     : connect(&m_networkManager, &QNetworkAccessManager::finished, this,
                               &DownloadManager::signatureRead, Qt::QueuedConnection);
    m_reply = m_networkManager.get(request);
    connect(m_reply, &QNetworkReply::downloadProgress, this, &DownloadManager::downloadProgress);
}

void DownloadManager::abort()
{
    disconnect(m_finishedConnection);
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
}

void DownloadManager::detach(QNetworkReply *reply)
{
    disconnect(m_finishedConnection);
    reply->disconnect(this);
    reply->deleteLater();
}

void DownloadManager::downloadFinished(QNetworkReply *reply)
{
    qDebug() << "Download finished";
    detach(reply);
    if (handledRedirect(reply, Data))
        return;
    m_dataLocation = reply->url().toString();
    if (failed(reply))
        return;
    m_downloadedData = reply->readAll();
    emit downloadDataFinished();
}

void DownloadManager::signatureRead(QNetworkReply *reply)
{
    qDebug() << "Downloading of signature finished";
    detach(reply);
    if (handledRedirect(reply, Signature) || failed(reply))
        return;
    // Line breaks and blanks around the hexadecimal digits are harmless.
    const QByteArray signature = QByteArray::fromHex(reply->readAll());
    if (m_verifier.verify(m_downloadedData, signature))
        emit dataVerified();
    else
        emit verificationFailure();
}

bool DownloadManager::handledRedirect(QNetworkReply *reply, HTTPRequest kind)
{
    const QVariant target = reply->attribute(QNetworkRequest::RedirectionTargetAttribute);
    if (!target.isValid())
        return false;
    const QUrl from = reply->url();
    const QUrl to = from.resolved(target.toUrl());
    if (!isSecureRedirect(from, to)) {
        qWarning().noquote() << "Redirect is insecure.\nOld url: " + from.toString()
                                    + "\nRedirected to: " + to.toString();
        emit downloadFailure();
    } else if (m_redirectsFollowed >= maximumRedirects) {
        qWarning().noquote() << "Too many redirects, last from " + from.toString() + " to "
                                    + to.toString();
        emit downloadFailure();
    } else {
        ++m_redirectsFollowed;
        issueRequest(to, kind);
    }
    return true;
}

bool DownloadManager::failed(QNetworkReply *reply)
{
    if (reply->error() == QNetworkReply::NoError)
        return false;
    qWarning().noquote() << "Download of " + reply->url().toString() + " failed: "
                                + reply->errorString();
    emit downloadFailure();
    return true;
}

bool DownloadManager::isSecureRedirect(const QUrl &from, const QUrl &to)
{
    return !(from.scheme() == QLatin1String("https") && to.scheme() == QLatin1String("http"));
}

QString DownloadManager::downloadDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::TempLocation)
           + QStringLiteral("/varnek/quillmark");
}

bool DownloadManager::saveFile()
{
    qDebug() << "Saving downloaded data";
    const QString directory = downloadDirectory();
    if (!PrivateDirectory::prepareEmpty(directory))
        return false;
    const QString path = directory + QLatin1Char('/') + QUrl(m_dataLocation).fileName();
    const bool saved = saveToDisk(path);
    if (saved)
        qDebug() << "Download succeeded";
    return saved;
}

bool DownloadManager::saveToDisk(const QString &path)
{
    m_dataLocation.clear();
    qDebug().noquote() << "Saving file: " + QFileInfo(path).absoluteFilePath();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qWarning().noquote() << "Could not open " + path + " for writing: " + file.errorString();
        return false;
    }
    if (file.write(m_downloadedData) != m_downloadedData.size() || !file.flush()) {
        qWarning().noquote() << "Could not write " + path + ": " + file.errorString();
        return false;
    }
    file.close();
    m_dataLocation = path;
    m_downloadedData.clear();
    return true;
}

QByteArray DownloadManager::downloadedData() const
{
    return m_downloadedData;
}

QString DownloadManager::dataLocation() const
{
    return m_dataLocation;
}

QString DownloadManager::fileName() const
{
    return m_fileName;
}
