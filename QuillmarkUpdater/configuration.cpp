#include "configuration.h"

#include "quillmarkdocumentreader.h"

#include <QFile>
#include <QXmlStreamReader>
#include <QtDebug>

namespace {
const QString versionElement = QStringLiteral("version");
const QString urlElement = QStringLiteral("url");
const QString downloadUrlElement = QStringLiteral("downloadUrl");
const QString transferTimeoutElement = QStringLiteral("transferTimeout");

// Missing, unreadable or out-of-range values keep the default.
int boundedTransferTimeout(const QString &text)
{
    bool number = false;
    const int seconds = text.toInt(&number);
    return number && seconds >= 1 && seconds <= Configuration::maximumTransferTimeout
               ? seconds
               : Configuration::defaultTransferTimeout;
}
} // namespace

QString Configuration::filePath()
{
    return QStringLiteral("../etc/") + QStringLiteral("QuillmarkUpdater.conf");
}

bool Configuration::readConfig()
{
    const QString path = filePath();
    qDebug() << "Reading configuration file";
    qDebug().noquote() << "Config file name: " + path;
    QFile file(path);
    if (!file.exists()) {
        qWarning() << "File does not exists";
        return false;
    }
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qWarning() << "Could not open config for reading";
        return false;
    }
    // A stray zero byte ends the text, as it would for any C string reader.
    const QString text = QString::fromUtf8(file.readAll().constData());
    file.close();
    if (!deserialize(text))
        return false;
    qDebug().noquote() << "Version in config: " + m_version.toString();
    qDebug().noquote() << "Url in config: " + m_url;
    qDebug().noquote() << "Download url: " + m_downloadUrl;
    qDebug().noquote() << QStringLiteral("Transfer timeout: %1 s").arg(m_transferTimeout);
    return true;
}

bool Configuration::deserialize(const QString &text)
{
    QXmlStreamReader reader(text);
    const QHash<QString, QString> texts =
        QuillmarkDocumentReader::read(reader, {urlElement, versionElement, downloadUrlElement,
                                               transferTimeoutElement});
    m_version = Version(texts.value(versionElement, QStringLiteral("0.0.0")));
    m_url = texts.value(urlElement);
    m_downloadUrl = texts.value(downloadUrlElement);
    m_transferTimeout = boundedTransferTimeout(texts.value(transferTimeoutElement));
    if (m_url.isEmpty()) {
        qWarning() << "Missing url element in config";
        return false;
    }
    if (m_downloadUrl.isEmpty()) {
        qWarning() << "Missing url for downloading Quillmark in http response";
        return false;
    }
    return true;
}

Version Configuration::version() const
{
    return m_version;
}

QString Configuration::url() const
{
    return m_url;
}

QString Configuration::downloadUrl() const
{
    return m_downloadUrl;
}

int Configuration::transferTimeout() const
{
    return m_transferTimeout;
}
