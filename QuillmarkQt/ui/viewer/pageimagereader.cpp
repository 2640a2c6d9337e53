#include "pageimagereader.h"

#include <QBuffer>
#include <QImageReader>
#include <QtDebug>

namespace {

const QByteArray pngSignature = QByteArrayLiteral("\x89PNG\r\n\x1a\n");
const QByteArray jpegStart = QByteArrayLiteral("\xff\xd8\xff");

// After the start-of-image marker, FF D8.
constexpr int firstSegment = 2;
constexpr uchar markerPrefix = 0xff;
constexpr uchar stuffedZero = 0x00;
constexpr uchar firstRestart = 0xd0;
constexpr uchar lastRestart = 0xd7;
constexpr uchar startOfScan = 0xda;
constexpr uchar endOfImage = 0xd9;
constexpr uchar temporary = 0x01;

// The Qt format name of the decoder for this data, or none.
QByteArray formatOf(const QByteArray &encoded)
{
    if (encoded.startsWith(pngSignature))
        return QByteArrayLiteral("png");
    if (encoded.startsWith(jpegStart))
        return QByteArrayLiteral("jpeg");
    return {};
}

uchar byteAt(const QByteArray &data, int position)
{
    return static_cast<uchar>(data.at(position));
}

// The position of the next marker's code at or after `position`, skipping
// what the decoder skips too: bytes that are no marker and fill bytes.
int nextMarkerCode(const QByteArray &data, int position)
{
    while (position < data.size() && byteAt(data, position) != markerPrefix)
        ++position;
    while (position < data.size() && byteAt(data, position) == markerPrefix)
        ++position;
    return position;
}

// The position after a scan's entropy-coded data: the next marker that is
// neither a stuffed zero nor a restart inside the scan.
int endOfEntropyCodedData(const QByteArray &data, int position)
{
    for (;;) {
        const int code = nextMarkerCode(data, position);
        if (code >= data.size())
            return data.size();
        const uchar marker = byteAt(data, code);
        if (marker != stuffedZero && (marker < firstRestart || marker > lastRestart))
            return code - 1;
        position = code + 1;
    }
}

// The number of scans the decoder would read from this JPEG, walking its
// marker segments as the decoder does, up to the end-of-image marker; stops
// counting once past `limit`. Segments other than scans cost the decoder
// their bytes only, so they need no bound of their own.
int jpegScanCount(const QByteArray &data, int limit)
{
    int scans = 0;
    int position = firstSegment;
    while (scans <= limit) {
        const int code = nextMarkerCode(data, position);
        if (code >= data.size())
            break;
        const uchar marker = byteAt(data, code);
        position = code + 1;
        if (marker == endOfImage)
            break;
        // A zero after FF is no marker; the others here stand alone.
        if (marker == stuffedZero || marker == temporary
            || (marker >= firstRestart && marker <= lastRestart))
            continue;
        if (position + 2 > data.size())
            break;
        position += (byteAt(data, position) << 8) | byteAt(data, position + 1);
        if (marker == startOfScan) {
            ++scans;
            position = endOfEntropyCodedData(data, position);
        }
    }
    return scans;
}

// Qt 6 also refuses to decode more than its allocation limit (128 MiB by
// default), which the 1200 dpi page exceeds; Qt 5 has no such limit. The
// bounds of PageImageReader are the ones that hold in both, so the limit
// admits what they admit at 32 bits per pixel. Set once: it is global.
void admitWhatTheBoundsAdmit()
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    static const bool set = [] {
        QImageReader::setAllocationLimit(int(PageImageReader::maxPixels * 4 / (1024 * 1024)) + 1);
        return true;
    }();
    Q_UNUSED(set)
#endif
}

} // namespace

QImage PageImageReader::read(const QByteArray &encoded)
{
    admitWhatTheBoundsAdmit();
    const QByteArray format = formatOf(encoded);
    if (format.isEmpty()) {
        qWarning() << "Refusing a page image that is neither PNG nor JPEG";
        return QImage();
    }
    if (format == "jpeg" && jpegScanCount(encoded, maxJpegScans) > maxJpegScans) {
        qWarning() << "Refusing a JPEG page image of more than" << maxJpegScans << "scans";
        return QImage();
    }
    QBuffer buffer;
    buffer.setData(encoded);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    // The size below is the one this decoder reads and decodes to; no other
    // decoder gets a second try at the data.
    reader.setAutoDetectImageFormat(false);
    const QSize size = reader.size();
    if (!size.isValid())
        return QImage();
    if (size.width() > maxSide || size.height() > maxSide
        || qint64(size.width()) * size.height() > maxPixels) {
        qWarning() << "Refusing a page image of size" << size;
        return QImage();
    }
    return reader.read();
}
