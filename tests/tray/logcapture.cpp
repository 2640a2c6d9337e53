#include "logcapture.h"

#include <QMutex>
#include <QMutexLocker>

namespace {

QMutex mutex;
QStringList captured;

void capture(QtMsgType, const QMessageLogContext &, const QString &message)
{
    QMutexLocker locker(&mutex);
    captured.append(message);
}

} // namespace

void LogCapture::install()
{
    qInstallMessageHandler(&capture);
}

void LogCapture::clear()
{
    QMutexLocker locker(&mutex);
    captured.clear();
}

QStringList LogCapture::messages()
{
    QMutexLocker locker(&mutex);
    return captured;
}

int LogCapture::count(const QString &text)
{
    int found = 0;
    for (const QString &message : messages())
        found += message.contains(text) ? 1 : 0;
    return found;
}

bool LogCapture::contains(const QString &text)
{
    return count(text) > 0;
}
