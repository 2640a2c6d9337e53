#include "dgst.h"

#include "digestverifier.h"
#include "opensslerrors.h"
#include "releasepublickey.h"

#include <QtDebug>

#include <openssl/pem.h>

QByteArray dgst::releasePublicKey()
{
    return QByteArray(releasePublicKeyPem);
}

dgst::dgst(const QByteArray &publicKeyPem)
    : m_publicKeyPem(publicKeyPem)
{
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

std::unique_ptr<DigestVerifier> dgst::startVerification() const
{
    qDebug() << "Signature verification started";
    EvpPkeyPtr key = getCdnPublicKey();
    if (!key)
        return nullptr;
    auto verifier = std::make_unique<DigestVerifier>(std::move(key));
    return verifier->isValid() ? std::move(verifier) : nullptr;
}

bool dgst::verify(const QByteArray &data, const QByteArray &signature) const
{
    const std::unique_ptr<DigestVerifier> verifier = startVerification();
    return verifier && verifier->update(data.constData(), data.size()) && verifier->finish(signature);
}
