#include "imageviewer.h"
#include "pagecache.h"

#include <QLabel>
#include <QScrollBar>
#include <QtTest>

namespace {

// Every pixel tells where it lies, so a shown pixel can be traced back to
// the page position it came from.
QImage coordinatePage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = qRgb(x % 256, y % 256, (x / 256) * 16 + y / 256);
    }
    return image;
}

QRect scaled(const QRect &region, double scale)
{
    return QRect(int(region.x() * scale), int(region.y() * scale), int(region.width() * scale),
                 int(region.height() * scale));
}

} // namespace

class TestImageViewer : public QObject
{
    Q_OBJECT

private:
    // A viewer whose viewport is exactly the given size.
    static std::unique_ptr<ImageViewer> viewerWithViewport(const QSize &viewport)
    {
        auto viewer = std::make_unique<ImageViewer>();
        viewer->setFrameShape(QFrame::NoFrame);
        viewer->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        viewer->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        viewer->resize(viewport);
        viewer->show();
        if (!QTest::qWaitForWindowExposed(viewer.get()))
            return nullptr;
        return viewer;
    }

    static QLabel *label(ImageViewer &viewer)
    {
        return viewer.findChild<QLabel *>(QStringLiteral("pageLabel"));
    }

    static QPixmap shownCutOut(ImageViewer &viewer)
    {
        return label(viewer)->pixmap(Qt::ReturnByValue);
    }

    // The label holds the latest cut-out and covers exactly its page pixels.
    static bool cutOutShownInPlace(ImageViewer &viewer)
    {
        QLabel *pageLabel = label(viewer);
        const QRect contents = pageLabel->contentsRect().translated(pageLabel->pos());
        return shownCutOut(viewer).size() == viewer.region().size()
               && contents == scaled(viewer.region(), viewer.scaleFactor());
    }

    static void scrollTo(ImageViewer &viewer, int x, int y)
    {
        viewer.horizontalScrollBar()->setValue(x);
        viewer.verticalScrollBar()->setValue(y);
    }

private slots:
    void cutOutAtScaleOneIsViewportPlusMargin()
    {
        auto viewer = viewerWithViewport(QSize(600, 400));
        QVERIFY(viewer);
        viewer->setImage(coordinatePage(2000, 3000));
        viewer->setScale(1.0);
        QCOMPARE(viewer->region(), QRect(0, 0, 1200, 1000));

        scrollTo(*viewer, 500, 900);
        viewer->renderVisibleRegion();
        QCOMPARE(viewer->region(), QRect(200, 600, 1200, 1000));
        QTRY_VERIFY(cutOutShownInPlace(*viewer));
    }

    void showsPagePixelForPixelAtScaleOne()
    {
        auto viewer = viewerWithViewport(QSize(600, 400));
        QVERIFY(viewer);
        const QImage page = coordinatePage(2000, 3000);
        viewer->setImage(page);
        viewer->setScale(1.0);
        scrollTo(*viewer, 700, 1300);
        QTRY_VERIFY(cutOutShownInPlace(*viewer));

        const QImage shown = viewer->viewport()->grab().toImage();
        for (const QPoint &point : {QPoint(0, 0), QPoint(123, 45), QPoint(599, 399)})
            QCOMPARE(QColor(shown.pixel(point)), QColor(page.pixel(point + QPoint(700, 1300))));
    }

    void cutOutStaysInsideThePage()
    {
        auto viewer = viewerWithViewport(QSize(600, 400));
        QVERIFY(viewer);
        viewer->setImage(coordinatePage(2000, 3000));
        viewer->setScale(1.0);
        scrollTo(*viewer, viewer->horizontalScrollBar()->maximum(),
                 viewer->verticalScrollBar()->maximum());
        viewer->renderVisibleRegion();
        QCOMPARE(viewer->region(), QRect(1100, 2300, 900, 700));

        // Far out the whole page is one cut-out.
        viewer->setScale(0.1);
        QCOMPARE(viewer->region(), QRect(0, 0, 2000, 3000));
        QTRY_VERIFY(cutOutShownInPlace(*viewer));
    }

    void scrollingWithinTheMarginReusesTheCutOut()
    {
        auto viewer = viewerWithViewport(QSize(600, 400));
        QVERIFY(viewer);
        viewer->setImage(coordinatePage(2000, 3000));
        viewer->setScale(2.0);
        QCOMPARE(viewer->region(), QRect(0, 0, 600, 500));

        // At scale 2 the margin is 150 image pixels.
        viewer->horizontalScrollBar()->setValue(1000);
        QCOMPARE(viewer->region(), QRect(350, 0, 600, 500));
        viewer->horizontalScrollBar()->setValue(1149);
        QCOMPARE(viewer->region(), QRect(350, 0, 600, 500));
        viewer->horizontalScrollBar()->setValue(1150);
        QCOMPARE(viewer->region(), QRect(425, 0, 600, 500));
        QTRY_VERIFY(cutOutShownInPlace(*viewer));
    }

