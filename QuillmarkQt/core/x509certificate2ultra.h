#pragma once

#include "opensslpointers.h"

#include <QSslCertificate>
#include <QVariant>

// The certificate type of quillmark: a QSslCertificate value with the issuer
// and policy checks that decide trust in a server answer, and the display
// values of the certificate and main windows.
class X509Certificate2Ultra : public QSslCertificate
{
public:
    // A null certificate.
    X509Certificate2Ultra();
    X509Certificate2Ultra(const QByteArray &data, QSsl::EncodingFormat format);
    explicit X509Certificate2Ultra(const QSslCertificate &certificate);

    QByteArray getRawData() const;
    QString toPemString() const;
    // Null when the certificate is null or its DER does not decode.
    X509Ptr toX509() const;
    bool isValidNow() const;

    static QString readOid(const ASN1_OBJECT *object);

    // Throws "InvalidCertificate" or "IssuerInvalid" unless issuer signed
    // this certificate.
    void verifyIssuer(const X509Certificate2Ultra &issuer) const;
    // Throws "ResponseCertPolicyMissing" (or a technical exception) unless
    // the certificate-policies extension lists oid.
    void verifyCustomPolicy(const QString &oid) const;

    QString displayName() const;
    bool isQualified() const;
    QVariant basicConstraints() const;
    bool isCa() const;
    QString subjectDn() const;
    QString issuerDn() const;
};
