#include "signinitresponse.h"

#include "xmlrecordreader.h"

SignInitResponse SignInitResponse::fromXml(QXmlStreamReader &reader)
{
    SignInitResponse record;
    XmlRecordReader::read(reader, QStringLiteral("SignInitResponse"), [&](const QString &name) {
        if (!record.readSharedField(reader, name) && name == QLatin1String("SignInitOutput"))
            record.signInitOutput = SignInitOutput::fromXml(reader);
    });
    return record;
}
