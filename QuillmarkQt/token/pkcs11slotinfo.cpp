#include "pkcs11slotinfo.h"

#include "pkcs11text.h"

Pkcs11SlotInfo::Pkcs11SlotInfo() : m_slotId(0)
{
}

Pkcs11SlotInfo::Pkcs11SlotInfo(CK_SLOT_ID slotId, const CK_SLOT_INFO &info)
    : m_slotId(slotId),
      m_description(Pkcs11Text::fromPadded(info.slotDescription)),
      m_manufacturerId(Pkcs11Text::fromPadded(info.manufacturerID))
{
}

CK_SLOT_ID Pkcs11SlotInfo::getSlotId() const
{
    return m_slotId;
}

QString Pkcs11SlotInfo::getDescription() const
{
    return m_description;
}

QString Pkcs11SlotInfo::getManufacturerId() const
{
    return m_manufacturerId;
}
