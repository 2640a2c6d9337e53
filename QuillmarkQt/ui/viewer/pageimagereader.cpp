#include "pageimagereader.h"

#include <QBuffer>
#include <QImageReader>
#include <QtDebug>

namespace {

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
    QBuffer buffer;
    buffer.setData(encoded);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
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
