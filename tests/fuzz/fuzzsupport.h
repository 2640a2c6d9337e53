#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

// Shared start-up of the fuzz targets: Qt's messages are dropped (formatting
// still runs, printing would only slow the search down) and the working
// directory is a private temporary one, since some readers leave files there.
namespace FuzzSupport {

void initialise();

inline QByteArray bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), static_cast<int>(size));
}

inline QString text(const uint8_t *data, size_t size)
{
    return QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<int>(size));
}

} // namespace FuzzSupport
