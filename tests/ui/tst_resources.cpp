#include <QImage>
#include <QMovie>
#include <QTest>

// Every image that the windows of quillmark name must be compiled in and
// decodable; a missing alias only shows up as an empty label at run time.
class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void image_data();
    void image();
    void loaderIsAnimated();
};

void TestResources::image_data()
{
    QTest::addColumn<QString>("name");
    const char *names[] = {"About",   "Certs",        "Close",   "Container", "DownArrow",
                           "Error",   "Icon",         "Info",    "Next",      "Previous",
                           "Refresh", "Sign",         "ZoomIn",  "ZoomOriginal",
                           "ZoomOut", "ZoomPage",     "ZoomWidth"};
    for (const char *name : names)
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestResources::image()
{
    QFETCH(QString, name);
    const QImage image(QStringLiteral(":/Resources/") + name);
    QVERIFY2(!image.isNull(), qPrintable(name));
    QVERIFY(image.hasAlphaChannel());
}

void TestResources::loaderIsAnimated()
{
    QMovie loader(QStringLiteral(":/Resources/Loader"));
    QVERIFY(loader.isValid());
    QVERIFY(loader.frameCount() > 1);
    QVERIFY(loader.jumpToNextFrame());
    const QImage first = loader.currentImage();
    QVERIFY(loader.jumpToNextFrame());
    QCOMPARE(loader.currentImage().size(), first.size());
    QVERIFY(loader.currentImage() != first);
    QCOMPARE(loader.loopCount(), -1);
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
