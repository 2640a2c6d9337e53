#include "configuration.h"

#include "quillmarkdocumentreader.h"

#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>
#include <QtDebug>

namespace {
const QString versionElement = QStringLiteral("version");
const QString urlElement = QStringLiteral("url");
const QString downloadUrlElement = QStringLiteral("downloadUrl");
const QString transferTimeoutElement = QStringLiteral("transferTimeout");
constexpr qint64 maxConfigurationBytes = 64 * 1024;

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

QString Configuration::systemFilePath()
{
    return QStringLiteral("/etc/opt/varnek/quillmark/QuillmarkUpdater.conf");
}

Configuration::Configuration(const QString &systemFile)
    : m_systemFile(systemFile)
{
}

std::optional<QString> Configuration::readText(const QString &path)
{
    qDebug().noquote() << "Config file name: " + path;
    QFile file(path);
    if (!file.exists()) {
        qWarning() << "File does not exists";
        return std::nullopt;
    }
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qWarning() << "Could not open config for reading";
        return std::nullopt;
    }
    // A real configuration is a few hundred bytes; a file past the bound is
    // read only that far and then fails as XML. A stray zero byte ends the
    // text, as it would for any C string reader.
    return QString::fromUtf8(file.read(maxConfigurationBytes).constData());
}

bool Configuration::readConfig()
{
    qDebug() << "Reading configuration file";
    const std::optional<QString> text = readText(filePath());
    if (!text || !deserialize(*text) || !applySystemSettings())
        return false;
    qDebug().noquote() << "Version in config: " + m_version.toString();
    qDebug().noquote() << "Url in config: " + m_url;
    qDebug().noquote() << "Download url: " + m_downloadUrl;
    qDebug().noquote() << QStringLiteral("Transfer timeout: %1 s").arg(m_transferTimeout);
    return true;
}

// The system file names both addresses or is refused as a whole: an
// administrator's half-finished edit must not send the updater to a mix of
// two servers. Its transfer timeout replaces the package's too (the default
// when it names none). Its version element, if any, is not read, because the
// installed version is the package's to state.
bool Configuration::applySystemSettings()
{
    if (!QFileInfo::exists(m_systemFile))
        return true;
    qDebug() << "Reading the administrator's settings";
    const std::optional<QString> text = readText(m_systemFile);
    Configuration system(QString{});
    if (!text || !system.deserialize(*text))
        return false;
    m_url = system.m_url;
    m_downloadUrl = system.m_downloadUrl;
    m_transferTimeout = system.m_transferTimeout;
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
