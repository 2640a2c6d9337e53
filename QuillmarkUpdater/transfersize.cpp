#include "transfersize.h"

#include <array>

TransferSize TransferSize::scaled(qint64 bytesReceived, qint64 bytesTotal)
{
    static const std::array<const char *, 4> units = {"bytes", "KB", "MB", "GB"};
    std::size_t unit = 0;
    while (bytesTotal >= 1024 && unit + 1 < units.size()) {
        bytesReceived /= 1024;
        bytesTotal /= 1024;
        ++unit;
    }
    return {bytesReceived, bytesTotal, QLatin1String(units[unit])};
}
