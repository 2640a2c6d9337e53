#pragma once

#include <p11-kit/pkcs11.h>

#include <QByteArray>

#include <vector>

// An attribute template whose values live as long as the template, built in
// the order the attributes are added.
class Pkcs11Template
{
public:
    // Token objects of class CKO_CERTIFICATE and type CKC_X_509.
    static Pkcs11Template x509Certificates();

    Pkcs11Template &add(CK_ATTRIBUTE_TYPE type, const QByteArray &value);
    Pkcs11Template &addBool(CK_ATTRIBUTE_TYPE type, bool value);
    Pkcs11Template &addUlong(CK_ATTRIBUTE_TYPE type, CK_ULONG value);

    CK_ATTRIBUTE_PTR attributes();
    CK_ULONG count() const;

private:
    std::vector<QByteArray> m_values;
    std::vector<CK_ATTRIBUTE> m_attributes;
};
