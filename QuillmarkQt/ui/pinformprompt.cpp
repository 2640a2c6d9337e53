#include "pinformprompt.h"

#include "closingflag.h"
#include "guithreadlauncher.h"
#include "msgboxlauncher.h"
#include "pinformlauncher.h"

#include <QMutexLocker>
#include <QObject>
#include <QScopeGuard>

#include <memory>

template <typename Launcher, typename Request>
auto PinFormPrompt::wait(Launcher *launcher, Request request)
{
    // Released on the GUI thread, which may still have to close its dialog.
    const std::unique_ptr<Launcher, GuiThreadLauncher::DeleteLater> owner(launcher);
    {
        QMutexLocker lock(&m_mutex);
        m_waitingOn = launcher;
    }
    const auto forget = qScopeGuard([this] {
        QMutexLocker lock(&m_mutex);
        m_waitingOn = nullptr;
    });
    // Withdrawn between the check of the caller and the launcher's creation.
    if (isWithdrawn())
        launcher->markCancelled();
    return request(*launcher);
}

QString PinFormPrompt::askForPin(const Pkcs11SlotInfo &slotInfo, const Pkcs11TokenInfo &tokenInfo)
{
    if (isWithdrawn())
        return QString();
    return wait(new PinFormLauncher(slotInfo, tokenInfo),
                [](PinFormLauncher &launcher) { return launcher.launch(); });
}

void PinFormPrompt::reportPinRefused(const QString &message)
{
    if (isWithdrawn())
        return;
    wait(new MsgBoxLauncher, [&message](MsgBoxLauncher &launcher) {
        launcher.showError(QObject::tr("AppName"), message);
    });
}

bool PinFormPrompt::isWithdrawn() const
{
    return m_withdrawn || ClosingFlag::isRaised();
}

void PinFormPrompt::withdraw()
{
    m_withdrawn = true;
    QMutexLocker lock(&m_mutex);
    if (m_waitingOn)
        m_waitingOn->cancel();
}
