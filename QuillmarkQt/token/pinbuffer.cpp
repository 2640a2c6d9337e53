#include "pinbuffer.h"

#include <openssl/crypto.h>

#include <utility>

PinBuffer::PinBuffer(QString &&entered) : m_bytes(entered.toUtf8())
{
    QString consumed = std::move(entered);
    wipe(consumed);
}

void PinBuffer::wipe(QString &text)
{
    // data() detaches a shared copy first, so only this instance's buffer is
    // cleansed; the caller hands over its only reference.
    if (!text.isEmpty())
        OPENSSL_cleanse(text.data(), static_cast<size_t>(text.size()) * sizeof(QChar));
    text.clear();
}

PinBuffer::~PinBuffer()
{
    if (!m_bytes.isEmpty())
        OPENSSL_cleanse(m_bytes.data(), static_cast<size_t>(m_bytes.size()));
}

bool PinBuffer::isEmpty() const
{
    return m_bytes.isEmpty();
}

CK_UTF8CHAR_PTR PinBuffer::data()
{
    return m_bytes.isEmpty() ? nullptr : reinterpret_cast<CK_UTF8CHAR_PTR>(m_bytes.data());
}

CK_ULONG PinBuffer::size() const
{
    return static_cast<CK_ULONG>(m_bytes.size());
}
