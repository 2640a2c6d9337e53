#pragma once

#include "guithreadlauncher.h"
#include "pkcs11slotinfo.h"
#include "pkcs11tokeninfo.h"

#include <QMutex>
#include <QPointer>
#include <QString>

class PinForm;

// Carries one PIN request from a worker thread to the GUI thread, where
// PinForm opens, and blocks the worker until the user has answered. One
// launcher serves one request.
class PinFormLauncher : public GuiThreadLauncher
{
    Q_OBJECT

public:
    PinFormLauncher(const Pkcs11SlotInfo &slotInfo, const Pkcs11TokenInfo &tokenInfo);
    ~PinFormLauncher() override;

    // The PIN typed: null or empty when cancelled. Only for worker threads:
    // the GUI thread cannot wait for a dialog of its own.
    QString launch();

signals:
    void launchPinFormSignal();

private slots:
    void launchPinForm();

protected:
    void dismissDialog() override;

private:
    void takePin();

    Pkcs11SlotInfo m_slotInfo;
    Pkcs11TokenInfo m_tokenInfo;
    // Written on the GUI thread when the form closes, taken by the worker.
    // A cancelled wait ends before the form is dismissed, so the worker may
    // take it while the GUI thread still writes it.
    QMutex m_pinMutex;
    QString m_pin;
    QPointer<PinForm> m_form;
};
