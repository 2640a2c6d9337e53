#pragma once

#include "fixturecredential.h"

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>

// A smart card in a reader, the way a desktop reaches one: pcscd with a vpcd
// reader, OpenSC's PKCS#11 module, and a Common Access Card emulated by
// quillmark-card-bridge from an NSS database that holds three signing
// certificates of the development PKI. Everything lives under a directory of
// the caller's: pcscd listens on a socket there (PCSCLITE_CSOCK_NAME, set for
// this process by the constructor; child processes need it too),
// and vpcd on a port of its own, so runs beside each other never meet and
// the machine's own pcscd is left alone.
class CardStack
{
public:
    // How long the reader may take to see a card come or go.
    static constexpr int readerTimeout = 10000;

    // Lays out the directory anew and starts pcscd and the bridge; returns
    // once the card is in the reader. Throws std::runtime_error when a part
    // does not come up.
    CardStack(const QString &directory, const QString &pin);
    ~CardStack();
    CardStack(const CardStack &) = delete;
    CardStack &operator=(const CardStack &) = delete;

    static QString modulePath();
    // pcscd's socket: PCSCLITE_CSOCK_NAME for a child's environment.
    QString socketPath() const;

    // The three certificates on the card in the card's order; OpenSC names
    // the token after the first one's common name.
    QList<FixtureCredential> credentials() const;
    QString tokenLabel() const;

    // Pulls the card out or puts it back; each returns once the reader
    // reports the change.
    void removeCard();
    void insertCard();
    // Stops pcscd, which takes the reader away from every client, and starts
    // it again; the card is back in the reader when startReader returns.
    void stopReader();
    void startReader();

private:
    void createDatabase(const QString &pin);
    void writeReaderConfiguration();
    void startBridge();
    void sendToBridge(const QByteArray &command);
    void waitForCard(bool present);

    QString m_directory;
    QString m_socket;
    quint16 m_port = 0;
    QList<FixtureCredential> m_credentials;
    QProcess m_pcscd;
    QProcess m_bridge;
};
