#include "signfinishresponse.h"

#include "xmlrecordreader.h"

SignFinishResponse SignFinishResponse::fromXml(QXmlStreamReader &reader)
{
    SignFinishResponse record;
    XmlRecordReader::read(reader, QStringLiteral("SignFinishResponse"), [&](const QString &name) {
        if (!record.readSharedField(reader, name) && name == QLatin1String("SignedDocument"))
            record.signedDocument = SignedDocument::fromXml(reader);
    });
    return record;
}
