#pragma once

#include <QByteArray>
#include <QString>

// What the signing server does with a signature value that comes back from
// the token: checks it against the certificate that the page sent with the
// sign-init request.
class SignatureCheck
{
public:
    // PKCS #1 v1.5 RSA signature over the DigestInfo of a SHA-256 hash.
    static bool verifySha256(const QByteArray &certificatePem, const QByteArray &hash,
                             const QByteArray &signature);
    // The certificate's subject in one line ("CN=..., O=..."), empty when the
    // PEM holds no certificate.
    static QString subject(const QByteArray &certificatePem);
    // True when the PEM holds a certificate with an RSA key.
    static bool hasRsaKey(const QByteArray &certificatePem);
};
