#include "dgst.h"

#include "releasepublickey.h"

#include <QtDebug>

#include <openssl/err.h>
#include <openssl/pem.h>

QByteArray dgst::releasePublicKey()
{
    return QByteArray(releasePublicKeyPem);
}

dgst::dgst(const QByteArray &publicKeyPem)
    : m_publicKeyPem(publicKeyPem)
{
}

QString dgst::openSslErrors()
{
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio)
        return QString();
    ERR_print_errors(bio.get());
    char *text = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &text);
    return QString::fromUtf8(text, static_cast<int>(length));
}

EvpPkeyPtr dgst::getCdnPublicKey() const
{
    BioPtr bio(BIO_new_mem_buf(m_publicKeyPem.constData(), m_publicKeyPem.size()));
    if (!bio) {
        qCritical() << "Unable to create BIO for public key";
        return nullptr;
    }
    EvpPkeyPtr key(PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr));
    if (!key)
        qCritical().noquote() << QStringLiteral("Unable to load public key: %1").arg(openSslErrors());
    return key;
}

bool dgst::verify(const QByteArray &data, const QByteArray &signature) const
{
    qDebug() << "Signature verification started";
    const EvpPkeyPtr key = getCdnPublicKey();
    if (!key)
        return false;
    const EvpMdCtxPtr context(EVP_MD_CTX_new());
    if (!context) {
        qCritical().noquote() << QStringLiteral("Unable to initialize digest context: %1").arg(openSslErrors());
        return false;
    }
    if (EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1) {
        qCritical().noquote() << QStringLiteral("Unable to initialize verification context: %1")
                           .arg(openSslErrors());
        return false;
    }
    if (EVP_DigestVerifyUpdate(context.get(), data.constData(), static_cast<size_t>(data.size()))
        != 1) {
        qCritical().noquote() << QStringLiteral("Unable to update verification context: %1")
                           .arg(openSslErrors());
        return false;
    }
    const int result = EVP_DigestVerifyFinal(
        context.get(), reinterpret_cast<const unsigned char *>(signature.constData()),
        static_cast<size_t>(signature.size()));
    if (result == 1) {
        qDebug() << "Signature is VALID";
        return true;
    }
    if (result == 0) {
        qDebug() << "Signature is INVALID";
        ERR_clear_error();
    } else {
        qCritical().noquote() << QStringLiteral("Unable to verify signature: %1").arg(openSslErrors());
    }
    return false;
}
