#include "writethread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QMutexLocker>
#include <QtDebug>

#include <cerrno>
#include <exception>
#include <poll.h>

namespace {

constexpr unsigned long queueWaitMilliseconds = 10;
constexpr int outputPollMilliseconds = 10;

} // namespace

WriteThread::WriteThread(int descriptor, QObject *parent)
    : QThread(parent), m_descriptor(descriptor)
{
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

bool WriteThread::writeAll(const QByteArray &bytes)
{
    qint64 written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(m_descriptor, bytes.constData() + written,
                                  static_cast<size_t>(bytes.size() - written));
        if (n > 0) {
            written += n;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // Someone made the open file non-blocking; a frame is still
            // written whole, as soon as the browser reads.
            pollfd descriptor{m_descriptor, POLLOUT, 0};
            ::poll(&descriptor, 1, outputPollMilliseconds);
        } else if (n == 0 || errno != EINTR) {
            qCritical() << "Writing a frame failed after" << written << "of" << bytes.size()
                        << "bytes, errno" << errno;
            return false;
        }
    }
    return true;
}

bool WriteThread::writeFrame(const QJsonDocument &document)
{
    const QByteArray bytes = frame(document);
    if (bytes.size() - 4 > maxPayloadLength) {
        qCritical() << "Not sending a frame of" << bytes.size() - 4 << "bytes";
        return true;
    }
    return writeAll(bytes);
}

bool WriteThread::serveQueue()
{
    bool stopping = false;
    while (!stopping) {
        // Read before the queue is taken: what was queued before the stop
        // request is still written, so the last answers reach the page.
        stopping = isInterruptionRequested();
        // Written outside the lock: a browser that is slow to read must not
        // block the GUI thread that queues the next answer.
        for (const QJsonDocument &document : takeQueued()) {
            if (!writeFrame(document))
                return false;
        }
    }
    return true;
}

void WriteThread::run()
{
    // A lost channel or an exception ends the host through its normal
    // shutdown: nobody hears us any more, and an exception escaping a thread
    // would abort the process.
    bool served = false;
    try {
        served = serveQueue();
    } catch (const std::exception &e) {
        qCritical() << "WriteThread failed:" << e.what();
    } catch (...) {
        qCritical() << "WriteThread failed with an unknown exception";
    }
    if (!served) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                                  Qt::QueuedConnection);
    }
    qDebug() << "Exiting write thread";
}
