#include "pkcs11signaturegenerator.h"

#include "appexception.h"
#include "functionlog.h"
#include "opensslpointers.h"
#include "pkcs11library.h"
#include "pkcs11session.h"
#include "pkcs11template.h"
#include "recoverable.h"

#include <QObject>

#include <openssl/err.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <iterator>

namespace {

struct DigestAlgorithm
{
    const char *oid;
    int nid;
    int hashLength;
    const char *name;
    // DER of DigestInfo up to the hash value (RFC 8017, 9.2, note 1).
    const char *prefixHex;
};

const DigestAlgorithm digestAlgorithms[] = {
    {"1.3.14.3.2.26", NID_sha1, 20, "SHA1", "3021300906052b0e03021a05000414"},
    {"2.16.840.1.101.3.4.2.1", NID_sha256, 32, "SHA256", "3031300d060960864801650304020105000420"},
    {"2.16.840.1.101.3.4.2.2", NID_sha384, 48, "SHA384", "3041300d060960864801650304020205000430"},
    {"2.16.840.1.101.3.4.2.3", NID_sha512, 64, "SHA512", "3051300d060960864801650304020305000440"},
};

template<typename Matches>
const DigestAlgorithm *findAlgorithm(Matches matches)
{
    const auto found = std::find_if(std::begin(digestAlgorithms), std::end(digestAlgorithms), matches);
    return found != std::end(digestAlgorithms) ? &*found : nullptr;
}

[[noreturn]] void throwAlgorithmNotSupported()
{
    throw AppException(QObject::tr("AlgorithmNotSupported").arg(QStringLiteral("digest")),
                       APP_LOCATION, true);
}

[[noreturn]] void throwSigningCertificateUnavailable()
{
    throw AppException(QObject::tr("SigningCertificateUnavailable"), APP_LOCATION, true);
}

[[noreturn]] void throwUnsupportedPrivateKey()
{
    throw AppException(QObject::tr("UnsupportedPrivateKey"), APP_LOCATION, true);
}

using EvpPkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, OpenSslDeleter<EVP_PKEY_CTX_free>>;

// PKCS #1 v1.5 for RSA (the DigestInfo is rebuilt from nid and compared
// whole), plain ECDSA over the hash for EC keys.
bool verifyWithKey(EVP_PKEY *key, int expectedKeyId, const EVP_MD *digest,
                   const QByteArray &signature, const QByteArray &hash)
{
    if (EVP_PKEY_get_base_id(key) != expectedKeyId)
        return false;
    EvpPkeyCtxPtr context(EVP_PKEY_CTX_new(key, nullptr));
    if (!context || EVP_PKEY_verify_init(context.get()) != 1)
        return false;
    if (digest
        && (EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) != 1
            || EVP_PKEY_CTX_set_signature_md(context.get(), digest) != 1))
        return false;
    return EVP_PKEY_verify(context.get(), reinterpret_cast<const unsigned char *>(signature.constData()),
                           static_cast<size_t>(signature.size()),
                           reinterpret_cast<const unsigned char *>(hash.constData()),
                           static_cast<size_t>(hash.size()))
           == 1;
}

} // namespace

Pkcs11SignatureGenerator::Pkcs11SignatureGenerator(const QString &libraryPath,
                                                   const QString &tokenLabel,
                                                   const QString &tokenSerial,
                                                   const QByteArray &certificateDer,
                                                   const ModuleTrust &trust, PinPrompt &pinPrompt)
    : m_libraryPath(libraryPath), m_tokenLabel(tokenLabel), m_tokenSerial(tokenSerial),
      m_certificate(certificateDer, QSsl::Der), m_certificateDer(certificateDer),
      m_library(std::make_unique<Pkcs11Library>(libraryPath, trust, pinPrompt))
{
}

Pkcs11SignatureGenerator::~Pkcs11SignatureGenerator() = default;

QByteArray Pkcs11SignatureGenerator::signHash(const QByteArray &hash, const QString &hashOid) const
{
    LOG_FUNCTION_START();
    CK_SLOT_ID slot = 0;
    if (!findSlot(m_tokenLabel, m_tokenSerial, slot))
        throwSigningCertificateUnavailable();
    const Pkcs11SlotInfo slotInfo = m_library->getSlotInfo(slot);
    const Pkcs11TokenInfo tokenInfo = m_library->getTokenInfo(slot);
    Pkcs11Session session(*m_library, slot);
    session.login(slotInfo, tokenInfo, true);

    const CK_OBJECT_HANDLE key = findPrivateKey(session.handle(), m_certificateDer);
    if (key == CK_INVALID_HANDLE)
        throwSigningCertificateUnavailable();
    const bool alwaysAuthenticate = getCkaAlwaysAuthenticateValue(session.handle(), key);
    const int nid = hashOidToNID(hashOid);
    if (getCkaKeyTypeValue(session.handle(), key) != CKK_RSA)
        throwUnsupportedPrivateKey();
    CK_MECHANISM mechanism{CKM_RSA_PKCS, nullptr, 0};
    const QByteArray signature =
        m_library->signHash(session.handle(), key, &mechanism, createPkcs1DigestInfo(hash, nid),
                            alwaysAuthenticate, slotInfo, tokenInfo);
    if (!verifyHash(signature, hash, nid, CKK_RSA))
        throw AppException(QObject::tr("SignedHashMismatch"), APP_LOCATION, true);
    session.close();
    return signature;
}

