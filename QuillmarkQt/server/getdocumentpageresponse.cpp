#include "getdocumentpageresponse.h"

#include "xmlrecordreader.h"

#include <QFile>

namespace {

void recordParseError(const QXmlStreamReader &reader)
{
    QFile file(QStringLiteral("xmlHasError.txt"));
    if (file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        file.write(reader.errorString().toUtf8() + '\n');
}

} // namespace

GetDocumentPageResponse GetDocumentPageResponse::fromXml(QXmlStreamReader &reader)
{
    GetDocumentPageResponse record;
    XmlRecordReader::read(reader, QStringLiteral("GetDocumentPageResponse"), [&](const QString &name) {
        if (record.readSharedField(reader, name))
            return;
        if (name == QLatin1String("Page"))
            record.page = DocData::fromXml(reader, name);
        else if (name == QLatin1String("PageNumber"))
            record.pageNumber = reader.readElementText().toInt();
    });
    if (reader.hasError())
        recordParseError(reader);
    return record;
}
