// The updater's version document comes from the network before its signature
// is known to be good only in the sense that the check runs first; its reader
// and the configuration reader must still hold out against entity tricks and
// huge text on their own.
#include "configuration.h"
#include "httpresponse.h"

#include <QElapsedTimer>
#include <QTemporaryFile>
#include <QtTest>

namespace {

QByteArray laughs()
{
    QByteArray dtd = "<?xml version=\"1.0\"?>\n<!DOCTYPE Quillmark [\n<!ENTITY l0 \"lol\">\n";
    for (int level = 1; level <= 9; ++level) {
        dtd += "<!ENTITY l" + QByteArray::number(level) + " \"";
        for (int copy = 0; copy < 10; ++copy)
            dtd += "&l" + QByteArray::number(level - 1) + ";";
        dtd += "\">\n";
    }
    return dtd + "]>\n";
}

} // namespace

class TestHostileUpdaterXml : public QObject
{
    Q_OBJECT

private slots:
    void documentsRefuseEntityTricksAndHugeText_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<QByteArray>("forbidden");

        QTemporaryFile secret;
        secret.setAutoRemove(false);
        QVERIFY(secret.open());
        secret.write("local-secret-19c2");
        secret.close();

        QTest::newRow("entity expansion")
            << laughs() + "<Quillmark><version>1.0</version><url>&l9;</url>"
                          "<downloadUrl>&l9;</downloadUrl></Quillmark>"
            << QByteArray("lollollol");
        QTest::newRow("external entity")
            << "<?xml version=\"1.0\"?>\n<!DOCTYPE Quillmark [<!ENTITY s SYSTEM \"file://"
                   + QFile::encodeName(secret.fileName())
                   + "\">]>\n<Quillmark><version>1.0</version><url>&s;</url><downloadUrl>&s;</downloadUrl></Quillmark>"
            << QByteArray("local-secret-19c2");
        QTest::newRow("huge text node")
            << "<Quillmark><version>" + QByteArray(32 * 1024 * 1024, '9')
                   + "</version><url>https://x.invalid/</url><downloadUrl>https://x.invalid/p.deb</downloadUrl></Quillmark>"
            << QByteArray();
    }

    void documentsRefuseEntityTricksAndHugeText()
    {
        QFETCH(QByteArray, document);
        QFETCH(QByteArray, forbidden);
        QElapsedTimer clock;
        clock.start();

        HttpResponse versionDocument;
        const bool accepted = versionDocument.deserializeXml(document);
        Configuration configuration;
        const bool configured = configuration.deserialize(QString::fromUtf8(document));
        QVERIFY2(clock.elapsed() < 15000, qPrintable(QString::number(clock.elapsed())));

        if (forbidden.isEmpty()) {
            // A number too long for an int is no number: the version reads as 0.
            QVERIFY(accepted && configured);
            QCOMPARE(versionDocument.version().toString(), QStringLiteral("0"));
            return;
        }
        for (const QString &text : {versionDocument.url(), configuration.url(), configuration.downloadUrl()}) {
            QVERIFY(!text.contains(QString::fromLatin1(forbidden)));
            QVERIFY(text.size() < 4096);
        }
    }
};

QTEST_GUILESS_MAIN(TestHostileUpdaterXml)
#include "tst_hostileupdaterxml.moc"
