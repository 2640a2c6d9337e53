#include "releasesigner.h"

#include "fixturepaths.h"
#include "opensslpointers.h"

#include <QFile>

#include <openssl/err.h>
#include <openssl/pem.h>

struct ReleaseSigner::Key
{
    EvpPkeyPtr key;
};

QString ReleaseSigner::developmentKeyPath()
{
    return QStringLiteral(QUILLMARK_RELEASEKEY_DIR "/development-only-private-key.pem");
}

ReleaseSigner::ReleaseSigner(const QString &privateKeyPath)
    : m_key(std::make_unique<Key>())
{
    QFile file(privateKeyPath);
    if (!file.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("cannot read %1: %2").arg(privateKeyPath, file.errorString());
        return;
    }
    const QByteArray pem = file.readAll();
    BioPtr bio(BIO_new_mem_buf(pem.constData(), pem.size()));
    if (bio)
        m_key->key.reset(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
    if (!m_key->key)
        m_error = QStringLiteral("no private key in %1").arg(privateKeyPath);
    ERR_clear_error();
}

ReleaseSigner::~ReleaseSigner() = default;

bool ReleaseSigner::isValid() const
{
    return static_cast<bool>(m_key->key);
}

QString ReleaseSigner::errorString() const
{
    return m_error;
}

QByteArray ReleaseSigner::signature(const QByteArray &data) const
{
    if (!isValid())
        return QByteArray();
    const EvpMdCtxPtr context(EVP_MD_CTX_new());
    size_t length = 0;
    if (!context
        || EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, m_key->key.get()) != 1
        || EVP_DigestSign(context.get(), nullptr, &length,
                          reinterpret_cast<const unsigned char *>(data.constData()),
                          static_cast<size_t>(data.size()))
               != 1) {
        ERR_clear_error();
        return QByteArray();
    }
    QByteArray signature(static_cast<int>(length), '\0');
    if (EVP_DigestSign(context.get(), reinterpret_cast<unsigned char *>(signature.data()), &length,
                       reinterpret_cast<const unsigned char *>(data.constData()),
                       static_cast<size_t>(data.size()))
        != 1) {
        ERR_clear_error();
        return QByteArray();
    }
    signature.resize(static_cast<int>(length));
    return signature;
}

QByteArray ReleaseSigner::signatureHex(const QByteArray &data) const
{
    return signature(data).toHex();
}

bool ReleaseSigner::signFile(const QString &path) const
{
    QFile input(path);
    if (!input.open(QIODevice::ReadOnly))
        return false;
    const QByteArray hex = signatureHex(input.readAll());
    if (hex.isEmpty())
        return false;
    QFile output(path + QStringLiteral(".sig"));
    return output.open(QIODevice::WriteOnly | QIODevice::Truncate) && output.write(hex) == hex.size();
}