bool Pkcs11SignatureGenerator::findSlot(const QString &label, const QString &serial,
                                        CK_SLOT_ID &slot) const
{
    for (unsigned long candidate : m_library->getSlots()) {
        bool matches = false;
        Recoverable::attempt([&]() {
            const Pkcs11TokenInfo tokenInfo = m_library->getTokenInfo(candidate);
            matches = tokenInfo.getLabel() == label && tokenInfo.getSerialNumber() == serial;
        });
        if (matches) {
            slot = candidate;
            return true;
        }
    }
    qDebug("Matching slot not found");
    return false;
}

CK_OBJECT_HANDLE Pkcs11SignatureGenerator::findPrivateKey(CK_SESSION_HANDLE session,
                                                          const QByteArray &certificateDer) const
{
    Pkcs11Template certificateSearch = Pkcs11Template::x509Certificates();
    certificateSearch.add(CKA_VALUE, certificateDer);
    const QList<unsigned long> certificates =
        m_library->findObjects(session, certificateSearch.attributes(), certificateSearch.count());
    if (certificates.isEmpty()) {
        qDebug("Matching certificate not found");
        return CK_INVALID_HANDLE;
    }
    for (unsigned long certificate : certificates) {
        Pkcs11Template keySearch;
        keySearch.addBool(CKA_TOKEN, true)
            .addUlong(CKA_CLASS, CKO_PRIVATE_KEY)
            .add(CKA_ID, m_library->getAttributeValue(session, certificate, CKA_ID));
        const QList<unsigned long> keys =
            m_library->findObjects(session, keySearch.attributes(), keySearch.count());
        if (keys.isEmpty()) {
            qDebug("Matching private key not found");
            continue;
        }
        if (keys.size() > 1)
            qDebug("More than one matching private key found");
        return keys.first();
    }
    qDebug("Matching private key not found");
    return CK_INVALID_HANDLE;
}

bool Pkcs11SignatureGenerator::getCkaAlwaysAuthenticateValue(CK_SESSION_HANDLE session,
                                                             CK_OBJECT_HANDLE key) const
{
    QByteArray value;
    Recoverable::attempt(
        [&]() { value = m_library->getAttributeValue(session, key, CKA_ALWAYS_AUTHENTICATE); });
    return value.size() == 1 && static_cast<CK_BBOOL>(value.at(0)) == CK_TRUE;
}

CK_KEY_TYPE Pkcs11SignatureGenerator::getCkaKeyTypeValue(CK_SESSION_HANDLE session,
                                                         CK_OBJECT_HANDLE key) const
{
    QByteArray value;
    Recoverable::attempt([&]() { value = m_library->getAttributeValue(session, key, CKA_KEY_TYPE); });
    CK_KEY_TYPE keyType = CKK_RSA;
    if (value.size() == static_cast<int>(sizeof keyType))
        std::copy(value.constBegin(), value.constEnd(), reinterpret_cast<char *>(&keyType));
    return keyType;
}

int Pkcs11SignatureGenerator::hashOidToNID(const QString &hashOid)
{
    const DigestAlgorithm *algorithm = findAlgorithm(
        [&hashOid](const DigestAlgorithm &entry) { return hashOid == QLatin1String(entry.oid); });
    if (!algorithm)
        throwAlgorithmNotSupported();
    return algorithm->nid;
}

QByteArray Pkcs11SignatureGenerator::createPkcs1DigestInfo(const QByteArray &hash, int nid)
{
    const DigestAlgorithm *algorithm =
        findAlgorithm([nid](const DigestAlgorithm &entry) { return entry.nid == nid; });
    if (!algorithm)
        throwAlgorithmNotSupported();
    if (hash.size() != algorithm->hashLength) {
        throw AppException(QObject::tr("InvalidLengthOfHash").arg(QLatin1String(algorithm->name)),
                           APP_LOCATION, true);
    }
    return QByteArray::fromHex(algorithm->prefixHex) + hash;
}

bool Pkcs11SignatureGenerator::verifyHash(const QByteArray &signature, const QByteArray &hash,
                                          int nid, CK_KEY_TYPE keyType) const
{
    if (keyType != CKK_RSA && keyType != CKK_EC)
        throwUnsupportedPrivateKey();
    const X509Ptr certificate = m_certificate.toX509();
    EVP_PKEY *publicKey = certificate ? X509_get0_pubkey(certificate.get()) : nullptr;
    const bool verified =
        publicKey
        && (keyType == CKK_RSA
                ? verifyWithKey(publicKey, EVP_PKEY_RSA, EVP_get_digestbynid(nid), signature, hash)
                : verifyWithKey(publicKey, EVP_PKEY_EC, nullptr, signature, hash));
    ERR_clear_error();
    return verified;
}
