#include "httpresponse.h"

#include "quillmarkdocumentreader.h"

#include <QXmlStreamReader>
#include <QtDebug>

namespace {
const QString versionElement = QStringLiteral("version");
const QString urlElement = QStringLiteral("url");
} // namespace

bool HttpResponse::deserializeXml(const QByteArray &document)
{
    QXmlStreamReader reader(document);
    const QHash<QString, QString> texts =
        QuillmarkDocumentReader::read(reader, {urlElement, versionElement});
    m_version = Version(texts.value(versionElement, QStringLiteral("0.0.0")));
    m_url = texts.value(urlElement);
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
