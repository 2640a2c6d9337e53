#include "appexception.h"
#include "logcapture.h"
#include "responsecryptoprocessor.h"
#include "responseenvelope.h"
#include "responsesigner.h"
#include "thrownappexception.h"

#include <QtTest>

namespace {

// Line ends and non-ASCII text must reach the reader byte for byte.
const QString record = QStringLiteral(
    "<GetDocumentInfoResponse>\n  <Nonce>{n}</Nonce>\r\n  <SessionId>s-1</SessionId>\n"
    "  <Note>páč €</Note>\n</GetDocumentInfoResponse>\n");

SigningIdentity identity(const char *role)
{
    return SigningIdentity::development(QString::fromLatin1(role));
}

QString signedBy(const char *role)
{
    return ResponseSigner(identity(role)).envelope(record, QStringLiteral("{n}"));
}

AppException refusal(const QString &envelope)
{
    return thrownAppException([&] { ResponseCryptoProcessor processor(envelope.toUtf8()); });
}

} // namespace

class TestResponseCryptoProcessor : public QObject
{
    Q_OBJECT

private slots:
    void compiledInIssuersInTableOrder()
    {
        const auto issuers = ResponseCryptoProcessor::compiledInIssuers();
        QCOMPARE(issuers.size(), 3);
        QCOMPARE(issuers.at(0).distinguishedName,
                 QStringLiteral("CN = Varnek Development Issuing CA 2014, O = Varnek Development, "
                                "L = Bratislava, C = SK"));
        QCOMPARE(issuers.at(1).distinguishedName,
                 QStringLiteral("CN = Varnek Development Issuing CA 2013, O = Varnek Development, "
                                "L = Bratislava, C = SK"));
        QCOMPARE(issuers.at(2).distinguishedName,
                 QStringLiteral("CN = Varnek Development Root CA, O = Varnek Development, "
                                "L = Bratislava, C = SK"));
        QCOMPARE(issuers.at(0).certificate.expiryDate(), QDateTime(QDate(2029, 9, 28), QTime(0, 0), Qt::UTC));
        QCOMPARE(issuers.at(2).certificate.effectiveDate(), QDateTime(QDate(2006, 3, 22), QTime(0, 0), Qt::UTC));
    }

    void trustedSignerAccepted_data()
    {
        QTest::addColumn<QString>("role");
        QTest::newRow("current issuing CA") << "server-2014";
        QTest::newRow("expired previous CA, entry 2") << "server-2013";
        QTest::newRow("expired root, entry 3") << "server-root-2006";
        QTest::newRow("expired signer") << "server-expired";
        QTest::newRow("policy listed last") << "server-policy-last";
    }

    void trustedSignerAccepted()
    {
        QFETCH(QString, role);
        const SigningIdentity signer = SigningIdentity::development(role);
        const ResponseCryptoProcessor processor(
            ResponseSigner(signer).envelope(record, QStringLiteral("{n}")).toUtf8());
        QCOMPARE(processor.getContent(), record);
        QCOMPARE(processor.getSigner(), X509Certificate2Ultra(signer.certificatePem, QSsl::Pem));
    }

    void base64WithLineBreaksAndEmptyError()
    {
        const QByteArray der =
            ResponseSigner(identity("server-2014")).signedData(record.toUtf8()).toBase64();
        QByteArray wrapped;
        for (int i = 0; i < der.size(); i += 64)
            wrapped += der.mid(i, 64) + "\r\n";
        const QString envelope = QStringLiteral("<Envelope><Error></Error><Payload><Data>")
                                 + QString::fromLatin1(wrapped)
                                 + QStringLiteral("</Data></Payload></Envelope>");
        QCOMPARE(ResponseCryptoProcessor(envelope.toUtf8()).getContent(), record);
    }

    void untrustedSigner_data()
    {
        QTest::addColumn<QString>("role");
        QTest::newRow("no policy") << "server-no-policy";
        QTest::newRow("impostor of the issuing CA") << "server-impostor";
        QTest::newRow("issued by the untrusted second root") << "issuing-2014";
    }

    void untrustedSigner()
    {
        QFETCH(QString, role);
        LogCapture log;
        const AppException e = refusal(ResponseSigner(SigningIdentity::development(role))
                                           .envelope(record, QStringLiteral("{n}")));
        QCOMPARE(e.message(), QStringLiteral("CommunicationMismatchUnstrustedServer"));
        QVERIFY(e.isUserMessage());
        // One line per table entry says why it refused.
        QCOMPARE(log.messages().filter(QRegularExpression(QStringLiteral("^CN = .* : "))).size(),
                 3);
        QVERIFY(log.messages().last().startsWith(
            QStringLiteral("Server certificate: -----BEGIN CERTIFICATE-----")));
    }

