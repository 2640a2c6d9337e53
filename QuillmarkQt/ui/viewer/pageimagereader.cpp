#include "pageimagereader.h"

#include <QBuffer>
#include <QImageReader>
#include <QtDebug>

QImage PageImageReader::read(const QByteArray &encoded)
{
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
