#pragma once

#include "documentsource.h"
#include "fixturepaths.h"
#include "responsesigner.h"

#include <QString>

#include <optional>

// The signing server's side of viewing a document, for tests: signed
// document-information and page answers for the sample PDF, as the page
// relays them to quillmark.
class DocumentAnswers
{
public:
    explicit DocumentAnswers(const QString &pdfPath = QStringLiteral(QUILLMARK_SAMPLE_PDF));

    const DocumentSource &document() const;
    QString sessionId() const;

    // pages: the page count the answer claims, the document's own by default.
    QString info(const QString &nonce, std::optional<int> pages = std::nullopt) const;
    QString infoWithoutDocInfo(const QString &nonce) const;
    QString page(int pageNumber, const QString &nonce) const;
    QString pageWithoutPage(int pageNumber, const QString &nonce) const;
    QString pageWithData(int pageNumber, const QByteArray &base64Data, const QString &nonce) const;

private:
    template <typename Record>
    Record answerTo(const QString &nonce) const;
    template <typename Record>
    QString signedAnswer(const Record &record) const;

    DocumentSource m_source;
    ResponseSigner m_signer;
};
