#include "pinformprompt.h"

#include "closingflag.h"
#include "guithreadlauncher.h"
#include "msgboxlauncher.h"
#include "pinformlauncher.h"

#include <QObject>

#include <memory>

QString PinFormPrompt::askForPin(const Pkcs11SlotInfo &slotInfo, const Pkcs11TokenInfo &tokenInfo)
{
    if (isWithdrawn())
        return QString();
    std::unique_ptr<PinFormLauncher, GuiThreadLauncher::DeleteLater> launcher(
        new PinFormLauncher(slotInfo, tokenInfo));
    return launcher->launch();
}

void PinFormPrompt::reportPinIncorrect()
{
    if (isWithdrawn())
        return;
    // Without a parent: the active window belongs to the GUI thread and is
    // not to be read from the worker that gets here. On the GUI thread the
    // box opens only once the event loop runs, so the launcher must outlive
    // this call.
    std::unique_ptr<MsgBoxLauncher, GuiThreadLauncher::DeleteLater> launcher(new MsgBoxLauncher(nullptr));
    launcher->showError(QObject::tr("AppName"), QObject::tr("PinIncorrect"));
}

bool PinFormPrompt::isWithdrawn() const
{
    return m_withdrawn || ClosingFlag::isRaised();
}

void PinFormPrompt::withdraw()
{
    m_withdrawn = true;
}
