#include "msgboxlauncher.h"

#include "appexception.h"
#include "msgbox.h"

MsgBoxLauncher::MsgBoxLauncher()
{
    connect(this, &MsgBoxLauncher::launchErrorSignal, this, &MsgBoxLauncher::launchError,
            Qt::QueuedConnection);
    connect(this, &MsgBoxLauncher::launchErrorWithDetailsSignal, this,
            &MsgBoxLauncher::launchErrorWithDetails, Qt::QueuedConnection);
}

void MsgBoxLauncher::showError(const QString &caption, const QString &message)
{
    prepareWait();
    emit launchErrorSignal(caption, message);
    waitUntilDone();
}

void MsgBoxLauncher::showErrorWithDetails(const QString &caption, const QString &message,
                                          const QString &details)
{
    prepareWait();
    emit launchErrorWithDetailsSignal(caption, message, details);
    waitUntilDone();
}

void MsgBoxLauncher::showError(const QString &caption, const AppException &e)
{
    if (MsgBox::showsMessageAlone(e))
        showError(caption, e.message());
    else
        showErrorWithDetails(caption, QObject::tr("GeneralExceptionMessage"), e.toString(true));
}

// The box may wait behind another or not be shown at all; the caller is
// released once it has gone.
void MsgBoxLauncher::launchError(const QString &caption, const QString &message)
{
    if (isCancelled())
        return;
    m_box = MsgBox::showError(nullptr, caption, message, releaseWhenClosed());
}

void MsgBoxLauncher::launchErrorWithDetails(const QString &caption, const QString &message,
                                            const QString &details)
{
    if (isCancelled())
        return;
    m_box = MsgBox::showErrorWithDetail(nullptr, caption, message, details, releaseWhenClosed());
}

MsgBox::Continuation MsgBoxLauncher::releaseWhenClosed()
{
    // The launcher may be gone by the time a waiting box is closed: a
    // cancelled caller does not wait for it.
    return [self = QPointer<MsgBoxLauncher>(this)] {
        if (self)
            self->markDone();
    };
}

void MsgBoxLauncher::dismissDialog()
{
    if (m_box)
        m_box->reject();
}

