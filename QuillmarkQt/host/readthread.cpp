#include "readthread.h"

#include "appexception.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QMetaObject>
#include <QMutexLocker>
#include <QtDebug>

#include <array>
#include <cerrno>
#include <exception>
#include <poll.h>

namespace {

constexpr int inputPollMilliseconds = 10;
constexpr quint32 discardChunkSize = 64u * 1024u;
// What a queued message costs beyond its payload (event, object, queue entry):
// a flood of empty frames is bounded too.
constexpr qint64 perMessageCost = 256;

} // namespace

ReadThread::ReadThread(int descriptor, QObject *parent)
    : QThread(parent), m_descriptor(descriptor)
{
    // Connected before any receiver of the messages, so for each message the
    // receiving thread takes it off the count just before dispatching it.
    connect(this, &ReadThread::messageRead, this, &ReadThread::messageTakenUp,
            Qt::QueuedConnection);
}

QByteArray ReadThread::getBytes(quint32 count)
{
    QByteArray bytes;
    if (count == 0)
        return bytes;
    bytes.resize(static_cast<int>(count));
    readExactly(bytes.data(), count);
    return bytes;
}

void ReadThread::readExactly(char *destination, quint32 count)
{
    // The descriptor stays blocking: it may share its open file with standard
    // output, whose writes must never meet EAGAIN. A read follows only a poll
    // that found input (or the end of it), so it does not block.
    quint32 stored = 0;
    while (stored < count) {
        if (!waitForInput()) {
            if (isInterruptionRequested()) {
                throw AppException(QStringLiteral("Interruption of ReadThread is requested."),
                                   APP_LOCATION, false);
            }
            continue;
        }
        const ssize_t got = ::read(m_descriptor, destination + stored, count - stored);
        if (got > 0) {
            stored += static_cast<quint32>(got);
        } else if (got == 0) {
            throw AppException(QStringLiteral("End of file reached"), APP_LOCATION, false);
        } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            throw AppException(
                QStringLiteral("Error was cought, errno from function read is %1").arg(errno),
                APP_LOCATION, false);
        }
    }
}

bool ReadThread::waitForInput()
{
    // Bounded so that a stop request is noticed within one pause.
    pollfd descriptor{m_descriptor, POLLIN, 0};
    return ::poll(&descriptor, 1, inputPollMilliseconds) > 0;
}

void ReadThread::discardBytes(quint32 count)
{
    std::array<char, discardChunkSize> sink;
    while (count > 0) {
        const quint32 chunk = qMin(count, discardChunkSize);
        readExactly(sink.data(), chunk);
        count -= chunk;
    }
}

quint32 ReadThread::readFrameLength()
{
    const QByteArray header = getBytes(4);
    const auto byte = [&header](int index) {
        return static_cast<quint32>(static_cast<unsigned char>(header.at(index)));
    };
    return byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
}

const QByteArray &ReadThread::readFramePayload()
{
    quint32 length = readFrameLength();
    while (length > maxFrameLength) {
        qWarning() << "Skipping oversized frame of" << length << "bytes";
        discardBytes(length);
        length = readFrameLength();
    }
    // Page answers of several megabytes come one after another. Fresh memory
    // for each would have the kernel map and zero every page of it, which
    // takes longer than copying the bytes out of the pipe.
    m_payload.resize(static_cast<int>(length));
    readExactly(m_payload.data(), length);
    return m_payload;
}

QJsonObject ReadThread::decodePayload(const QByteArray &payload)
{
    // Anything but a JSON object becomes an empty object; the dispatcher
    // rejects that as a message without method or event.
    const QJsonDocument document = QJsonDocument::fromJson(payload);
    return document.isObject() ? document.object() : QJsonObject();
}

qint64 ReadThread::pendingBytes()
{
    QMutexLocker locker(&m_pendingMutex);
    return m_pendingBytes;
}

void ReadThread::waitForDispatchRoom()
{
    QMutexLocker locker(&m_pendingMutex);
    while (m_pendingBytes > maxPendingBytes) {
        if (isInterruptionRequested()) {
            throw AppException(QStringLiteral("Interruption of ReadThread is requested."),
                               APP_LOCATION, false);
        }
        m_takenUp.wait(&m_pendingMutex, inputPollMilliseconds);
    }
}

void ReadThread::emitPending(const QJsonObject &message, qint64 cost)
{
    {
        QMutexLocker locker(&m_pendingMutex);
        m_pendingCosts.enqueue(cost);
        m_pendingBytes += cost;
    }
    emit messageRead(message);
}

void ReadThread::messageTakenUp()
{
    QMutexLocker locker(&m_pendingMutex);
    if (m_pendingCosts.isEmpty())
        return;
    m_pendingBytes -= m_pendingCosts.dequeue();
    m_takenUp.wakeAll();
}

void ReadThread::run()
{
    // Whatever ends the reader, the host goes through its normal shutdown:
    // an exception escaping a thread would abort the process.
    try {
        for (;;) {
            waitForDispatchRoom();
            const QByteArray &payload = readFramePayload();
            emitPending(decodePayload(payload), payload.size() + perMessageCost);
        }
    } catch (const AppException &e) {
        qWarning() << "ReadThread exited, due to: " << e.message();
    } catch (const std::exception &e) {
        qCritical() << "ReadThread failed:" << e.what();
    } catch (...) {
        qCritical() << "ReadThread failed with an unknown exception";
    }
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                              Qt::QueuedConnection);
}
