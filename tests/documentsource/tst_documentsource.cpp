#include "documentsource.h"
#include "fixturepaths.h"

#include <QCryptographicHash>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QtTest>

// The page side's document: the sample PDF rendered page by page.
class TestDocumentSource : public QObject
{
    Q_OBJECT

private slots:
    void describesTheSampleDocument()
    {
        DocumentSource source(QStringLiteral(QUILLMARK_SAMPLE_PDF));
        QVERIFY(source.isValid());
        QCOMPARE(source.pageCount(), 3);
        QCOMPARE(source.contentType(), QStringLiteral("application/pdf"));
        QVERIFY(QRegularExpression(QStringLiteral("^DOC-[0-9A-F]{12}$")).match(source.documentId()).hasMatch());

        QFile file(QStringLiteral(QUILLMARK_SAMPLE_PDF));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray sha256 = QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
        QCOMPARE(source.hashValue(), QString::fromLatin1(sha256.toBase64()));
        QCOMPARE(source.documentId().mid(4), QString::fromLatin1(sha256.toHex().left(12).toUpper()));
        QCOMPARE(source.hashOid(), QStringLiteral("2.16.840.1.101.3.4.2.1"));
        const ProvingData proving = source.provingData();
        QCOMPARE(proving.docId, source.documentId());
        QCOMPARE(proving.hashOid, source.hashOid());
        QCOMPARE(proving.hashValue, source.hashValue());
    }

    void rendersEveryPageAsPngAtTheChosenResolution()
    {
        DocumentSource source(QStringLiteral(QUILLMARK_SAMPLE_PDF));
        QList<QImage> pages;
        for (int page = 1; page <= source.pageCount(); ++page) {
            const QByteArray png = source.pagePng(page, 96);
            QVERIFY(png.startsWith("\x89PNG"));
            pages.append(QImage::fromData(png, "PNG"));
            // A4 at 96 dpi.
            QCOMPARE(pages.last().size(), QSize(793, 1123));
        }
        QVERIFY(pages[0] != pages[1]);
        QVERIFY(pages[1] != pages[2]);
        // The first page carries text and a picture, not a blank sheet.
        const QImage page = pages[0].convertToFormat(QImage::Format_RGB32);
        QSet<QRgb> colours;
        for (int y = 0; y < page.height(); y += 7)
            for (int x = 0; x < page.width(); x += 7)
                colours.insert(page.pixel(x, y));
        QVERIFY2(colours.size() > 200, qPrintable(QString::number(colours.size())));

        QCOMPARE(QImage::fromData(source.pagePng(1, 192), "PNG").size(), QSize(1587, 2245));
    }

    void pagesOutsideTheDocumentAreEmpty()
    {
        DocumentSource source(QStringLiteral(QUILLMARK_SAMPLE_PDF));
        QVERIFY(source.pagePng(0).isEmpty());
        QVERIFY(source.pagePng(4).isEmpty());
        QVERIFY(source.pagePng(-1).isEmpty());
    }

    void fileThatIsNoPdfIsInvalid()
    {
        QTemporaryFile notPdf;
        QVERIFY(notPdf.open());
        notPdf.write("plain text, not a document");
        notPdf.close();
        for (const QString &path : {notPdf.fileName(), QStringLiteral("/nonexistent/file.pdf")}) {
            DocumentSource source(path);
            QVERIFY(!source.isValid());
            QCOMPARE(source.pageCount(), 0);
            QVERIFY(source.pagePng(1).isEmpty());
        }
    }
};

QTEST_MAIN(TestDocumentSource)
#include "tst_documentsource.moc"
