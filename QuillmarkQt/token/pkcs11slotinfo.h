#pragma once

#include <p11-kit/pkcs11.h>

#include <QString>

// The slot fields that the program shows and matches on, with the module's
// blank padding removed.
class Pkcs11SlotInfo
{
public:
    Pkcs11SlotInfo();
    Pkcs11SlotInfo(CK_SLOT_ID slotId, const CK_SLOT_INFO &info);

    CK_SLOT_ID getSlotId() const;
    QString getDescription() const;
    QString getManufacturerId() const;

private:
    CK_SLOT_ID m_slotId;
    QString m_description;
    QString m_manufacturerId;
};
