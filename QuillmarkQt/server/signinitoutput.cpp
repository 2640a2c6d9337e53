#include "signinitoutput.h"

#include "xmlrecordreader.h"

SignInitOutput SignInitOutput::fromXml(QXmlStreamReader &reader)
{
    SignInitOutput output;
    XmlRecordReader::read(reader, QStringLiteral("SignInitOutput"), [&](const QString &name) {
        if (name == QLatin1String("DataToSign"))
            output.dataToSign = reader.readElementText();
        else if (name == QLatin1String("SignatureAlgorithmOID"))
            output.signatureAlgorithmOID = reader.readElementText();
    });
    return output;
}
