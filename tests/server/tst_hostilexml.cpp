// XML from a server or a page that tries to make the readers expand entities,
// read local files or choke on one enormous text node: every reader ends
// promptly with a clear refusal or with only what the document really holds.
#include "answerrecordwriter.h"
#include "appexception.h"
#include "configuration.h"
#include "getdocumentinforesponse.h"
#include "getdocumentpageresponse.h"
#include "responsecryptoprocessor.h"
#include "responsesigner.h"
#include "thrownappexception.h"

#include <QElapsedTimer>
#include <QTemporaryFile>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

// Generous enough for sanitizer builds; a reader that expanded the entities
// or copied the text over and over would take minutes.
constexpr int promptMilliseconds = 15000;

// Nine levels of ten references: fully expanded, 10^9 copies of "lol".
QString billionLaughs(const QString &root, const QString &body)
{
    QString dtd = QStringLiteral("<!DOCTYPE %1 [\n<!ENTITY lol0 \"lol\">\n").arg(root);
    for (int level = 1; level <= 9; ++level) {
        dtd += QStringLiteral("<!ENTITY lol%1 \"").arg(level);
        for (int copy = 0; copy < 10; ++copy)
            dtd += QStringLiteral("&lol%1;").arg(level - 1);
        dtd += QStringLiteral("\">\n");
    }
    return QStringLiteral("<?xml version=\"1.0\"?>\n") + dtd + QStringLiteral("]>\n") + body;
}

QString externalEntity(const QString &root, const QString &file, const QString &body)
{
    return QStringLiteral("<?xml version=\"1.0\"?>\n<!DOCTYPE %1 [<!ENTITY secret SYSTEM \"file://%2\">]>\n%3")
        .arg(root, file, body);
}

AppException refusal(const QString &envelope)
{
    return thrownAppException([&] { ResponseCryptoProcessor processor(envelope.toUtf8()); });
}

} // namespace

class TestHostileXml : public QObject
{
    Q_OBJECT

private:
    QTemporaryFile m_secret;
    const QByteArray m_secretText = "local-secret-7f3a";
    QElapsedTimer m_clock;

private slots:
    void initTestCase()
    {
        QVERIFY(m_secret.open());
        m_secret.write(m_secretText);
        m_secret.flush();
    }

    void init() { m_clock.start(); }

    void cleanup()
    {
        QVERIFY2(m_clock.elapsed() < promptMilliseconds, qPrintable(QString::number(m_clock.elapsed())));
    }

    void envelopeRefusesEntityTricks_data()
    {
        QTest::addColumn<QString>("envelope");
        QTest::newRow("entity expansion in Data")
            << billionLaughs(QStringLiteral("Response"),
                             QStringLiteral("<Response><Data>&lol9;</Data></Response>"));
        QTest::newRow("entity expansion in Error")
            << billionLaughs(QStringLiteral("Response"),
                             QStringLiteral("<Response><Error>&lol9;</Error><ShowError>true</ShowError></Response>"));
        QTest::newRow("external entity in Error")
            << externalEntity(QStringLiteral("Response"), m_secret.fileName(),
                              QStringLiteral("<Response><Error>&secret;</Error><ShowError>true</ShowError></Response>"));
    }

    void envelopeRefusesEntityTricks()
    {
        QFETCH(QString, envelope);
        const AppException e = refusal(envelope);
        QVERIFY(!e.message().contains(QStringLiteral("<nothing thrown>")));
        QVERIFY(!e.message().contains(QStringLiteral("lollollol")));
        QVERIFY(!e.message().contains(QString::fromLatin1(m_secretText)));
        QVERIFY(e.message().size() < 4096);
    }

    void hugeTextNodeInTheEnvelope()
    {
        // 48 MiB of Base64 that is no CMS: refused by the CMS parser, not by
        // running out of time or memory.
        const QString envelope = QStringLiteral("<Response><Data>")
                                 + QString(48 * 1024 * 1024, QLatin1Char('A'))
                                 + QStringLiteral("</Data></Response>");
        const AppException e = refusal(envelope);
        QVERIFY2(e.message().startsWith(QStringLiteral("Unable to parse CMS: ")), qPrintable(e.message()));
    }

    void hugeUnknownNodeBesideASignedAnswerIsIgnored()
    {
        GetDocumentInfoResponse info;
        info.nonce = QStringLiteral("n-1");
        info.sessionId = QStringLiteral("s-1");
        const QString signedEnvelope =
            ResponseSigner(SigningIdentity::development(QStringLiteral("server-2014")))
                .envelope(AnswerRecordWriter::toXml(info), info.nonce);
        QString padded = signedEnvelope;
        padded.replace(QStringLiteral("<Nonce>"),
                       QStringLiteral("<Padding>") + QString(32 * 1024 * 1024, QLatin1Char('x'))
                           + QStringLiteral("</Padding><Nonce>"));
        QVERIFY(padded.size() > signedEnvelope.size());
        const ResponseCryptoProcessor processor(padded.toUtf8());
        QCOMPARE(processor.getContent(), AnswerRecordWriter::toXml(info));
    }

    void recordsIgnoreEntityTricks()
    {
        const QString expanded = billionLaughs(
            QStringLiteral("GetDocumentInfoResponse"),
            QStringLiteral("<GetDocumentInfoResponse><Nonce>n-2</Nonce><SessionId>&lol9;</SessionId>"
                           "</GetDocumentInfoResponse>"));
        QXmlStreamReader reader(expanded);
        const GetDocumentInfoResponse info = GetDocumentInfoResponse::fromXml(reader);
        QCOMPARE(info.nonce, QStringLiteral("n-2"));
        QVERIFY(info.sessionId.size() < 4096);

        QXmlStreamReader external(externalEntity(
            QStringLiteral("GetDocumentInfoResponse"), m_secret.fileName(),
            QStringLiteral("<GetDocumentInfoResponse><SessionId>&secret;</SessionId></GetDocumentInfoResponse>")));
        QVERIFY(!GetDocumentInfoResponse::fromXml(external).sessionId.contains(QString::fromLatin1(m_secretText)));
    }

    void hugePageIsReadWhole()
    {
        GetDocumentPageResponse page;
        page.nonce = QStringLiteral("n-3");
        page.pageNumber = 1;
        page.page = DocData{QStringLiteral("doc"), QStringLiteral("page"), QByteArray(24 * 1024 * 1024, '\x5a')};
        QXmlStreamReader reader(AnswerRecordWriter::toXml(page));
        const GetDocumentPageResponse read = GetDocumentPageResponse::fromXml(reader);
        QVERIFY(read.page.has_value());
        QCOMPARE(read.page->data, page.page->data);
    }

    void signingConfigurationIgnoresEntityTricks()
    {
        const Configuration expanded = Configuration::deserialize(billionLaughs(
            QStringLiteral("Configuration"),
            QStringLiteral("<Configuration><Pkcs11Library>&lol9;</Pkcs11Library></Configuration>")));
        QVERIFY(expanded.getPkcs11Library().size() < 4096);
        QVERIFY(!expanded.isValid());

        const Configuration external = Configuration::deserialize(externalEntity(
            QStringLiteral("Configuration"), m_secret.fileName(),
            QStringLiteral("<Configuration><Pkcs11TokenLabel>&secret;</Pkcs11TokenLabel></Configuration>")));
        QVERIFY(!external.getPkcs11TokenLabel().contains(QString::fromLatin1(m_secretText)));
    }
};

QTEST_GUILESS_MAIN(TestHostileXml)
#include "tst_hostilexml.moc"
