#pragma once

#include <QByteArray>
#include <QImage>

// Decodes the page image of a server answer, after reading its size from the
// header: a small compressed file can announce billions of pixels, and
// decoding it first would take that much memory.
class PageImageReader
{
public:
    // Admits an A4 page scanned at 1200 dpi (9921 x 14031 pixels) in either
    // orientation, about 560 MB once decoded at 32 bits per pixel.
    static constexpr qint64 maxPixels = 150'000'000;
    // The largest side a raster can be painted with.
    static constexpr int maxSide = 32767;

    // The decoded image, or a null image when the data is no image, does not
    // tell its size, or is larger than the bounds above.
    static QImage read(const QByteArray &encoded);
};
