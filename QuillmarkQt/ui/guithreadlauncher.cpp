#include "guithreadlauncher.h"

#include <QCoreApplication>
#include <QFutureWatcherBase>
#include <QMutexLocker>
#include <QThread>

namespace {

constexpr unsigned long pollIntervalMilliseconds = 100;

} // namespace

GuiThreadLauncher::GuiThreadLauncher()
{
    moveToThread(QCoreApplication::instance()->thread());
}

void GuiThreadLauncher::serveUntilFinished(const QFutureWatcherBase &watcher)
{
    while (watcher.isRunning()) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
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
    while (!m_done)
        m_doneChanged.wait(&m_mutex, pollIntervalMilliseconds);
    m_done = false;
}

void GuiThreadLauncher::markDone()
{
    QMutexLocker lock(&m_mutex);
    m_done = true;
    m_doneChanged.wakeAll();
}
