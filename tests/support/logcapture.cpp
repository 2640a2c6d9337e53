#include "logcapture.h"

#include <atomic>

namespace {
std::atomic<LogCapture *> activeCapture{nullptr};
}

LogCapture::LogCapture()
{
    activeCapture = this;
    m_previous = qInstallMessageHandler(&LogCapture::handle);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(m_previous);
    activeCapture = nullptr;
}

QStringList LogCapture::messages() const
{
    QMutexLocker locker(&m_mutex);
    return m_messages;
}

QStringList LogCapture::messagesStartingWith(const QString &prefix) const
{
    QStringList matching;
    for (const QString &message : messages()) {
        if (message.startsWith(prefix))
            matching.append(message);
    }
    return matching;
}

int LogCapture::count(const QString &text) const
{
    int found = 0;
    for (const QString &message : messages())
        found += message.contains(text) ? 1 : 0;
    return found;
}

bool LogCapture::contains(const QString &text) const
{
    return count(text) > 0;
}

void LogCapture::clear()
{
    QMutexLocker locker(&m_mutex);
    m_messages.clear();
}

void LogCapture::handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    LogCapture *capture = activeCapture.load();
    if (!capture)
        return;
    {
        QMutexLocker locker(&capture->m_mutex);
        capture->m_messages.append(message);
    }
    if (type != QtDebugMsg && capture->m_previous)
        capture->m_previous(type, context, message);
}
