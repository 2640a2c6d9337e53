#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

struct VReaderStruct;

// A Common Access Card emulated by libcacard, whose keys and certificates are
// those of an NSS database; the database password is the card's PIN. One per
// process: the emulator keeps its state in globals.
class VirtualCard
{
public:
    // database: "sql:<directory>"; nicknames: the certificates the card holds.
    VirtualCard(const QString &database, const QStringList &nicknames);
    ~VirtualCard();
    VirtualCard(const VirtualCard &) = delete;
    VirtualCard &operator=(const VirtualCard &) = delete;

    // The answer to reset of the first power-on. Later ATR requests must not
    // power the card on again: that would reset it and lose a pending answer.
    QByteArray atr();
    void powerOn();
    void powerOff();
    // One command APDU in, its response APDU out; empty when no card answers.
    QByteArray transmit(const QByteArray &command);

private:
    VReaderStruct *m_reader = nullptr;
    QByteArray m_atr;
};
