#include "pkcs11text.h"

QString Pkcs11Text::fromPadded(const unsigned char *field, std::size_t size)
{
    QString text = QString::fromUtf8(reinterpret_cast<const char *>(field), static_cast<int>(size));
    // Zero padding survives decoding as U+0000, which trimmed() keeps.
    const int end = text.indexOf(QChar(0));
    if (end >= 0)
        text.truncate(end);
    return text.trimmed();
}
