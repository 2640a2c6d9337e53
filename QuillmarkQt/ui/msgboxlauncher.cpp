#include "msgboxlauncher.h"

#include "appexception.h"
#include "msgbox.h"

MsgBoxLauncher::MsgBoxLauncher(QWidget *parent) : m_parent(parent)
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

void MsgBoxLauncher::launchError(const QString &caption, const QString &message)
{
    MsgBox::showError(m_parent, caption, message);
    markDone();
}

void MsgBoxLauncher::launchErrorWithDetails(const QString &caption, const QString &message,
                                            const QString &details)
{
    MsgBox::showErrorWithDetail(m_parent, caption, message, details);
    markDone();
}
