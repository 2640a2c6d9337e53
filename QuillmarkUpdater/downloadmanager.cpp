#include "downloadmanager.h"

#include "configuration.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStandardPaths>
#include <QtDebug>

namespace {
// What Qt may hold of a response before we read it.
constexpr qint64 replyBufferSize = 256 * 1024;
} // namespace

DownloadManager::DownloadManager(QObject *parent)
    : DownloadManager(dgst(), parent)
{
}

DownloadManager::DownloadManager(const dgst &verifier, QObject *parent)
    : QObject(parent)
    , m_verifier(verifier)
    , m_downloadFile(m_verifier)
    , m_transferTimeout(Configuration::defaultTransferTimeout)
{
    connect(&m_progressTimer, &QTimer::timeout, this, &DownloadManager::checkProgress);
}

QNetworkAccessManager *DownloadManager::networkManager()
{
    return &m_networkManager;
}

void DownloadManager::setTransferTimeout(int seconds)
{
    m_transferTimeout = seconds;
}

bool DownloadManager::prepareDownloadFile()
{
    return m_downloadFile.open(downloadDirectory());
}

void DownloadManager::sendHttpRequest(const QUrl &url, HTTPRequest kind)
{
    m_redirectsFollowed = 0;
    if (kind == Signature) {
        m_signatureText.clear();
    } else {
        m_dataKind = kind;
        m_downloadedData.clear();
    }
    issueRequest(url, kind);
}

void DownloadManager::issueRequest(const QUrl &url, HTTPRequest kind)
{
    qDebug().noquote() << "Ready to download " + url.toString();
    m_fileName = url.fileName();
    m_kind = kind;
    m_bodySize = 0;
    m_bytesThisPeriod = 0;
    m_refusal.clear();
    m_inFlight = true;
    QNetworkRequest request(url);
    // Without this Qt asks for gzip and inflates whatever comes, without a
    // bound; a compressed answer is refused instead (checkHeaders).
    request.setRawHeader("Accept-Encoding", "identity");
    // Redirects are followed and counted here; Qt 6 would otherwise follow
    // up to 50 of its own before we see one (Qt 5 follows none).
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    m_finishedConnection =
        kind == Signature ? connect(&m_networkManager, &QNetworkAccessManager::finished, this,
                                    &DownloadManager::signatureRead, Qt::QueuedConnection)
                          : connect(&m_networkManager, &QNetworkAccessManager::finished, this,
                                    &DownloadManager::downloadFinished, Qt::QueuedConnection);
    m_reply = m_networkManager.get(request);
    m_reply->setReadBufferSize(replyBufferSize);
    connect(m_reply, &QNetworkReply::downloadProgress, this, &DownloadManager::downloadProgress);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &DownloadManager::checkHeaders);
    connect(m_reply, &QNetworkReply::readyRead, this, &DownloadManager::readBody);
    m_progressTimer.start(m_transferTimeout * 1000);
}

void DownloadManager::pauseProgressCheck()
{
    m_progressTimer.stop();
}

void DownloadManager::resumeProgressCheck()
{
    if (!m_inFlight)
        return;
    m_bytesThisPeriod = 0;
    m_progressTimer.start();
}

void DownloadManager::abort()
{
    disconnect(m_finishedConnection);
    m_inFlight = false;
    m_progressTimer.stop();
    m_downloadFile.discard();
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
}

void DownloadManager::detach(QNetworkReply *reply)
{
    disconnect(m_finishedConnection);
    m_inFlight = false;
    m_progressTimer.stop();
    reply->disconnect(this);
    reply->deleteLater();
}

qint64 DownloadManager::bodyLimit() const
{
    switch (m_kind) {
    case Signature:
        return signatureLimit;
    case Package:
        return packageLimit;
    case Data:
        break;
    }
    return versionDocumentLimit;
}

bool DownloadManager::isRedirect(const QNetworkReply *reply)
{
    return reply->attribute(QNetworkRequest::RedirectionTargetAttribute).isValid();
}

void DownloadManager::checkHeaders()
{
    const QByteArray encoding = m_reply->rawHeader("Content-Encoding").trimmed();
    if (!encoding.isEmpty() && encoding.compare("identity", Qt::CaseInsensitive) != 0) {
        refuse(QStringLiteral("Refusing the content encoding %1 of %2")
                   .arg(QString::fromLatin1(encoding.left(64)), m_reply->url().toString()));
        return;
    }
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() > bodyLimit())
        refuse(QStringLiteral("Response from %1 announces %2 bytes, beyond the limit of %3 bytes")
                   .arg(m_reply->url().toString())
                   .arg(length.toLongLong())
                   .arg(bodyLimit()));
}

