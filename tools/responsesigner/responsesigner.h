#pragma once

#include "signingidentity.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Makes the CMS SignedData of a server answer: SHA-256, signed attributes,
// the signer's certificate inside, the content embedded. The with* options
// make the broken variants a verifier has to refuse.
class ResponseSigner
{
public:
    explicit ResponseSigner(const SigningIdentity &signer);

    // Adds a further SignerInfo over the same content.
    ResponseSigner &withSecondSigner(const SigningIdentity &signer);
    // Flips one bit of the embedded content after signing.
    ResponseSigner &withAlteredContent();
    // Leaves the content out of the structure.
    ResponseSigner &withDetachedContent();

    // DER of the SignedData over content. Throws std::runtime_error.
    QByteArray signedData(const QByteArray &content) const;
    // The envelope text as the server answers: Data (Base64 of signedData
    // over the UTF-8 record) and Nonce.
    QString envelope(const QString &record, const QString &nonce) const;

private:
    QList<SigningIdentity> m_signers;
    bool m_alterContent = false;
    bool m_detachContent = false;
};
