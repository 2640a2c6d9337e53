#include "digestverifier.h"

#include "opensslerrors.h"

#include <QtDebug>

#include <openssl/err.h>

DigestVerifier::DigestVerifier(EvpPkeyPtr key)
    : m_key(std::move(key))
    , m_context(EVP_MD_CTX_new())
{
    if (!m_context) {
        qCritical().noquote()
            << QStringLiteral("Unable to initialize digest context: %1").arg(openSslErrors());
        return;
    }
    if (EVP_DigestVerifyInit(m_context.get(), nullptr, EVP_sha256(), nullptr, m_key.get()) != 1) {
        qCritical().noquote() << QStringLiteral("Unable to initialize verification context: %1")
                                     .arg(openSslErrors());
        return;
    }
    m_valid = true;
}

bool DigestVerifier::isValid() const
{
    return m_valid;
}

bool DigestVerifier::update(const char *data, qint64 size)
{
    if (!m_valid)
        return false;
    if (EVP_DigestVerifyUpdate(m_context.get(), data, static_cast<size_t>(size)) != 1) {
        qCritical().noquote() << QStringLiteral("Unable to update verification context: %1")
                                     .arg(openSslErrors());
        m_valid = false;
    }
    return m_valid;
}

bool DigestVerifier::finish(const QByteArray &signature)
{
    if (!m_valid)
        return false;
    m_valid = false;
    const int result = EVP_DigestVerifyFinal(
        m_context.get(), reinterpret_cast<const unsigned char *>(signature.constData()),
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
