#pragma once

#include <QByteArray>
#include <QObject>
#include <QTcpSocket>
#include <QTimer>

class VirtualCard;

// Puts a virtual card into a vpcd reader: the card side is a TCP client of
// the reader's port, and every message either way is a 2-byte big-endian
// length followed by that many bytes. A message of one byte from the reader
// is a control code; a longer one is a command APDU, answered with the
// response APDU. Connected means inserted: closing the connection is pulling
// the card out.
class CardBridge : public QObject
{
    Q_OBJECT

public:
    CardBridge(VirtualCard &card, quint16 port);

    // The card goes in and stays in: while inserted, a lost connection (the
    // reader service stopped) is made again as soon as the port answers.
    void insert();
    void remove();

signals:
    // "inserted" when the reader holds the card, "removed" when it no longer does.
    void stateChanged(const QString &state);

private:
    void connectToReader();
    void onConnected();
    void onDisconnected();
    void onReadyRead();
    void handle(const QByteArray &message);
    void send(const QByteArray &message);

    VirtualCard &m_card;
    quint16 m_port;
    QTcpSocket m_socket;
    QTimer m_retry;
    QByteArray m_buffer;
    bool m_inserted = false;
};