void DownloadManager::readBody()
{
    // At most replyBufferSize bytes: the reply buffers no more than that.
    const QByteArray bytes = m_reply->readAll();
    m_bodySize += bytes.size();
    m_bytesThisPeriod += bytes.size();
    if (m_bodySize > bodyLimit()) {
        refuse(QStringLiteral("Response from %1 exceeds the limit of %2 bytes")
                   .arg(m_reply->url().toString())
                   .arg(bodyLimit()));
        return;
    }
    // The body of a redirect is not the data.
    if (!isRedirect(m_reply))
        keepBody(bytes);
}

void DownloadManager::keepBody(const QByteArray &bytes)
{
    switch (m_kind) {
    case Signature:
        m_signatureText.append(bytes);
        break;
    case Package:
        if (!m_downloadFile.append(bytes))
            refuse(QStringLiteral("Could not keep the package from %1").arg(m_reply->url().toString()));
        break;
    case Data:
        m_downloadedData.append(bytes);
        break;
    }
}

void DownloadManager::checkProgress()
{
    if (m_bytesThisPeriod < minimumBytesPerSecond * m_transferTimeout) {
        refuse(QStringLiteral("No progress from %1: %2 bytes in %3 s")
                   .arg(m_reply->url().toString())
                   .arg(m_bytesThisPeriod)
                   .arg(m_transferTimeout));
        return;
    }
    m_bytesThisPeriod = 0;
}

void DownloadManager::refuse(const QString &reason)
{
    qWarning().noquote() << reason;
    m_refusal = reason;
    m_progressTimer.stop();
    // Finishes the reply; downloadFinished or signatureRead reports it.
    m_reply->abort();
}

void DownloadManager::downloadFinished(QNetworkReply *reply)
{
    qDebug() << "Download finished";
    detach(reply);
    if (handledRefusal() || handledRedirect(reply, m_kind))
        return;
    m_dataLocation = reply->url().toString();
    if (failed(reply))
        return;
    emit downloadDataFinished();
}

void DownloadManager::signatureRead(QNetworkReply *reply)
{
    qDebug() << "Downloading of signature finished";
    detach(reply);
    if (handledRefusal() || handledRedirect(reply, Signature) || failed(reply))
        return;
    // Line breaks and blanks around the hexadecimal digits are harmless.
    const QByteArray signature = QByteArray::fromHex(m_signatureText);
    const bool valid = m_dataKind == Package ? m_downloadFile.verify(signature)
                                             : m_verifier.verify(m_downloadedData, signature);
    if (valid) {
        emit dataVerified();
        return;
    }
    m_downloadFile.discard();
    emit verificationFailure();
}

bool DownloadManager::handledRefusal()
{
    if (m_refusal.isEmpty())
        return false;
    reportFailure();
    return true;
}

bool DownloadManager::handledRedirect(QNetworkReply *reply, HTTPRequest kind)
{
    if (!isRedirect(reply))
        return false;
    const QUrl from = reply->url();
    const QUrl to = from.resolved(reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl());
    if (!isSecureRedirect(from, to)) {
        qWarning().noquote() << "Redirect is insecure.\nOld url: " + from.toString()
                                    + "\nRedirected to: " + to.toString();
        reportFailure();
    } else if (m_redirectsFollowed >= maximumRedirects) {
        qWarning().noquote() << "Too many redirects, last from " + from.toString() + " to "
                                    + to.toString();
        reportFailure();
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
    reportFailure();
    return true;
}

void DownloadManager::reportFailure()
{
    m_downloadFile.discard();
    emit downloadFailure();
}

bool DownloadManager::isSecureRedirect(const QUrl &from, const QUrl &to)
{
    // Only the web: a file, data or ftp address would hand the updater
    // something no server of ours sent. Plain http only where the chain
    // started over http, so an https address is never downgraded.
    if (to.scheme() == QLatin1String("https"))
        return true;
    return to.scheme() == QLatin1String("http") && from.scheme() == QLatin1String("http");
}

QString DownloadManager::downloadDirectory()
{
    // A place of this user's own: in the shared temporary folder another
    // user could take the name first and make every download fail.
    const QString runtime = QFile::decodeName(qgetenv("XDG_RUNTIME_DIR"));
    const QString base =
        QDir::isAbsolutePath(runtime)
            ? runtime
            : QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    return base + QStringLiteral("/quillmark-updater");
}

bool DownloadManager::saveFile()
{
    qDebug() << "Saving downloaded data";
    const QString path = downloadDirectory() + QLatin1Char('/') + QUrl(m_dataLocation).fileName();
    const bool saved = saveToDisk(path);
    if (saved)
        qDebug() << "Download succeeded";
    return saved;
}

bool DownloadManager::saveToDisk(const QString &path)
{
    m_dataLocation.clear();
    qDebug().noquote() << "Saving file: " + QFileInfo(path).absoluteFilePath();
    if (!m_downloadFile.moveTo(path)) {
        m_downloadFile.discard();
        return false;
    }
    m_dataLocation = path;
    return true;
}

bool DownloadManager::savedPackageUnchanged() const
{
    return m_downloadFile.holdsVerifiedBytes(m_dataLocation, packageLimit);
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
