#pragma once

#include "pkcs11certstore.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Which certificate the user signs with: module, token and the certificate
// itself. The web page stores it as the one-line XML text of serialize().
class Configuration
{
public:
    QString serialize() const;
    // Lenient: unknown elements are skipped, and whatever was read before
    // malformed input is kept.
    static Configuration deserialize(const QString &text);

    bool isCspConfiguration() const;
    bool isPkcs11Configuration() const;
    bool isValid() const;
    // A valid PKCS#11 configuration that one of the stores offers and whose
    // module the ModuleTrust of the first such store trusts.
    bool isAvailableIn(const QList<Pkcs11CertStore> &stores) const;

    QString getCspStoreLocation() const;
    void setCspStoreLocation(const QString &value);
    QString getCspStoreName() const;
    void setCspStoreName(const QString &value);
    QString getPkcs11Library() const;
    void setPkcs11Library(const QString &value);
    QString getPkcs11TokenLabel() const;
    void setPkcs11TokenLabel(const QString &value);
    QString getPkcs11TokenSerial() const;
    void setPkcs11TokenSerial(const QString &value);
    QByteArray getSigningCertificate() const;
    void setSigningCertificate(const QByteArray &der);

    bool operator==(const Configuration &other) const;
    bool operator!=(const Configuration &other) const;

private:
    QString m_cspStoreLocation;
    QString m_cspStoreName;
    QString m_pkcs11Library;
    QString m_pkcs11TokenLabel;
    QString m_pkcs11TokenSerial;
    QByteArray m_signingCertificate;
};
