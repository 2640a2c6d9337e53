#include "readthread.h"

#include "appexception.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QMetaObject>
#include <QtDebug>

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>

namespace {

constexpr int inputPollMilliseconds = 10;
constexpr quint32 discardChunkSize = 64u * 1024u;

} // namespace

ReadThread::ReadThread(int descriptor, QObject *parent)
    : QThread(parent), m_descriptor(descriptor)
{
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
    const int flags = fcntl(m_descriptor, F_GETFL);
    if (flags != -1)
        fcntl(m_descriptor, F_SETFL, flags | O_NONBLOCK);

    quint32 stored = 0;
    while (stored < count) {
        const ssize_t got = ::read(m_descriptor, destination + stored, count - stored);
        if (got > 0) {
            stored += static_cast<quint32>(got);
        } else if (got == 0) {
            throw AppException(QStringLiteral("End of file reached"), APP_LOCATION, false);
        } else if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
            if (isInterruptionRequested()) {
                throw AppException(QStringLiteral("Interruption of ReadThread is requested."),
                                   APP_LOCATION, false);
            }
            waitForInput();
        } else {
            throw AppException(
                QStringLiteral("Error was cought, errno from function read is %1").arg(errno),
                APP_LOCATION, false);
        }
    }
}

void ReadThread::waitForInput()
{
    // Bounded so that a stop request is noticed within one pause.
    pollfd descriptor{m_descriptor, POLLIN, 0};
    ::poll(&descriptor, 1, inputPollMilliseconds);
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

void ReadThread::run()
{
    try {
        for (;;)
            emit processMessage(decodePayload(readFramePayload()));
    } catch (const AppException &e) {
        qWarning() << "ReadThread exited, due to: " << e.message();
        QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                                  Qt::QueuedConnection);
    }
}
