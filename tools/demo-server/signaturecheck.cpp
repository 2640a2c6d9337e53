#include "signaturecheck.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <memory>

namespace {

using BioPointer = std::unique_ptr<BIO, decltype(&BIO_free)>;
using X509Pointer = std::unique_ptr<X509, decltype(&X509_free)>;
using KeyContextPointer = std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)>;

X509Pointer readCertificate(const QByteArray &pem)
{
    BioPointer bio(BIO_new_mem_buf(pem.constData(), static_cast<int>(pem.size())), BIO_free);
    if (!bio)
        return X509Pointer(nullptr, X509_free);
    return X509Pointer(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr), X509_free);
}

} // namespace

bool SignatureCheck::verifySha256(const QByteArray &certificatePem, const QByteArray &hash,
                                  const QByteArray &signature)
{
    const X509Pointer certificate = readCertificate(certificatePem);
    // The key belongs to the certificate; it must not be freed here.
    EVP_PKEY *key = certificate ? X509_get0_pubkey(certificate.get()) : nullptr;
    if (!key || EVP_PKEY_get_base_id(key) != EVP_PKEY_RSA || hash.size() != 32)
        return false;
    KeyContextPointer context(EVP_PKEY_CTX_new(key, nullptr), EVP_PKEY_CTX_free);
    return context && EVP_PKEY_verify_init(context.get()) == 1
        && EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) == 1
        && EVP_PKEY_CTX_set_signature_md(context.get(), EVP_sha256()) == 1
        && EVP_PKEY_verify(context.get(),
                           reinterpret_cast<const unsigned char *>(signature.constData()),
                           static_cast<size_t>(signature.size()),
                           reinterpret_cast<const unsigned char *>(hash.constData()),
                           static_cast<size_t>(hash.size())) == 1;
}

QString SignatureCheck::subject(const QByteArray &certificatePem)
{
    const X509Pointer certificate = readCertificate(certificatePem);
    if (!certificate)
        return {};
    BioPointer out(BIO_new(BIO_s_mem()), BIO_free);
    if (!out || X509_NAME_print_ex(out.get(), X509_get_subject_name(certificate.get()), 0,
                                   XN_FLAG_ONELINE & ~ASN1_STRFLGS_ESC_MSB) < 0)
        return {};
    char *text = nullptr;
    const long length = BIO_get_mem_data(out.get(), &text);
    return QString::fromUtf8(text, static_cast<int>(length));
}

bool SignatureCheck::hasRsaKey(const QByteArray &certificatePem)
{
    const X509Pointer certificate = readCertificate(certificatePem);
    EVP_PKEY *key = certificate ? X509_get0_pubkey(certificate.get()) : nullptr;
    return key && EVP_PKEY_get_base_id(key) == EVP_PKEY_RSA;
}
