#include "pagelabel.h"

#include <QPainter>
#include <QtTest>

// The page label paints the cut-out stretched over its contents, inside the
// style sheet margin, whether it paints magnified pixels itself or leaves a
// reduction to QLabel.

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
        const auto at = [&](int x, int y) { return QColor(shown.pixel(margin + x, margin + y)); };
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
};

QTEST_MAIN(TestPageLabel)
#include "tst_pagelabel.moc"
