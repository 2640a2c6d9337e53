#include "pinformlauncher.h"

#include "closingflag.h"
#include "pinform.h"

#include <QMutexLocker>
#include <QtDebug>

#include <utility>

PinFormLauncher::PinFormLauncher(const Pkcs11SlotInfo &slotInfo,
                                 const Pkcs11TokenInfo &tokenInfo)
    : m_slotInfo(slotInfo), m_tokenInfo(tokenInfo)
{
    connect(this, &PinFormLauncher::launchPinFormSignal, this, &PinFormLauncher::launchPinForm,
            Qt::QueuedConnection);
}

PinFormLauncher::~PinFormLauncher()
{
    // Deleted on the GUI thread after the worker let go; the worker's last
    // touch of the PIN was under the lock, so taking it orders the two for
    // any checker that cannot see inside Qt's event queue. Held only briefly.
    const QMutexLocker lock(&m_pinMutex);
}

QString PinFormLauncher::launch()
{
    if (onGuiThread()) {
        qWarning() << "PIN asked for on the GUI thread; treated as cancelled";
        return QString();
    }
    prepareWait();
    emit launchPinFormSignal();
    waitUntilDone();
    QMutexLocker lock(&m_pinMutex);
    return std::exchange(m_pin, QString());
}

void PinFormLauncher::launchPinForm()
{
    // The request may arrive after the component began to close, when
    // nothing would dismiss a dialog opened now.
    if (ClosingFlag::isRaised() || isCancelled()) {
        markDone();
        return;
    }
    m_form = PinForm::open(m_slotInfo, m_tokenInfo);
    connect(m_form, &QDialog::finished, this, &PinFormLauncher::takePin);
    // Deleted from outside (with a parent window) without an answer.
    connect(m_form, &QObject::destroyed, this, &PinFormLauncher::markDone);
}

void PinFormLauncher::takePin()
{
    {
        QMutexLocker lock(&m_pinMutex);
        m_pin = m_form->takePin();
    }
    m_form->deleteLater();
    markDone();
}

void PinFormLauncher::dismissDialog()
{
    if (m_form)
        m_form->reject();
}
