#pragma once

#include "pinprompt.h"

#include <QMutex>

#include <atomic>

class GuiThreadLauncher;

// The token layer's PIN prompt in the windows: the PIN dialog and the box
// that says why a PIN was refused, opened on the GUI thread for a worker
// that waits. Shared by the window that starts a token task and the task
// itself; the window withdraws it when it gives the task up, which also
// cancels the dialog or box the task is waiting for.
class PinFormPrompt : public PinPrompt
{
public:
    QString askForPin(const Pkcs11SlotInfo &slotInfo, const Pkcs11TokenInfo &tokenInfo) override;
    void reportPinRefused(const QString &message) override;
    bool isWithdrawn() const override;
    void withdraw() override;

private:
    // Runs one launcher request, known to withdraw() while it waits.
    template <typename Launcher, typename Request>
    auto wait(Launcher *launcher, Request request);

    std::atomic_bool m_withdrawn{false};
    QMutex m_mutex;
    GuiThreadLauncher *m_waitingOn = nullptr;
};
