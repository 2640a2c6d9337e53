#pragma once

#include <QString>

#include <cstddef>

// Fixed-size, blank-padded PKCS#11 text fields (labels, serial numbers,
// descriptions) as Qt strings.
class Pkcs11Text
{
public:
    template<std::size_t N>
    static QString fromPadded(const unsigned char (&field)[N])
    {
        return fromPadded(field, N);
    }

    // All of the field is decoded as UTF-8, then trimmed: the standard pads
    // with blanks, some modules with zero bytes.
    static QString fromPadded(const unsigned char *field, std::size_t size);
};
