#pragma once

#include "response.h"
#include "x509certificate2ultra.h"

#include <QByteArray>
#include <QList>
#include <QString>

class QXmlStreamReader;

// Opens the signed envelope of one server answer. Constructing it does the
// whole check; a constructed processor always holds content signed by a
// server certificate that a trusted CA issued with the required policy.
// Every failure is an AppException out of the constructor.
class ResponseCryptoProcessor
{
public:
    struct TrustedIssuer
    {
        // For the log only.
        QString distinguishedName;
        X509Certificate2Ultra certificate;
    };

    explicit ResponseCryptoProcessor(const QByteArray &envelope);

    QString getContent() const;
    X509Certificate2Ultra getSigner() const;

    // The compiled-in CAs, in the order they are tried.
    static QList<TrustedIssuer> compiledInIssuers();

private:
    static Response deserializeResponse(QXmlStreamReader &reader);
    void extractDataAndSignature(const QByteArray &der);
    static X509Certificate2Ultra extractSignerAndVerifySignature(CMS_ContentInfo *cms);
    void verifySignerIsTrusted() const;

    const QString m_requiredPolicyOid;
    const QList<TrustedIssuer> m_trustedIssuers;
    Response m_response;
    X509Certificate2Ultra m_signer;
    QString m_content;
};
