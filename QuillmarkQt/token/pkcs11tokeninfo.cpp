#include "pkcs11tokeninfo.h"

#include "pkcs11text.h"

Pkcs11TokenInfo::Pkcs11TokenInfo() : m_protectedAuthenticationPath(false)
{
}

Pkcs11TokenInfo::Pkcs11TokenInfo(const CK_TOKEN_INFO &info)
    : m_manufacturerId(Pkcs11Text::fromPadded(info.manufacturerID)),
      m_model(Pkcs11Text::fromPadded(info.model)),
      m_serialNumber(Pkcs11Text::fromPadded(info.serialNumber)),
      m_label(Pkcs11Text::fromPadded(info.label)),
      m_protectedAuthenticationPath((info.flags & CKF_PROTECTED_AUTHENTICATION_PATH) != 0)
{
}

QString Pkcs11TokenInfo::getManufacturerId() const
{
    return m_manufacturerId;
}

QString Pkcs11TokenInfo::getModel() const
{
    return m_model;
}

QString Pkcs11TokenInfo::getSerialNumber() const
{
    return m_serialNumber;
}

QString Pkcs11TokenInfo::getLabel() const
{
    return m_label;
}

bool Pkcs11TokenInfo::hasProtectedAuthenticationPath() const
{
    return m_protectedAuthenticationPath;
}
