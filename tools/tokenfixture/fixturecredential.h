#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

typedef struct evp_pkey_st EVP_PKEY;
typedef struct x509_st X509;

// An RSA key pair and its X.509 certificate, made on the fly for test and
// demo tokens. Copies share the key and certificate.
class FixtureCredential
{
public:
    // A self-signed certification authority.
    static FixtureCredential createAuthority(const QString &commonName);
    // The current issuing CA of the development PKI (tools/devpki), whose
    // key is published with the source.
    static FixtureCredential developmentAuthority();
    // An end-entity signing certificate issued by this authority. A
    // qualified one carries the QC-statements extension.
    FixtureCredential issue(const QString &commonName, bool qualified) const;

    QByteArray certificateDer() const;
    QByteArray certificatePem() const;
    QByteArray subjectDer() const;
    QByteArray privateKeyPem() const;
    // Key and certificate as a PKCS #12 file, the certificate under this
    // friendly name.
    QByteArray pkcs12(const QString &friendlyName, const QString &password) const;

    // Big-endian RSA components in the order modulus, public exponent,
    // private exponent, prime 1, prime 2, exponent 1, exponent 2, coefficient.
    struct RsaComponents
    {
        QByteArray modulus, publicExponent, privateExponent, prime1, prime2, exponent1,
            exponent2, coefficient;
    };
    RsaComponents rsaComponents() const;

private:
    FixtureCredential(std::shared_ptr<EVP_PKEY> key, std::shared_ptr<X509> certificate);

    std::shared_ptr<EVP_PKEY> m_key;
    std::shared_ptr<X509> m_certificate;
};
