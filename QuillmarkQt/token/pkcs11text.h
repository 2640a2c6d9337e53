#pragma once

#include <QString>

#include <cstddef>

// Fixed-size, blank-padded PKCS#11 text fields (labels, serial numbers,
// descriptions) as Qt strings.
namespace Pkcs11Text {

// All of the field is decoded as UTF-8, then trimmed: the standard pads
// with blanks, some modules with zero bytes.
QString fromPadded(const unsigned char *field, std::size_t size);

template <std::size_t N>
QString fromPadded(const unsigned char (&field)[N])
{
    return fromPadded(field, N);
}

} // namespace Pkcs11Text
