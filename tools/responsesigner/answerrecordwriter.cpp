#include "answerrecordwriter.h"

#include <QXmlStreamWriter>

#include <functional>

namespace {

using ElementWriter = std::function<void(QXmlStreamWriter &)>;

void writeProvingData(QXmlStreamWriter &writer, const QList<ProvingData> &items)
{
    writer.writeStartElement(QStringLiteral("ProvingData"));
    for (const ProvingData &item : items) {
        writer.writeStartElement(QStringLiteral("ProvingData"));
        writer.writeTextElement(QStringLiteral("DocId"), item.docId);
        writer.writeTextElement(QStringLiteral("HashOid"), item.hashOid);
        writer.writeTextElement(QStringLiteral("HashValue"), item.hashValue);
        writer.writeEndElement();
    }
    writer.writeEndElement();
}

void writeDocData(QXmlStreamWriter &writer, const QString &element, const DocData &part)
{
    writer.writeStartElement(element);
    writer.writeTextElement(QStringLiteral("DocId"), part.docId);
    writer.writeTextElement(QStringLiteral("Name"), part.name);
    writer.writeTextElement(QStringLiteral("Data"), QString::fromLocal8Bit(part.data));
    writer.writeEndElement();
}

// The root, the shared fields, then what is particular to the record.
QString writeRecord(const QString &root, const AnswerRecord &record, const ElementWriter &particular)
{
    QString xml;
    QXmlStreamWriter writer(&xml);
    writer.writeStartDocument();
    writer.writeStartElement(root);
    writer.writeTextElement(QStringLiteral("Nonce"), record.nonce);
    writer.writeTextElement(QStringLiteral("SessionId"), record.sessionId);
    writeProvingData(writer, record.provingData);
    particular(writer);
    writer.writeEndElement();
    writer.writeEndDocument();
    return xml;
}

} // namespace

QString AnswerRecordWriter::toXml(const GetDocumentInfoResponse &record)
{
    return writeRecord(QStringLiteral("GetDocumentInfoResponse"), record, [&](QXmlStreamWriter &writer) {
        if (!record.docInfo)
            return;
        writer.writeStartElement(QStringLiteral("DocInfo"));
        writer.writeTextElement(QStringLiteral("UsableForZep"),
                                record.docInfo->usableForZep ? QStringLiteral("true")
                                                             : QStringLiteral("false"));
        writer.writeTextElement(QStringLiteral("ContentType"), record.docInfo->contentType);
        writer.writeTextElement(QStringLiteral("Pages"), QString::number(record.docInfo->pages));
        writer.writeEndElement();
    });
}

QString AnswerRecordWriter::toXml(const GetDocumentPageResponse &record)
{
    return writeRecord(QStringLiteral("GetDocumentPageResponse"), record, [&](QXmlStreamWriter &writer) {
        writer.writeTextElement(QStringLiteral("PageNumber"), QString::number(record.pageNumber));
        if (record.page)
            writeDocData(writer, QStringLiteral("Page"), *record.page);
    });
}

QString AnswerRecordWriter::toXml(const SignInitResponse &record)
{
    return writeRecord(QStringLiteral("SignInitResponse"), record, [&](QXmlStreamWriter &writer) {
        if (!record.signInitOutput)
            return;
        writer.writeStartElement(QStringLiteral("SignInitOutput"));
        writer.writeTextElement(QStringLiteral("DataToSign"), record.signInitOutput->dataToSign);
        writer.writeTextElement(QStringLiteral("SignatureAlgorithmOID"),
                                record.signInitOutput->signatureAlgorithmOID);
        writer.writeEndElement();
    });
}

QString AnswerRecordWriter::toXml(const SignFinishResponse &record)
{
    return writeRecord(QStringLiteral("SignFinishResponse"), record, [&](QXmlStreamWriter &writer) {
        if (!record.signedDocument)
            return;
        writer.writeStartElement(QStringLiteral("SignedDocument"));
        if (record.signedDocument->document)
            writeDocData(writer, QStringLiteral("Document"), *record.signedDocument->document);
        if (record.signedDocument->externalSignature)
            writeDocData(writer, QStringLiteral("ExternalSignature"),
                         *record.signedDocument->externalSignature);
        writer.writeEndElement();
    });
}
