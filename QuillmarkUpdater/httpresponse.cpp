#include "httpresponse.h"

#include "quillmarkdocumentreader.h"

#include <QXmlStreamReader>
#include <QtDebug>

namespace {
const QString versionElement = QStringLiteral("version");
const QString urlElement = QStringLiteral("url");
const QString expiresElement = QStringLiteral("expires");
} // namespace

bool HttpResponse::deserializeXml(const QByteArray &document)
{
    QXmlStreamReader reader(document);
    const QHash<QString, QString> texts =
        QuillmarkDocumentReader::read(reader, {urlElement, versionElement, expiresElement});
    m_version = Version(texts.value(versionElement, QStringLiteral("0.0.0")));
    m_url = texts.value(urlElement);
    m_expires = texts.value(expiresElement);
    if (m_url.isEmpty()) {
        qWarning() << "Missing website url in http response";
        return false;
    }
    return true;
}

Version HttpResponse::version() const
{
    return m_version;
}

QString HttpResponse::url() const
{
    return m_url;
}

bool HttpResponse::hasExpired(const QDateTime &now) const
{
    if (m_expires.isEmpty()) {
        qDebug() << "The version document names no expiry";
        return false;
    }
    const QDateTime expires = QDateTime::fromString(m_expires, Qt::ISODate);
    if (!expires.isValid() || expires.timeSpec() != Qt::UTC) {
        qWarning().noquote() << "Unreadable expiry of the version document: " + m_expires.left(64);
        return true;
    }
    if (expires <= now) {
        qWarning().noquote() << "The version document expired at " + expires.toString(Qt::ISODate);
        return true;
    }
    qDebug().noquote() << "The version document expires at " + expires.toString(Qt::ISODate);
    return false;
}
