#include "guithreadlauncher.h"

#include <QCoreApplication>
#include <QThread>

namespace {

constexpr unsigned long pollIntervalMilliseconds = 100;

} // namespace

GuiThreadLauncher::GuiThreadLauncher()
{
    moveToThread(QCoreApplication::instance()->thread());
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
