#include "versiondocumentexpiry.h"

#include <QRegularExpression>
#include <QXmlStreamReader>

bool VersionDocumentExpiry::isVersionDocument(const QByteArray &document)
{
    QXmlStreamReader reader(document);
    while (!reader.atEnd() && !reader.hasError()) {
        if (reader.readNext() == QXmlStreamReader::StartElement)
            return reader.name() == QLatin1String("Quillmark");
    }
    return false;
}

QByteArray VersionDocumentExpiry::stamped(const QByteArray &document, const QDateTime &expires)
{
    QString text = QString::fromUtf8(document);
    static const QRegularExpression earlier(
        QStringLiteral("[ \\t]*<expires>[^<]*</expires>[ \\t]*\\n?"));
    text.remove(earlier);
    const QString element =
        QStringLiteral("  <expires>%1</expires>\n").arg(expires.toUTC().toString(Qt::ISODate));
    const int end = text.lastIndexOf(QStringLiteral("</Quillmark>"));
    text.insert(end < 0 ? text.size() : end, element);
    return text.toUtf8();
}
