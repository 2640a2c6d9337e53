#include "demoanswers.h"

#include "answerrecordwriter.h"
#include "responseenvelope.h"

#include <QFile>
#include <QFileInfo>

const QString DemoAnswers::sha256Oid = QStringLiteral("2.16.840.1.101.3.4.2.1");

DemoAnswers::DemoAnswers(const QString &pdfPath, const SigningIdentity &server)
    : m_pdfPath(pdfPath)
    , m_source(pdfPath)
    , m_signer(server)
{
}

const DocumentSource &DemoAnswers::document() const
{
    return m_source;
}

QString DemoAnswers::documentName() const
{
    return QFileInfo(m_pdfPath).fileName();
}

QByteArray DemoAnswers::documentHash() const
{
    return QByteArray::fromBase64(m_source.hashValue().toLatin1());
}

QByteArray DemoAnswers::documentBytes() const
{
    QFile file(m_pdfPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

template <typename Record>
Record DemoAnswers::answerTo(const QString &sessionId, const QString &nonce) const
{
    Record record;
    record.nonce = nonce;
    record.sessionId = sessionId;
    record.provingData = {m_source.provingData()};
    return record;
}

template <typename Record>
QString DemoAnswers::signedAnswer(const Record &record) const
{
    return m_signer.envelope(AnswerRecordWriter::toXml(record), record.nonce);
}

QString DemoAnswers::info(const QString &sessionId, const QString &nonce) const
{
    auto record = answerTo<GetDocumentInfoResponse>(sessionId, nonce);
    DocInfo docInfo;
    docInfo.usableForZep = true;
    docInfo.contentType = m_source.contentType();
    docInfo.pages = m_source.pageCount();
    record.docInfo = docInfo;
    return signedAnswer(record);
}

QString DemoAnswers::page(const QString &sessionId, int pageNumber, const QString &nonce) const
{
    const QByteArray png = m_source.pagePng(pageNumber, pageDpi);
    if (png.isEmpty())
        return {};
    auto record = answerTo<GetDocumentPageResponse>(sessionId, nonce);
    record.pageNumber = pageNumber;
    DocData page;
    page.docId = m_source.documentId();
    page.name = QStringLiteral("page-%1.png").arg(pageNumber);
    page.data = png.toBase64();
    record.page = page;
    return signedAnswer(record);
}

QString DemoAnswers::signInit(const QString &sessionId, const QString &nonce) const
{
    auto record = answerTo<SignInitResponse>(sessionId, nonce);
    SignInitOutput output;
    output.dataToSign = QString::fromLatin1(documentHash().toHex());
    output.signatureAlgorithmOID = sha256Oid;
    record.signInitOutput = output;
    return signedAnswer(record);
}

QString DemoAnswers::signFinish(const QString &sessionId, const QString &nonce,
                                const QByteArray &signature) const
{
    auto record = answerTo<SignFinishResponse>(sessionId, nonce);
    DocData document;
    document.docId = m_source.documentId();
    document.name = documentName();
    document.data = documentBytes().toBase64();
    DocData externalSignature;
    externalSignature.docId = m_source.documentId();
    externalSignature.name = documentName() + QStringLiteral(".sig");
    externalSignature.data = signature.toBase64();
    SignedDocument signedDocument;
    signedDocument.document = document;
    signedDocument.externalSignature = externalSignature;
    record.signedDocument = signedDocument;
    return signedAnswer(record);
}

QString DemoAnswers::error(const QString &text, const QString &nonce) const
{
    ResponseEnvelope envelope;
    envelope.error = text;
    envelope.nonce = nonce;
    envelope.showError = QStringLiteral("true");
    return envelope.toXml();
}
