#include "pkcs11template.h"

Pkcs11Template Pkcs11Template::x509Certificates()
{
    Pkcs11Template search;
    search.addBool(CKA_TOKEN, true)
        .addUlong(CKA_CLASS, CKO_CERTIFICATE)
        .addUlong(CKA_CERTIFICATE_TYPE, CKC_X_509);
    return search;
}

Pkcs11Template &Pkcs11Template::add(CK_ATTRIBUTE_TYPE type, const QByteArray &value)
{
    m_values.push_back(value);
    m_attributes.push_back({type, nullptr, static_cast<CK_ULONG>(value.size())});
    return *this;
}

Pkcs11Template &Pkcs11Template::addBool(CK_ATTRIBUTE_TYPE type, bool value)
{
    const CK_BBOOL flag = value ? CK_TRUE : CK_FALSE;
    return add(type, QByteArray(reinterpret_cast<const char *>(&flag), sizeof flag));
}

Pkcs11Template &Pkcs11Template::addUlong(CK_ATTRIBUTE_TYPE type, CK_ULONG value)
{
    return add(type, QByteArray(reinterpret_cast<const char *>(&value), sizeof value));
}

CK_ATTRIBUTE_PTR Pkcs11Template::attributes()
{
    // Pointers are taken only now: the values may have moved while the
    // template grew.
    for (size_t i = 0; i < m_attributes.size(); ++i)
        m_attributes[i].pValue = m_values[i].data();
    return m_attributes.data();
}

CK_ULONG Pkcs11Template::count() const
{
    return static_cast<CK_ULONG>(m_attributes.size());
}
