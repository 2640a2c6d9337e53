#include "getdocumentinforesponse.h"

#include "xmlrecordreader.h"

GetDocumentInfoResponse GetDocumentInfoResponse::fromXml(QXmlStreamReader &reader)
{
    GetDocumentInfoResponse record;
    XmlRecordReader::read(reader, QStringLiteral("GetDocumentInfoResponse"), [&](const QString &name) {
        if (!record.readSharedField(reader, name) && name == QLatin1String("DocInfo"))
            record.docInfo = DocInfo::fromXml(reader);
    });
    return record;
}
