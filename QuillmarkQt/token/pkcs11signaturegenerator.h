#pragma once

#include "x509certificate2ultra.h"

#include <p11-kit/pkcs11.h>

#include <QByteArray>
#include <QString>

#include <memory>

class ModuleTrust;
class Pkcs11Library;
class PinPrompt;

// Signs the server's hash on the configured token with the key of the
// configured certificate (PKCS #1 v1.5 RSA over the DigestInfo), and returns
// the signature only after it verified against the certificate. Holds the
// module loaded for one signing run; the PIN prompt must outlive it.
class Pkcs11SignatureGenerator
{
public:
    Pkcs11SignatureGenerator(const QString &libraryPath, const QString &tokenLabel,
                             const QString &tokenSerial, const QByteArray &certificateDer,
                             const ModuleTrust &trust, PinPrompt &pinPrompt);
    ~Pkcs11SignatureGenerator();

    Pkcs11SignatureGenerator(const Pkcs11SignatureGenerator &) = delete;
    Pkcs11SignatureGenerator &operator=(const Pkcs11SignatureGenerator &) = delete;

    QByteArray signHash(const QByteArray &hash, const QString &hashOid) const;

    static int hashOidToNID(const QString &hashOid);
    static QByteArray createPkcs1DigestInfo(const QByteArray &hash, int nid);
    bool verifyHash(const QByteArray &signature, const QByteArray &hash, int nid,
                    CK_KEY_TYPE keyType) const;

private:
    bool findSlot(const QString &label, const QString &serial, CK_SLOT_ID &slot) const;
    CK_OBJECT_HANDLE findPrivateKey(CK_SESSION_HANDLE session, const QByteArray &certificateDer) const;
    bool getCkaAlwaysAuthenticateValue(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE key) const;
    CK_KEY_TYPE getCkaKeyTypeValue(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE key) const;

    QString m_libraryPath;
    QString m_tokenLabel;
    QString m_tokenSerial;
    X509Certificate2Ultra m_certificate;
    QByteArray m_certificateDer;
    // Last: the module is loaded once everything else is in place.
    std::unique_ptr<Pkcs11Library> m_library;
};
