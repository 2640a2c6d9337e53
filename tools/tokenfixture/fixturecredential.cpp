#include "fixturecredential.h"

#include "fixturepaths.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <QFile>

#include <stdexcept>

namespace {

constexpr int keyBits = 2048;
constexpr long validitySeconds = 2L * 365 * 24 * 3600;

template<typename T, void (*Free)(T *)>
struct Deleter
{
    void operator()(T *object) const { Free(object); }
};
using BioPtr = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;
using BnPtr = std::unique_ptr<BIGNUM, Deleter<BIGNUM, BN_free>>;
using ExtensionPtr = std::unique_ptr<X509_EXTENSION, Deleter<X509_EXTENSION, X509_EXTENSION_free>>;

void require(bool condition, const char *what)
{
    if (!condition)
        throw std::runtime_error(std::string("fixture credential: ") + what + " failed");
}

std::shared_ptr<EVP_PKEY> generateKey()
{
    EVP_PKEY *key = EVP_RSA_gen(keyBits);
    require(key, "RSA key generation");
    return std::shared_ptr<EVP_PKEY>(key, EVP_PKEY_free);
}

void setName(X509_NAME *name, const QString &commonName)
{
    const QByteArray organisation("Quillmark Test");
    const QByteArray cn = commonName.toUtf8();
    require(X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8,
                                       reinterpret_cast<const unsigned char *>(organisation.constData()),
                                       -1, -1, 0) == 1,
            "subject organisation");
    require(X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                                       reinterpret_cast<const unsigned char *>(cn.constData()), -1, -1,
                                       0) == 1,
            "subject common name");
}

void addExtension(X509 *certificate, X509 *issuer, int nid, const char *value)
{
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    ExtensionPtr extension(X509V3_EXT_nconf_nid(nullptr, &context, nid, value));
    require(extension != nullptr, "extension");
    require(X509_add_ext(certificate, extension.get(), -1) == 1, "adding an extension");
}

// QC statements with no statement inside: readers that only look for the
// extension's presence treat the certificate as qualified.
void addQualifiedStatements(X509 *certificate)
{
    static const unsigned char emptySequence[] = {0x30, 0x00};
    ASN1_OBJECT *object = OBJ_txt2obj("1.3.6.1.5.5.7.1.3", 1);
    require(object != nullptr, "QC statements identifier");
    ASN1_OCTET_STRING *content = ASN1_OCTET_STRING_new();
    ASN1_OCTET_STRING_set(content, emptySequence, sizeof emptySequence);
    ExtensionPtr extension(X509_EXTENSION_create_by_OBJ(nullptr, object, 0, content));
    ASN1_OCTET_STRING_free(content);
    ASN1_OBJECT_free(object);
    require(extension != nullptr, "QC statements extension");
    require(X509_add_ext(certificate, extension.get(), -1) == 1, "adding QC statements");
}

std::shared_ptr<X509> newCertificate(EVP_PKEY *subjectKey, const QString &commonName)
{
    std::shared_ptr<X509> certificate(X509_new(), X509_free);
    require(certificate != nullptr, "X509_new");
    X509_set_version(certificate.get(), 2);
    BnPtr serial(BN_new());
    require(serial && BN_rand(serial.get(), 64, BN_RAND_TOP_ONE, BN_RAND_BOTTOM_ANY) == 1,
            "serial number");
    require(BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(certificate.get())) != nullptr,
            "serial number");
    X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(certificate.get()), validitySeconds);
    setName(X509_get_subject_name(certificate.get()), commonName);
    require(X509_set_pubkey(certificate.get(), subjectKey) == 1, "public key");
    return certificate;
}

void sign(X509 *certificate, X509 *issuer, EVP_PKEY *issuerKey)
{
    require(X509_set_issuer_name(certificate, X509_get_subject_name(issuer)) == 1, "issuer name");
    require(X509_sign(certificate, issuerKey, EVP_sha256()) > 0, "certificate signature");
}

BioPtr fileBio(const QString &path)
{
    QFile file(path);
    require(file.open(QIODevice::ReadOnly), "reading a development PKI file");
    const QByteArray content = file.readAll();
    BioPtr bio(BIO_new(BIO_s_mem()));
    require(bio && BIO_write(bio.get(), content.constData(), content.size()) == content.size(),
            "reading a development PKI file");
    return bio;
}

QByteArray bigNumber(EVP_PKEY *key, const char *parameter)
{
    BIGNUM *raw = nullptr;
    require(EVP_PKEY_get_bn_param(key, parameter, &raw) == 1, parameter);
    BnPtr number(raw);
    QByteArray bytes(BN_num_bytes(number.get()), '\0');
    BN_bn2bin(number.get(), reinterpret_cast<unsigned char *>(bytes.data()));
    return bytes;
}

