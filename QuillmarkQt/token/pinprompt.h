#pragma once

#include "pkcs11slotinfo.h"
#include "pkcs11tokeninfo.h"

#include <QString>

// How the token layer, which knows no windows and runs on a worker thread,
// asks the person for a PIN and tells them it was wrong. The windows supply
// the implementation; tests supply a plain one.
class PinPrompt
{
public:
    virtual ~PinPrompt() = default;

    // The PIN typed for the token, or an empty text when the person
    // cancelled or nobody may be asked any more. Blocks until answered.
    virtual QString askForPin(const Pkcs11SlotInfo &slotInfo, const Pkcs11TokenInfo &tokenInfo) = 0;
    // Blocks until the person has read why the token refused the PIN
    // (a translated text); the PIN is asked again afterwards.
    virtual void reportPinRefused(const QString &message) = 0;
    // True once the work that asks has been given up (the window closed,
    // the page ended it): no further PIN is asked for.
    virtual bool isWithdrawn() const = 0;
    // Gives the work up, from the thread that started it: a question that
    // waits is answered as cancelled.
    virtual void withdraw() = 0;
};
