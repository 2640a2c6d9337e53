#pragma once

#include <p11-kit/pkcs11.h>

#include <QByteArray>
#include <QString>

// The UTF-8 bytes of one PIN attempt. The bytes, and the text they were made
// from, are wiped when the buffer goes away, on every path.
class PinBuffer
{
public:
    // No PIN: a NULL pointer of length 0, as a protected authentication path
    // expects.
    PinBuffer() = default;
    // Takes over the entered text and wipes it once converted.
    explicit PinBuffer(QString &&entered);
    ~PinBuffer();

    PinBuffer(const PinBuffer &) = delete;
    PinBuffer &operator=(const PinBuffer &) = delete;

    // Overwrites the characters of text when it is their only holder, then
    // empties it.
    static void wipe(QString &text);

    bool isEmpty() const;
    CK_UTF8CHAR_PTR data();
    CK_ULONG size() const;

private:
    QByteArray m_bytes;
};