    void noPolicyLogsWhyEachEntryRefused()
    {
        LogCapture log;
        refusal(signedBy("server-no-policy"));
        const QStringList reasons =
            log.messages().filter(QRegularExpression(QStringLiteral("^CN = .* : ")));
        QVERIFY(reasons.at(0).endsWith(
            QStringLiteral(" : Certificate does not contain 509v3 Certificate Policies extension")));
        QVERIFY(reasons.at(1).endsWith(QStringLiteral(" : IssuerInvalid")));
        QVERIFY(reasons.at(2).endsWith(QStringLiteral(" : IssuerInvalid")));
    }

    void brokenSignedData_data()
    {
        QTest::addColumn<QString>("envelope");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("withOpenSslText");
        const auto server = [] { return ResponseSigner(identity("server-2014")); };
        QTest::newRow("two signers")
            << server().withSecondSigner(identity("server-2014-twin")).envelope(record, QStringLiteral("{n}"))
            << "CMS does not contain exactly one signing certificate" << false;
        QTest::newRow("altered content")
            << server().withAlteredContent().envelope(record, QStringLiteral("{n}"))
            << "CMS signature is not valid: " << true;
        QTest::newRow("detached content")
            << server().withDetachedContent().envelope(record, QStringLiteral("{n}"))
            << "Unable to get CMS content: " << false;
        ResponseEnvelope notCms;
        notCms.data = QString::fromLatin1(QByteArray("certainly not DER").toBase64());
        QTest::newRow("not CMS") << notCms.toXml() << "Unable to parse CMS: " << true;
    }

    void brokenSignedData()
    {
        QFETCH(QString, envelope);
        QFETCH(QString, message);
        QFETCH(bool, withOpenSslText);
        LogCapture log;
        const AppException e = refusal(envelope);
        QVERIFY2(e.message().startsWith(message), qPrintable(e.message()));
        // The %1 carries OpenSSL's own account of the failure, where it has one
        // (a detached content is no OpenSSL error).
        QCOMPARE(e.message().size() > message.size(), withOpenSslText);
        QVERIFY(!e.isUserMessage());
        QVERIFY(e.toString(true).contains(QStringLiteral("responsecryptoprocessor.cpp")));
        QCOMPARE(
            log.messages().filter(QStringLiteral("CMS processing error: AppException: ")).size(),
            1);
    }

    void serverError_data()
    {
        QTest::addColumn<QString>("showError");
        QTest::addColumn<bool>("user");
        QTest::newRow("TRUE among blanks") << " TRUE " << true;
        QTest::newRow("true") << "true" << true;
        QTest::newRow("absent") << QString() << false;
        QTest::newRow("yes") << "yes" << false;
    }

    void serverError()
    {
        QFETCH(QString, showError);
        QFETCH(bool, user);
        ResponseEnvelope envelope;
        envelope.error = QStringLiteral("Dokument bol medzičasom podpísaný.");
        envelope.showError = showError;
        // Data beside the error changes nothing: the server's word wins.
        envelope.data = QString::fromLatin1(
            ResponseSigner(identity("server-2014")).signedData(record.toUtf8()).toBase64());
        const AppException e = refusal(envelope.toXml());
        QCOMPARE(e.message(), envelope.error);
        QCOMPARE(e.isUserMessage(), user);
    }

    void dataMissing_data()
    {
        QTest::addColumn<QString>("envelope");
        QTest::newRow("no Data") << "<Response><Nonce>{n}</Nonce></Response>";
        QTest::newRow("empty Data") << "<Response><Data></Data><Error/></Response>";
        QTest::newRow("not XML") << "this is not XML at all";
        QTest::newRow("Data after an XML error") << "<Response><Nonce><x/></Nonce><Data>AAAA</Data></Response>";
        QTest::newRow("Data with child element") << "<Response><Data><b>AAAA</b></Data></Response>";
        QTest::newRow("wrong case") << "<Response><data>AAAA</data></Response>";
    }

    void dataMissing()
    {
        QFETCH(QString, envelope);
        const AppException e = refusal(envelope);
        QCOMPARE(e.message(), QStringLiteral("ResponseDataPartMissing"));
        QVERIFY(e.isUserMessage());
    }

    void lastDataWins()
    {
        const QString good = signedBy("server-2014");
        const QString envelope = good;
        QString twice = envelope;
        twice.replace(QStringLiteral("<Response>"), QStringLiteral("<Response><Data>AAAA</Data>"));
        QCOMPARE(ResponseCryptoProcessor(twice.toUtf8()).getContent(), record);
    }
};

QTEST_GUILESS_MAIN(TestResponseCryptoProcessor)
#include "tst_responsecryptoprocessor.moc"
