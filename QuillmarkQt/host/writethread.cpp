#include "writethread.h"

#include <QMutexLocker>
#include <QtDebug>

namespace {

constexpr unsigned long queueWaitMilliseconds = 10;

} // namespace

WriteThread::WriteThread(int descriptor, QObject *parent) : QThread(parent)
{
    m_output.open(descriptor, QIODevice::WriteOnly | QIODevice::Unbuffered,
                  QFileDevice::DontCloseHandle);
}

void WriteThread::write(const QJsonDocument &document)
{
    QMutexLocker locker(&m_mutex);
    m_queue.append(document);
    m_queued.wakeOne();
}

QByteArray WriteThread::frame(const QJsonDocument &document)
{
    const QByteArray payload = document.toJson(QJsonDocument::Compact);
    const auto length = static_cast<quint32>(payload.size());
    QByteArray bytes;
    bytes.reserve(payload.size() + 4);
    for (int shift = 0; shift < 32; shift += 8)
        bytes.append(static_cast<char>((length >> shift) & 0xFFu));
    bytes.append(payload);
    return bytes;
}

QList<QJsonDocument> WriteThread::takeQueued()
{
    QMutexLocker locker(&m_mutex);
    if (m_queue.isEmpty())
        m_queued.wait(&m_mutex, queueWaitMilliseconds);
    QList<QJsonDocument> batch;
    batch.swap(m_queue);
    return batch;
}

void WriteThread::writeFrame(const QJsonDocument &document)
{
    m_output.write(frame(document));
    m_output.flush();
}

void WriteThread::run()
{
    bool stopping = false;
    while (!stopping) {
        // Read before the queue is taken: what was queued before the stop
        // request is still written, so the last answers reach the page.
        stopping = isInterruptionRequested();
        // Written outside the lock: a browser that is slow to read must not
        // block the GUI thread that queues the next answer.
        for (const QJsonDocument &document : takeQueued())
            writeFrame(document);
    }
    qDebug() << "Exiting write thread";
}
