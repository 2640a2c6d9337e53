#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QMutex>
#include <QQueue>
#include <QThread>
#include <QWaitCondition>

#include <unistd.h>

// Reads native-messaging frames (32-bit little-endian length + UTF-8 JSON)
// from a descriptor and hands each decoded object to the GUI thread.
class ReadThread : public QThread
{
    Q_OBJECT

public:
    // A payload longer than this is skipped instead of being stored: the
    // length field alone could otherwise make us allocate 4 GiB.
    static constexpr quint32 maxFrameLength = 64u * 1024u * 1024u;
    // The reader reads no further frame while more than this many payload
    // bytes wait for the GUI thread to take them up. A page that sends faster
    // than we dispatch then fills the pipe and waits in the browser, so at
    // most this plus one frame sits decoded in our memory.
    static constexpr qint64 maxPendingBytes = 32 * 1024 * 1024;

    explicit ReadThread(int descriptor = STDIN_FILENO, QObject *parent = nullptr);

    // Exactly `count` bytes, or throws AppException (end of input, read error,
    // interruption requested).
    QByteArray getBytes(quint32 count);

    // The payload of the next frame that is not oversized, in a buffer that
    // the following frame reuses; throws like getBytes.
    const QByteArray &readFramePayload();

    // Payload bytes emitted and not yet taken up by the receiving thread.
    qint64 pendingBytes();

signals:
    void messageRead(const QJsonObject &message);

protected:
    void run() override;

private:
    void readExactly(char *destination, quint32 count);
    void discardBytes(quint32 count);
    bool waitForInput();
    quint32 readFrameLength();
    static QJsonObject decodePayload(const QByteArray &payload);
    void waitForDispatchRoom();
    void emitPending(const QJsonObject &message, qint64 cost);
    void messageTakenUp();

    const int m_descriptor;
    QByteArray m_payload;
    // Costs of the emitted messages, oldest first; shared with the GUI thread.
    QMutex m_pendingMutex;
    QWaitCondition m_takenUp;
    QQueue<qint64> m_pendingCosts;
    qint64 m_pendingBytes = 0;
};
