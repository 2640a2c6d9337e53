#pragma once

#include "pinprompt.h"

#include <atomic>

// The token layer's PIN prompt in the windows: the PIN dialog and the
// "wrong PIN" box, opened on the GUI thread for a worker that waits. Shared by
// the window that starts a token task and the task itself; the window
// withdraws it when it gives the task up.
class PinFormPrompt : public PinPrompt
{
public:
    QString askForPin(const Pkcs11SlotInfo &slotInfo, const Pkcs11TokenInfo &tokenInfo) override;
    void reportPinIncorrect() override;
    bool isWithdrawn() const override;

    void withdraw();

private:
    std::atomic_bool m_withdrawn{false};
};
