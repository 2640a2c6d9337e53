#include "pinformlauncher.h"

#include "closingflag.h"
#include "pinform.h"

#include <utility>

PinFormLauncher::PinFormLauncher(const Pkcs11SlotInfo &slotInfo,
                                 const Pkcs11TokenInfo &tokenInfo)
    : m_slotInfo(slotInfo), m_tokenInfo(tokenInfo)
{
    connect(this, &PinFormLauncher::launchPinFormSignal, this, &PinFormLauncher::launchPinForm,
            Qt::QueuedConnection);
}

QString PinFormLauncher::launch()
{
    if (onGuiThread())
        return PinForm::needPin(m_slotInfo, m_tokenInfo);
    prepareWait();
    emit launchPinFormSignal();
    waitUntilDone();
    return std::exchange(m_pin, QString());
}

void PinFormLauncher::launchPinForm()
{
    // The request may arrive after the component began to close, when
    // nothing would dismiss a dialog opened now.
    if (!ClosingFlag::isRaised())
        m_pin = PinForm::needPin(m_slotInfo, m_tokenInfo);
    markDone();
}
