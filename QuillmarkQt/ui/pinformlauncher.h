#pragma once

#include "guithreadlauncher.h"
#include "pkcs11slotinfo.h"
#include "pkcs11tokeninfo.h"

#include <QString>

// Carries one PIN request from a worker thread to the GUI thread, where
// PinForm runs, and blocks the worker until the user has answered. One
// launcher serves one request.
class PinFormLauncher : public GuiThreadLauncher
{
    Q_OBJECT

public:
    PinFormLauncher(const Pkcs11SlotInfo &slotInfo, const Pkcs11TokenInfo &tokenInfo);

    // The PIN as PinForm::needPin gives it: null or empty when cancelled.
    QString launch();

signals:
    void launchPinFormSignal();

private slots:
    void launchPinForm();

private:
    Pkcs11SlotInfo m_slotInfo;
    Pkcs11TokenInfo m_tokenInfo;
    // Written on the GUI thread before the launcher is marked done, read by
    // the worker only after that.
    QString m_pin;
};
