#pragma once

#include <p11-kit/pkcs11.h>

#include <QString>

// The token fields that the program shows and matches on, with the module's
// blank padding removed. PIN-state flags are deliberately not kept: only the
// result of C_Login tells the PIN state.
class Pkcs11TokenInfo
{
public:
    Pkcs11TokenInfo();
    explicit Pkcs11TokenInfo(const CK_TOKEN_INFO &info);

    QString getManufacturerId() const;
    QString getModel() const;
    QString getSerialNumber() const;
    QString getLabel() const;
    bool hasProtectedAuthenticationPath() const;

private:
    QString m_manufacturerId;
    QString m_model;
    QString m_serialNumber;
    QString m_label;
    bool m_protectedAuthenticationPath;
};
