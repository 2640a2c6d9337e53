#include "responsesigner.h"

#include "opensslpointers.h"
#include "responseenvelope.h"

#include <openssl/err.h>
#include <openssl/pem.h>

#include <stdexcept>

namespace {

[[noreturn]] void fail(const char *what)
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    std::string message = what;
    if (code != 0) {
        char reason[256];
        ERR_error_string_n(code, reason, sizeof reason);
        message += std::string(": ") + reason;
    }
    throw std::runtime_error(message);
}

BioPtr memoryOver(const QByteArray &bytes)
{
    BioPtr bio(BIO_new_mem_buf(bytes.constData(), bytes.size()));
    if (!bio)
        fail("cannot create memory BIO");
    return bio;
}

X509Ptr loadCertificate(const QByteArray &pem)
{
    X509Ptr certificate(PEM_read_bio_X509(memoryOver(pem).get(), nullptr, nullptr, nullptr));
    if (!certificate)
        fail("cannot read signer certificate");
    return certificate;
}

EvpPkeyPtr loadKey(const QByteArray &pem)
{
    EvpPkeyPtr key(PEM_read_bio_PrivateKey(memoryOver(pem).get(), nullptr, nullptr, nullptr));
    if (!key)
        fail("cannot read signer key");
    return key;
}

QByteArray toDer(CMS_ContentInfo *cms)
{
    const BioPtr out(BIO_new(BIO_s_mem()));
    if (!out || i2d_CMS_bio(out.get(), cms) != 1)
        fail("cannot encode CMS");
    char *data = nullptr;
    const long length = BIO_get_mem_data(out.get(), &data);
    return QByteArray(data, int(length));
}

} // namespace

ResponseSigner::ResponseSigner(const SigningIdentity &signer) : m_signers{signer}
{
}

ResponseSigner &ResponseSigner::withSecondSigner(const SigningIdentity &signer)
{
    m_signers.append(signer);
    return *this;
}

ResponseSigner &ResponseSigner::withAlteredContent()
{
    m_alterContent = true;
    return *this;
}

ResponseSigner &ResponseSigner::withDetachedContent()
{
    m_detachContent = true;
    return *this;
}

QByteArray ResponseSigner::signedData(const QByteArray &content) const
{
    // CMS_BINARY keeps line ends as they are: the verifier digests the bytes
    // exactly as embedded.
    const unsigned int flags = CMS_BINARY | CMS_PARTIAL | CMS_NOSMIMECAP
                               | (m_detachContent ? CMS_DETACHED : 0);
    const CmsPtr cms(CMS_sign(nullptr, nullptr, nullptr, nullptr, flags));
    if (!cms)
        fail("cannot start SignedData");
    for (const SigningIdentity &signer : m_signers) {
        const X509Ptr certificate = loadCertificate(signer.certificatePem);
        const EvpPkeyPtr key = loadKey(signer.keyPem);
        if (!CMS_add1_signer(cms.get(), certificate.get(), key.get(), EVP_sha256(), flags))
            fail("cannot add signer");
    }
    if (CMS_final(cms.get(), memoryOver(content).get(), nullptr, flags) != 1)
        fail("cannot sign content");

    QByteArray der = toDer(cms.get());
    if (m_alterContent) {
        const int at = der.indexOf(content);
        if (content.isEmpty() || at < 0)
            throw std::runtime_error("content to alter not found in the SignedData");
        der[at] = char(der.at(at) ^ 0x01);
    }
    return der;
}

QString ResponseSigner::envelope(const QString &record, const QString &nonce) const
{
    ResponseEnvelope envelope;
    envelope.data = QString::fromLatin1(signedData(record.toUtf8()).toBase64());
    envelope.nonce = nonce;
    return envelope.toXml();
}
