#include "guithreadlauncher.h"

#include <QCoreApplication>
#include <QMutexLocker>
#include <QThread>

namespace {

constexpr unsigned long pollIntervalMilliseconds = 100;

} // namespace

GuiThreadLauncher::GuiThreadLauncher()
{
    moveToThread(QCoreApplication::instance()->thread());
}

void GuiThreadLauncher::cancel()
{
    markCancelled();
    dismissDialog();
    markDone();
}

void GuiThreadLauncher::markCancelled()
{
    QMutexLocker lock(&m_mutex);
    m_cancelled = true;
    m_doneChanged.wakeAll();
}

bool GuiThreadLauncher::isCancelled() const
{
    QMutexLocker lock(&m_mutex);
    return m_cancelled;
}

bool GuiThreadLauncher::onGuiThread()
{
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

void GuiThreadLauncher::prepareWait()
{
    if (onGuiThread())
        return;
    QMutexLocker lock(&m_mutex);
    m_done = false;
}

void GuiThreadLauncher::waitUntilDone()
{
    if (onGuiThread())
        return;
    // Woken the moment the dialog closes; a signing run should not sit out
    // the rest of a pause after the user has typed the PIN.
    QMutexLocker lock(&m_mutex);
    while (!m_done && !m_cancelled)
        m_doneChanged.wait(&m_mutex, pollIntervalMilliseconds);
    m_done = false;
}

void GuiThreadLauncher::markDone()
{
    QMutexLocker lock(&m_mutex);
    m_done = true;
    m_doneChanged.wakeAll();
}
