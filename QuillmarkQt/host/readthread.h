#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QThread>

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

    explicit ReadThread(int descriptor = STDIN_FILENO, QObject *parent = nullptr);

    // Exactly `count` bytes, or throws AppException (end of input, read error,
    // interruption requested).
    QByteArray getBytes(quint32 count);

    // The payload of the next frame that is not oversized, in a buffer that
    // the following frame reuses; throws like getBytes.
    const QByteArray &readFramePayload();

signals:
    void processMessage(const QJsonObject &message);

protected:
    void run() override;

private:
    void readExactly(char *destination, quint32 count);
    void discardBytes(quint32 count);
    void waitForInput();
    quint32 readFrameLength();
    static QJsonObject decodePayload(const QByteArray &payload);

    const int m_descriptor;
    QByteArray m_payload;
};
