#pragma once

#include "pkcs11slotinfo.h"
#include "pkcs11tokeninfo.h"
#include "x509certificate2ultra.h"

#include <QList>

// One token as a certificate listing found it: where it sits, whether the
// listing logged in to it, and every X.509 certificate it showed.
class Pkcs11CertContainer
{
public:
    Pkcs11CertContainer(const Pkcs11SlotInfo &slotInfo, const Pkcs11TokenInfo &tokenInfo,
                        bool loggedIn, const QList<X509Certificate2Ultra> &certificates);

    Pkcs11SlotInfo getSlotInfo() const;
    Pkcs11TokenInfo getTokenInfo() const;
    bool isLoggedIn() const;
    QList<X509Certificate2Ultra> getCertificates() const;

private:
    Pkcs11SlotInfo m_slotInfo;
    Pkcs11TokenInfo m_tokenInfo;
    bool m_loggedIn;
    QList<X509Certificate2Ultra> m_certificates;
};
