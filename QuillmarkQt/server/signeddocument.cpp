#include "signeddocument.h"

#include "xmlrecordreader.h"

SignedDocument SignedDocument::fromXml(QXmlStreamReader &reader)
{
    SignedDocument signedDocument;
    XmlRecordReader::read(reader, QStringLiteral("SignedDocument"), [&](const QString &name) {
        if (name == QLatin1String("Document"))
            signedDocument.document = DocData::fromXml(reader, name);
        else if (name == QLatin1String("ExternalSignature"))
            signedDocument.externalSignature = DocData::fromXml(reader, name);
    });
    return signedDocument;
}