    void belowScaleOneTheCutOutFollowsBeforeBlankSpaceShows()
    {
        auto viewer = viewerWithViewport(QSize(600, 400));
        QVERIFY(viewer);
        viewer->setImage(coordinatePage(4000, 6000));
        viewer->setScale(0.5);
        viewer->verticalScrollBar()->setValue(1000);
        const QRect cut = viewer->region();
        QCOMPARE(cut, QRect(0, 1400, 2400, 2000));
        viewer->verticalScrollBar()->setValue(1299);
        QCOMPARE(viewer->region(), cut);

        // The cut-out reaches 300 screen pixels below the viewport; a larger
        // step must not scroll onto the blank container.
        viewer->verticalScrollBar()->setValue(1400);
        const QRect visible(0, 1400, 600, 400);
        QVERIFY(scaled(viewer->region(), 0.5).contains(visible));
        QTRY_VERIFY(cutOutShownInPlace(*viewer));
    }

    void cutOutAtHighestZoomIsBoundedByTheViewport()
    {
        auto viewer = viewerWithViewport(QSize(600, 400));
        QVERIFY(viewer);
        viewer->setImage(coordinatePage(2000, 3000));
        viewer->setScale(64.0);
        scrollTo(*viewer, 40000, 60000);
        viewer->renderVisibleRegion();
        QCOMPARE(viewer->region(), QRect(620, 932, 18, 15));
        QTRY_VERIFY(cutOutShownInPlace(*viewer));
        QCOMPARE(shownCutOut(*viewer).size(), QSize(18, 15));
    }

    void fitsPageAndWidth()
    {
        auto viewer = viewerWithViewport(QSize(800, 800));
        QVERIFY(viewer);
        viewer->setImage(coordinatePage(1000, 2000));
        viewer->fitToPage();
        QCOMPARE(viewer->scaleFactor(), 0.4);
        QCOMPARE(viewer->widget()->size(), QSize(400, 800));
        viewer->fitToWidth();
        QCOMPARE(viewer->scaleFactor(), 0.8);
        QCOMPARE(viewer->widget()->size(), QSize(800, 1600));
        viewer->resetScale();
        QCOMPARE(viewer->scaleFactor(), 1.0);
        QCOMPARE(viewer->widget()->size(), QSize(1000, 2000));
    }

    void containerSizeRoundsHalfAwayFromZero()
    {
        auto viewer = viewerWithViewport(QSize(600, 400));
        QVERIFY(viewer);
        viewer->setImage(coordinatePage(5, 3));
        viewer->setScale(1.5);
        QCOMPARE(viewer->widget()->size(), QSize(8, 5));
    }

    void clearBlanksTheViewAndResetsTheScale()
    {
        auto viewer = viewerWithViewport(QSize(600, 400));
        QVERIFY(viewer);
        viewer->setImage(coordinatePage(2000, 3000));
        viewer->setScale(2.0);
        QTRY_VERIFY(cutOutShownInPlace(*viewer));
        viewer->clear();
        QCOMPARE(viewer->scaleFactor(), 1.0);
        QVERIFY(shownCutOut(*viewer).isNull());
        QCOMPARE(label(*viewer)->pos(), QPoint(0, 0));
        QCOMPARE(viewer->widget()->size(), label(*viewer)->size());
    }

    void viewportWithoutRoomKeepsTheScale()
    {
        auto viewer = viewerWithViewport(QSize(600, 400));
        QVERIFY(viewer);
        viewer->setImage(coordinatePage(1000, 2000));
        viewer->setScale(0.5);
        viewer->viewport()->resize(0, 0);
        viewer->fitToWidth();
        viewer->fitToPage();
        QCOMPARE(viewer->scaleFactor(), 0.5);
        QCOMPARE(viewer->widget()->size(), QSize(500, 1000));
        QVERIFY(QRect(0, 0, 1000, 2000).contains(viewer->region()));
    }

    void cutOutFinishingAfterClearIsNotShown()
    {
        auto viewer = viewerWithViewport(QSize(600, 400));
        QVERIFY(viewer);
        viewer->setImage(coordinatePage(2000, 3000));
        QTRY_VERIFY(cutOutShownInPlace(*viewer));
        QSignalSpy shown(viewer.get(), &ImageViewer::cutOutShown);
        // The next cut-out is under way when the page goes away.
        viewer->setScale(2.0);
        viewer->clear();
        QTest::qWait(300);
        QVERIFY(shownCutOut(*viewer).isNull());
        QCOMPARE(label(*viewer)->pos(), QPoint(0, 0));
        QCOMPARE(shown.count(), 0);
    }

    void pageDroppedByTheCacheIsStillCutOut()
    {
        auto viewer = viewerWithViewport(QSize(600, 400));
        QVERIFY(viewer);
        PageCache cache(0);
        const QImage page = coordinatePage(2000, 3000);
        cache.insert(1, page.copy());
        viewer->setImage(*cache.object(1));
        viewer->setScale(1.0);
        cache.insert(2, coordinatePage(100, 100));
        QVERIFY(!cache.contains(1));
        QTRY_VERIFY(cutOutShownInPlace(*viewer));
        QCOMPARE(shownCutOut(*viewer).toImage().pixel(599, 399), page.pixel(599, 399));
    }
};

QTEST_MAIN(TestImageViewer)
#include "tst_imageviewer.moc"
