#include "guithreadlauncher.h"

#include <QCoreApplication>
#include <QFutureWatcherBase>
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
    if (!onGuiThread())
        m_done = false;
}

void GuiThreadLauncher::waitUntilDone()
{
    if (onGuiThread())
        return;
    while (!m_done.load())
        QThread::msleep(pollIntervalMilliseconds);
    m_done = false;
}

void GuiThreadLauncher::markDone()
{
    m_done = true;
}