template<typename Writer>
QByteArray writeToMemory(Writer writer)
{
    BioPtr bio(BIO_new(BIO_s_mem()));
    require(bio != nullptr && writer(bio.get()) == 1, "encoding");
    char *data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return QByteArray(data, static_cast<int>(size));
}

} // namespace

FixtureCredential::FixtureCredential(std::shared_ptr<EVP_PKEY> key, std::shared_ptr<X509> certificate)
    : m_key(std::move(key)), m_certificate(std::move(certificate))
{
}

FixtureCredential FixtureCredential::createAuthority(const QString &commonName)
{
    std::shared_ptr<EVP_PKEY> key = generateKey();
    std::shared_ptr<X509> certificate = newCertificate(key.get(), commonName);
    addExtension(certificate.get(), certificate.get(), NID_basic_constraints, "critical,CA:TRUE");
    addExtension(certificate.get(), certificate.get(), NID_key_usage, "critical,keyCertSign,cRLSign");
    addExtension(certificate.get(), certificate.get(), NID_subject_key_identifier, "hash");
    sign(certificate.get(), certificate.get(), key.get());
    return FixtureCredential(key, certificate);
}

FixtureCredential FixtureCredential::developmentAuthority()
{
    const QString pki = QStringLiteral(QUILLMARK_DEVPKI_DIR);
    std::shared_ptr<X509> certificate(
        PEM_read_bio_X509(fileBio(pki + QStringLiteral("/certs/issuing-2014.pem")).get(), nullptr, nullptr, nullptr),
        X509_free);
    std::shared_ptr<EVP_PKEY> key(
        PEM_read_bio_PrivateKey(fileBio(pki + QStringLiteral("/keys/issuing-2014.DEVELOPMENT-KEY.pem")).get(),
                                nullptr, nullptr, nullptr),
        EVP_PKEY_free);
    require(certificate && key, "loading the development issuing CA");
    return FixtureCredential(key, certificate);
}

FixtureCredential FixtureCredential::issue(const QString &commonName, bool qualified) const
{
    std::shared_ptr<EVP_PKEY> key = generateKey();
    std::shared_ptr<X509> certificate = newCertificate(key.get(), commonName);
    addExtension(certificate.get(), m_certificate.get(), NID_key_usage,
                 "critical,digitalSignature,nonRepudiation");
    addExtension(certificate.get(), m_certificate.get(), NID_authority_key_identifier, "keyid");
    if (qualified)
        addQualifiedStatements(certificate.get());
    sign(certificate.get(), m_certificate.get(), m_key.get());
    return FixtureCredential(key, certificate);
}

QByteArray FixtureCredential::certificateDer() const
{
    return writeToMemory([this](BIO *bio) { return i2d_X509_bio(bio, m_certificate.get()); });
}

QByteArray FixtureCredential::certificatePem() const
{
    return writeToMemory([this](BIO *bio) { return PEM_write_bio_X509(bio, m_certificate.get()); });
}

QByteArray FixtureCredential::subjectDer() const
{
    unsigned char *der = nullptr;
    const int size = i2d_X509_NAME(X509_get_subject_name(m_certificate.get()), &der);
    require(size > 0, "subject encoding");
    QByteArray bytes(reinterpret_cast<const char *>(der), size);
    OPENSSL_free(der);
    return bytes;
}

QByteArray FixtureCredential::privateKeyPem() const
{
    return writeToMemory([this](BIO *bio) {
        return PEM_write_bio_PrivateKey(bio, m_key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    });
}

QByteArray FixtureCredential::pkcs12(const QString &friendlyName, const QString &password) const
{
    const QByteArray name = friendlyName.toUtf8();
    const QByteArray secret = password.toUtf8();
    std::unique_ptr<PKCS12, Deleter<PKCS12, PKCS12_free>> bundle(PKCS12_create(
        secret.constData(), name.constData(), m_key.get(), m_certificate.get(), nullptr, 0, 0, 0, 0, 0));
    require(bundle != nullptr, "PKCS #12 encoding");
    return writeToMemory([&bundle](BIO *bio) { return i2d_PKCS12_bio(bio, bundle.get()); });
}

FixtureCredential::RsaComponents FixtureCredential::rsaComponents() const
{
    EVP_PKEY *key = m_key.get();
    return {bigNumber(key, OSSL_PKEY_PARAM_RSA_N),         bigNumber(key, OSSL_PKEY_PARAM_RSA_E),
            bigNumber(key, OSSL_PKEY_PARAM_RSA_D),         bigNumber(key, OSSL_PKEY_PARAM_RSA_FACTOR1),
            bigNumber(key, OSSL_PKEY_PARAM_RSA_FACTOR2),   bigNumber(key, OSSL_PKEY_PARAM_RSA_EXPONENT1),
            bigNumber(key, OSSL_PKEY_PARAM_RSA_EXPONENT2), bigNumber(key, OSSL_PKEY_PARAM_RSA_COEFFICIENT1)};
}
