#pragma once

#include <QByteArray>
#include <QImage>

// Decodes the page image of a server answer. Only the two formats a document
// is rendered to are read, told from the data itself: any other decoder Qt
// has installed (icons, TIFF, SVG, ...) is code a page could reach for no
// reason. The size is taken from the chosen decoder before it decodes: a
// small compressed file can announce billions of pixels, and decoding it
// first would take that much memory.
class PageImageReader
{
public:
    // Admits an A4 page scanned at 1200 dpi (9921 x 14031 pixels) in either
    // orientation, about 560 MB once decoded at 32 bits per pixel.
    static constexpr qint64 maxPixels = 150'000'000;
    // The largest side a raster can be painted with.
    static constexpr int maxSide = 32767;
    // Every scan of a JPEG is a pass over the whole image, however few bytes
    // it takes, so a small file repeating one scan costs minutes. Encoders
    // write one scan per component for a sequential JPEG and about ten for
    // the usual progressive scripts (libjpeg's default writes 10, scan
    // optimisers a few more); a hundred leaves room for any real one.
    static constexpr int maxJpegScans = 100;

    // The decoded image, or a null image when the data is neither PNG nor
    // JPEG, is no image, does not tell its size, or is beyond the bounds
    // above.
    static QImage read(const QByteArray &encoded);
};
