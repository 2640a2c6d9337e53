#include "pagelabel.h"

#include <QPainter>
#include <QtTest>

// The page label paints the cut-out stretched over its contents, inside the
// style sheet margin, whether it paints magnified pixels itself or leaves a
// reduction to QLabel. Run also on a 200 % screen (QT_SCALE_FACTOR=2), where
// the cut-out must be stretched to device pixels, not to logical ones.

namespace {

constexpr int margin = 5;

// Four quadrants of distinct colours.
QImage quadrants(int size)
{
    QImage image(size, size, QImage::Format_RGB32);
    QPainter painter(&image);
    const int half = size / 2;
    painter.fillRect(0, 0, half, half, Qt::red);
    painter.fillRect(half, 0, size - half, half, Qt::green);
    painter.fillRect(0, half, half, size - half, Qt::blue);
    painter.fillRect(half, half, size - half, size - half, Qt::yellow);
    return image;
}

QImage painted(const QImage &cutOut, int contentSize)
{
    PageLabel label;
    label.setStyleSheet(QStringLiteral("margin: %1px").arg(margin));
    label.setScaledContents(true);
    label.setPixmap(QPixmap::fromImage(cutOut));
    label.resize(contentSize + 2 * margin, contentSize + 2 * margin);
    return label.grab().toImage();
}

} // namespace

class TestPageLabel : public QObject
{
    Q_OBJECT

private slots:
    void cutOutFillsTheContents_data()
    {
        QTest::addColumn<int>("imageSize");
        QTest::addColumn<int>("contentSize");
        QTest::newRow("6400 %") << 4 << 256;
        QTest::newRow("150 %") << 100 << 150;
        QTest::newRow("100 %") << 120 << 120;
        QTest::newRow("reduced to a quarter") << 400 << 100;
    }

    void cutOutFillsTheContents()
    {
        QFETCH(int, imageSize);
        QFETCH(int, contentSize);
        const QImage shown = painted(quadrants(imageSize), contentSize);
        const int quarter = contentSize / 4;
        const qreal ratio = shown.devicePixelRatio();
        const auto at = [&](int x, int y) {
            return QColor(shown.pixel(int((margin + x) * ratio), int((margin + y) * ratio)));
        };
        QCOMPARE(at(quarter, quarter), QColor(Qt::red));
        QCOMPARE(at(3 * quarter, quarter), QColor(Qt::green));
        QCOMPARE(at(quarter, 3 * quarter), QColor(Qt::blue));
        QCOMPARE(at(3 * quarter, 3 * quarter), QColor(Qt::yellow));
        // The corners of the contents belong to the cut-out, not to the margin.
        QCOMPARE(at(0, 0), QColor(Qt::red));
        QCOMPARE(at(contentSize - 1, contentSize - 1), QColor(Qt::yellow));
        QVERIFY(at(-1, -1) != QColor(Qt::red));
        QVERIFY(at(contentSize, contentSize) != QColor(Qt::yellow));
    }

    // Stripes one page pixel wide, each spread over one and a half device
    // pixels: painted for the device they stay stripes; reduced to logical
    // pixels first and then enlarged, as on a 200 % screen at 75 %, they
    // would blur to grey.
    void fineDetailStaysSharpOnTheDevice()
    {
        constexpr int imageSize = 200;
        QImage stripes(imageSize, imageSize, QImage::Format_RGB32);
        for (int x = 0; x < imageSize; ++x) {
            for (int y = 0; y < imageSize; ++y)
                stripes.setPixel(x, y, x % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
        }
        const qreal ratio = qApp->devicePixelRatio();
        const int contentSize = int(imageSize * 1.5 / ratio);
        const QImage shown = painted(stripes, contentSize);
        const QImage expected = stripes.scaled(int(contentSize * ratio), int(contentSize * ratio),
                                               Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const int row = int((margin + contentSize / 2) * ratio);
        const int left = int(margin * ratio);
        double difference = 0;
        for (int x = 0; x < expected.width(); ++x)
            difference += std::abs(qGray(shown.pixel(left + x, row)) - qGray(expected.pixel(x, expected.height() / 2)));
        const double meanDifference = difference / expected.width();
        QVERIFY2(meanDifference < 40, qPrintable(QString::number(meanDifference)));
    }
};

QTEST_MAIN(TestPageLabel)
#include "tst_pagelabel.moc"
