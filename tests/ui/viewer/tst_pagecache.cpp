#include "pagecache.h"
#include "pageimagereader.h"

#include <QBuffer>
#include <QDataStream>
#include <QImageWriter>
#include <QtTest>

namespace {

// 1024 x 1000 pixels at 32 bits: 4000 KiB.
QImage pageOf4000KiB(QRgb colour = qRgb(255, 255, 255))
{
    QImage image(1024, 1000, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

QList<int> cachedPages(const PageCache &cache, int upTo)
{
    QList<int> pages;
    for (int page = 1; page <= upTo; ++page) {
        if (cache.contains(page))
            pages.append(page);
    }
    return pages;
}

// A blank one-bit PNG: a page of any size costs little to make and to store.
QByteArray monochromePng(int width, int height)
{
    QImage image(width, height, QImage::Format_Mono);
    image.fill(1);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

QByteArray encoded(const QImage &image, const char *format, bool progressive = false)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return bytes;
}

QImage whitePage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

// An icon file whose directory announces a 16 x 16 picture and holds the
// given PNG: the icon reader takes the size from the directory.
QByteArray iconAround(const QByteArray &png)
{
    QByteArray icon;
    QDataStream stream(&icon, QIODevice::WriteOnly);
    stream.setByteOrder(QDataStream::LittleEndian);
    stream << quint16(0) << quint16(1) << quint16(1);
    stream << quint8(16) << quint8(16) << quint8(0) << quint8(0) << quint16(1) << quint16(32)
           << quint32(png.size()) << quint32(6 + 16);
    return icon + png;
}

// A progressive JPEG whose last scan is repeated: each repetition costs the
// decoder a pass over the whole image for a few bytes.
QByteArray jpegRepeatingItsLastScan(int width, int height, int repetitions)
{
    const QByteArray jpeg = encoded(whitePage(width, height), "jpeg", true);
    const int lastScan = jpeg.lastIndexOf(QByteArrayLiteral("\xff\xda"));
    const int endOfImage = jpeg.size() - 2;
    return jpeg.left(endOfImage) + jpeg.mid(lastScan, endOfImage - lastScan).repeated(repetitions)
           + jpeg.right(2);
}

} // namespace

class TestPageCache : public QObject
{
    Q_OBJECT

private slots:
    void costIsSizeInKiBTruncated()
    {
        QCOMPARE(PageCache::costOf(pageOf4000KiB()), qint64(4000));
        QCOMPARE(PageCache::costOf(QImage(100, 10, QImage::Format_RGB888)), qint64(2)); // 2.93 KiB
        QCOMPARE(PageCache::costOf(QImage()), qint64(0));
    }

    void evictsLeastRecentlyUsedPage()
    {
        PageCache cache(10000);
        for (int page = 1; page <= 3; ++page)
            cache.insert(page, pageOf4000KiB());
        // The newcomer's cost is not weighed before it is stored.
        QCOMPARE(cachedPages(cache, 3), (QList<int>{1, 2, 3}));
        QCOMPARE(cache.totalCost(), qint64(12000));

        cache.insert(4, pageOf4000KiB());
        QCOMPARE(cachedPages(cache, 4), (QList<int>{2, 3, 4}));
        QCOMPARE(cache.totalCost(), qint64(12000));
    }

    void lookupMakesAPageRecent()
    {
        PageCache cache(10000);
        for (int page = 1; page <= 3; ++page)
            cache.insert(page, pageOf4000KiB());
        QVERIFY(cache.object(1).has_value());

        cache.insert(4, pageOf4000KiB());
        QCOMPARE(cachedPages(cache, 4), (QList<int>{1, 3, 4}));
    }

    void missingPageChangesNothing()
    {
        PageCache cache(10000);
        for (int page = 1; page <= 3; ++page)
            cache.insert(page, pageOf4000KiB());
        QVERIFY(!cache.object(7).has_value());
        QVERIFY(!cache.contains(7));

        cache.insert(4, pageOf4000KiB());
        QCOMPARE(cachedPages(cache, 7), (QList<int>{2, 3, 4}));
    }

    void secondInsertOfAPageKeepsTheFirstImage()
    {
        PageCache cache(10000);
        cache.insert(1, pageOf4000KiB(qRgb(255, 0, 0)));
        cache.insert(1, pageOf4000KiB(qRgb(0, 0, 255)));
        QCOMPARE(cache.totalCost(), qint64(4000));
        QCOMPARE(cache.object(1)->pixel(0, 0), qRgb(255, 0, 0));
    }

    void capacityBelowZeroKeepsOnlyTheNewestPage()
    {
        PageCache cache(-5);
        cache.insert(1, pageOf4000KiB());
        cache.insert(2, pageOf4000KiB());
        cache.insert(3, pageOf4000KiB());
        QCOMPARE(cachedPages(cache, 3), (QList<int>{3}));
        QCOMPARE(cache.totalCost(), qint64(4000));
    }

    void clearEmptiesAndEvictOldestOnEmptyIsHarmless()
    {
        PageCache cache(10000);
        cache.insert(1, pageOf4000KiB());
        cache.insert(2, pageOf4000KiB());
        cache.clear();
        QVERIFY(cache.isEmpty());
        QCOMPARE(cache.totalCost(), qint64(0));
        cache.evictOldest();
        QVERIFY(cache.isEmpty());
        cache.insert(1, pageOf4000KiB());
        QVERIFY(cache.contains(1));
    }

    void capacityFitsADesktop()
    {
        // The page may ask for up to 2 TiB; the default asks for 32 GiB.
        QCOMPARE(PageCache(INT_MAX).maxCost(), PageCache::maxCapacity);
        QCOMPARE(PageCache(32 * 1024 * 1024).maxCost(), PageCache::maxCapacity);
        QCOMPARE(PageCache(10000).maxCost(), 10000);
    }

    void pageImagesAreMeasuredBeforeDecoding_data()
    {
        QTest::addColumn<QByteArray>("data");
        // Invalid for a refused image.
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QString>("refusal");

        const QString bySize = QStringLiteral("Refusing a page image of size");
        const QString byFormat =
            QStringLiteral("Refusing a page image that is neither PNG nor JPEG");
        QTest::newRow("A4 at 1200 dpi")
            << monochromePng(9921, 14031) << QSize(9921, 14031) << QString();
        QTest::newRow("A4 at 1200 dpi, landscape")
            << monochromePng(14031, 9921) << QSize(14031, 9921) << QString();
        QTest::newRow("more pixels than the bound")
            << monochromePng(12300, 12300) << QSize() << bySize;
        QTest::newRow("a side beyond painting") << monochromePng(40000, 1) << QSize() << bySize;
        QTest::newRow("JPEG") << encoded(whitePage(600, 800), "jpeg") << QSize(600, 800)
                              << QString();
        QTest::newRow("progressive JPEG")
            << encoded(whitePage(600, 800), "jpeg", true) << QSize(600, 800) << QString();
        // The progressive colour JPEG that libjpeg writes has 10 scans.
        const QString byScans = QStringLiteral("Refusing a JPEG page image of more than 100 scans");
        QTest::newRow("progressive JPEG of 100 scans")
            << jpegRepeatingItsLastScan(600, 800, 90) << QSize(600, 800) << QString();
        QTest::newRow("progressive JPEG of 101 scans")
            << jpegRepeatingItsLastScan(600, 800, 91) << QSize() << byScans;
        QTest::newRow("progressive JPEG, its last scan 10,000 times over")
            << jpegRepeatingItsLastScan(1024, 1024, 10000) << QSize() << byScans;
        QTest::newRow("icon announcing 16 x 16 around a PNG beyond the bound")
            << iconAround(monochromePng(12300, 12300)) << QSize() << byFormat;
        QTest::newRow("BMP") << encoded(whitePage(60, 80), "bmp") << QSize() << byFormat;
        QTest::newRow("no image") << QByteArray("junk") << QSize() << byFormat;
    }

    void pageImagesAreMeasuredBeforeDecoding()
    {
        QFETCH(QByteArray, data);
        QFETCH(QSize, size);
        QFETCH(QString, refusal);
        if (!refusal.isEmpty())
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression(QRegularExpression::escape(refusal)));
        const QImage page = PageImageReader::read(data);
        QCOMPARE(page.size(), size.isValid() ? size : QSize(0, 0));
    }

    void evictedImageStaysValidForItsHolder()
    {
        PageCache cache(0);
        cache.insert(1, pageOf4000KiB(qRgb(10, 20, 30)));
        const QImage held = *cache.object(1);
        cache.insert(2, pageOf4000KiB());
        QVERIFY(!cache.contains(1));
        QCOMPARE(held.size(), QSize(1024, 1000));
        QCOMPARE(held.pixel(1023, 999), qRgb(10, 20, 30));
    }
};

QTEST_GUILESS_MAIN(TestPageCache)
#include "tst_pagecache.moc"
