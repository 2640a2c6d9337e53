#pragma once

#include "documentsource.h"
#include "responsesigner.h"

#include <QByteArray>
#include <QString>

// The signing server's answers about one document, each a signed envelope
// as the page relays it to quillmark. The caller keeps the session and the
// nonces; this class only writes and signs.
class DemoAnswers
{
public:
    static constexpr double pageDpi = 110.0;
    static const QString sha256Oid;

    DemoAnswers(const QString &pdfPath, const SigningIdentity &server);

    const DocumentSource &document() const;
    QString documentName() const;
    // The SHA-256 of the document file, which the token signs.
    QByteArray documentHash() const;
    QByteArray documentBytes() const;

    QString info(const QString &sessionId, const QString &nonce) const;
    // Empty when the page does not exist.
    QString page(const QString &sessionId, int pageNumber, const QString &nonce) const;
    QString signInit(const QString &sessionId, const QString &nonce) const;
    QString signFinish(const QString &sessionId, const QString &nonce, const QByteArray &signature) const;
    // An envelope that carries only an error, shown to the user.
    QString error(const QString &text, const QString &nonce) const;

private:
    template <typename Record>
    Record answerTo(const QString &sessionId, const QString &nonce) const;
    template <typename Record>
    QString signedAnswer(const Record &record) const;

    QString m_pdfPath;
    DocumentSource m_source;
    ResponseSigner m_signer;
};
