#include "pagecache.h"
#include "pageimagereader.h"

#include <QBuffer>
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
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("admitted");
        QTest::newRow("A4 at 1200 dpi") << QSize(9921, 14031) << true;
        QTest::newRow("A4 at 1200 dpi, landscape") << QSize(14031, 9921) << true;
        QTest::newRow("more pixels than the bound") << QSize(12300, 12300) << false;
        QTest::newRow("a side beyond painting") << QSize(40000, 1) << false;
    }

    void pageImagesAreMeasuredBeforeDecoding()
    {
        QFETCH(QSize, size);
        QFETCH(bool, admitted);
        if (!admitted)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Refusing a page image of size"));
        const QImage page = PageImageReader::read(monochromePng(size.width(), size.height()));
        QCOMPARE(page.isNull(), !admitted);
        if (admitted)
            QCOMPARE(page.size(), size);
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
