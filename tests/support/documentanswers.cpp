#include "documentanswers.h"

#include "answerrecordwriter.h"

namespace {

// 96 dpi keeps A4 pages small enough for quick tests and still sharp.
constexpr double pageDpi = 96.0;

} // namespace

DocumentAnswers::DocumentAnswers(const QString &pdfPath)
    : m_source(pdfPath)
    , m_signer(SigningIdentity::development(QStringLiteral("server-2014")))
{
}

const DocumentSource &DocumentAnswers::document() const
{
    return m_source;
}

QString DocumentAnswers::sessionId() const
{
    return QStringLiteral("session-") + m_source.documentId();
}

template <typename Record>
Record DocumentAnswers::answerTo(const QString &nonce) const
{
    Record record;
    record.nonce = nonce;
    record.sessionId = sessionId();
    record.provingData = {m_source.provingData()};
    return record;
}

template <typename Record>
QString DocumentAnswers::signedAnswer(const Record &record) const
{
    return m_signer.envelope(AnswerRecordWriter::toXml(record), record.nonce);
}

QString DocumentAnswers::info(const QString &nonce, std::optional<int> pages) const
{
    auto record = answerTo<GetDocumentInfoResponse>(nonce);
    DocInfo docInfo;
    docInfo.usableForZep = true;
    docInfo.contentType = m_source.contentType();
    docInfo.pages = pages.value_or(m_source.pageCount());
    record.docInfo = docInfo;
    return signedAnswer(record);
}

QString DocumentAnswers::infoWithoutDocInfo(const QString &nonce) const
{
    return signedAnswer(answerTo<GetDocumentInfoResponse>(nonce));
}

QString DocumentAnswers::page(int pageNumber, const QString &nonce) const
{
    return pageWithData(pageNumber, m_source.pagePng(pageNumber, pageDpi).toBase64(), nonce);
}

QString DocumentAnswers::pageWithData(int pageNumber, const QByteArray &base64Data,
                                      const QString &nonce) const
{
    auto record = answerTo<GetDocumentPageResponse>(nonce);
    record.pageNumber = pageNumber;
    DocData page;
    page.docId = m_source.documentId();
    page.name = QStringLiteral("page-%1.png").arg(pageNumber);
    page.data = base64Data;
    record.page = page;
    return signedAnswer(record);
}

QString DocumentAnswers::pageWithoutPage(int pageNumber, const QString &nonce) const
{
    auto record = answerTo<GetDocumentPageResponse>(nonce);
    record.pageNumber = pageNumber;
    return signedAnswer(record);
}
