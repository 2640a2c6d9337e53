#include "cardbridge.h"

#include "virtualcard.h"

#include <QHostAddress>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace {

enum ControlCode : char { PowerOff = 0, PowerOn = 1, Reset = 2, SendAtr = 4 };
constexpr int retryMilliseconds = 100;

// vpcd writes a message's length and its bytes in two sends without
// TCP_NODELAY, so the bytes wait for the acknowledgement of the length; a
// delayed one would add some 40 ms to every APDU. The kernel leaves quick
// acknowledgement mode by itself, hence set again after every read.
void acknowledgeAtOnce(QTcpSocket &socket)
{
    const int on = 1;
    setsockopt(int(socket.socketDescriptor()), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
}

} // namespace

CardBridge::CardBridge(VirtualCard &card, quint16 port)
    : m_card(card), m_port(port)
{
    m_retry.setSingleShot(true);
    m_retry.setInterval(retryMilliseconds);
    connect(&m_retry, &QTimer::timeout, this, &CardBridge::connectToReader);
    connect(&m_socket, &QTcpSocket::connected, this, &CardBridge::onConnected);
    connect(&m_socket, &QTcpSocket::disconnected, this, &CardBridge::onDisconnected);
    connect(&m_socket, &QTcpSocket::readyRead, this, &CardBridge::onReadyRead);
    connect(&m_socket, &QAbstractSocket::errorOccurred, this, [this]() {
        if (m_socket.state() != QAbstractSocket::ConnectedState && m_inserted)
            m_retry.start();
    });
}

void CardBridge::insert()
{
    if (m_inserted)
        return;
    m_inserted = true;
    connectToReader();
}

void CardBridge::remove()
{
    m_inserted = false;
    m_retry.stop();
    if (m_socket.state() == QAbstractSocket::UnconnectedState)
        emit stateChanged(QStringLiteral("removed"));
    else
        m_socket.abort();
}

void CardBridge::connectToReader()
{
    if (m_inserted && m_socket.state() == QAbstractSocket::UnconnectedState)
        m_socket.connectToHost(QHostAddress::LocalHost, m_port);
}

void CardBridge::onConnected()
{
    m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    acknowledgeAtOnce(m_socket);
    emit stateChanged(QStringLiteral("inserted"));
}

void CardBridge::onDisconnected()
{
    // A card out of the reader has no power: it comes back reset.
    m_card.powerOff();
    m_buffer.clear();
    emit stateChanged(QStringLiteral("removed"));
    if (m_inserted)
        m_retry.start();
}

void CardBridge::onReadyRead()
{
    m_buffer += m_socket.readAll();
    acknowledgeAtOnce(m_socket);
    // The 2-byte length bounds a message to 65535 bytes.
    while (m_buffer.size() >= 2) {
        const int length = (quint8(m_buffer.at(0)) << 8) | quint8(m_buffer.at(1));
        if (m_buffer.size() < 2 + length)
            return;
        const QByteArray message = m_buffer.mid(2, length);
        m_buffer.remove(0, 2 + length);
        handle(message);
    }
}

void CardBridge::handle(const QByteArray &message)
{
    if (message.size() > 1) {
        send(m_card.transmit(message));
        return;
    }
    if (message.isEmpty())
        return;
    switch (message.at(0)) {
    case PowerOff:
        m_card.powerOff();
        break;
    case PowerOn:
        m_card.powerOn();
        break;
    case Reset:
        m_card.powerOff();
        m_card.powerOn();
        break;
    case SendAtr:
        send(m_card.atr());
        break;
    default:
        break;
    }
}

void CardBridge::send(const QByteArray &message)
{
    const QByteArray bounded = message.left(0xFFFF);
    const char length[2] = {char(bounded.size() >> 8), char(bounded.size() & 0xFF)};
    m_socket.write(length, 2);
    m_socket.write(bounded);
}
