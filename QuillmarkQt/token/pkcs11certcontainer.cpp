#include "pkcs11certcontainer.h"

Pkcs11CertContainer::Pkcs11CertContainer(const Pkcs11SlotInfo &slotInfo,
                                         const Pkcs11TokenInfo &tokenInfo, bool loggedIn,
                                         const QList<X509Certificate2Ultra> &certificates)
    : m_slotInfo(slotInfo), m_tokenInfo(tokenInfo), m_loggedIn(loggedIn),
      m_certificates(certificates)
{
}

Pkcs11SlotInfo Pkcs11CertContainer::getSlotInfo() const
{
    return m_slotInfo;
}

Pkcs11TokenInfo Pkcs11CertContainer::getTokenInfo() const
{
    return m_tokenInfo;
}

bool Pkcs11CertContainer::isLoggedIn() const
{
    return m_loggedIn;
}

QList<X509Certificate2Ultra> Pkcs11CertContainer::getCertificates() const
{
    return m_certificates;
}
