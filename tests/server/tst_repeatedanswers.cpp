#include "appexception.h"
#include "responsecryptoprocessor.h"
#include "responsesigner.h"
#include "thrownappexception.h"

#include <QtTest>

// The answers of one session come from one server, so the processor
// remembers the last trusted signer. Every later answer must still be
// checked in full where it differs: its own signature, and the trust in any
// other certificate.

namespace {

const QString record = QStringLiteral("<GetDocumentPageResponse><Nonce>{n}</Nonce></GetDocumentPageResponse>");

QByteArray envelopeFrom(const ResponseSigner &signer)
{
    return signer.envelope(record, QStringLiteral("{n}")).toUtf8();
}

QByteArray envelopeFrom(const char *role)
{
    return envelopeFrom(ResponseSigner(SigningIdentity::development(QString::fromLatin1(role))));
}

QStringList s_lines;

void keepLine(QtMsgType, const QMessageLogContext &, const QString &message)
{
    s_lines << message;
}

// The log lines of the table entries that refused the signer.
QStringList refusalsWhileOpening(const QByteArray &envelope)
{
    s_lines.clear();
    const QtMessageHandler previous = qInstallMessageHandler(&keepLine);
    thrownAppException([&] { ResponseCryptoProcessor processor(envelope); });
    qInstallMessageHandler(previous);
    return s_lines.filter(QRegularExpression(QStringLiteral("^CN = .* : ")));
}

} // namespace

class TestRepeatedAnswers : public QObject
{
    Q_OBJECT

private slots:
    void laterAnswersLogTheSameRefusals()
    {
        // Entry 2 accepts this signer, so entry 1 refuses it every time.
        const QStringList first = refusalsWhileOpening(envelopeFrom("server-2013"));
        QCOMPARE(first.size(), 1);
        QVERIFY(first.at(0).endsWith(QStringLiteral(" : IssuerInvalid")));
        QCOMPARE(refusalsWhileOpening(envelopeFrom("server-2013")), first);

        const SigningIdentity signer = SigningIdentity::development(QStringLiteral("server-2013"));
        const ResponseCryptoProcessor again(envelopeFrom(ResponseSigner(signer)));
        QCOMPARE(again.getContent(), record);
        QCOMPARE(again.getSigner(), X509Certificate2Ultra(signer.certificatePem, QSsl::Pem));
    }

    void alteredAnswerOfTheTrustedSignerRefused()
    {
        const SigningIdentity signer = SigningIdentity::development(QStringLiteral("server-2014"));
        ResponseCryptoProcessor accepted(envelopeFrom(ResponseSigner(signer)));
        const AppException e = thrownAppException([&] {
            ResponseCryptoProcessor processor(envelopeFrom(ResponseSigner(signer).withAlteredContent()));
        });
        QVERIFY2(e.message().startsWith(QStringLiteral("CMS signature is not valid: ")),
                 qPrintable(e.message()));
    }

    void otherCertificatesCheckedAfterATrustedOne_data()
    {
        QTest::addColumn<QString>("role");
        QTest::addColumn<QString>("message");
        QTest::newRow("impostor with the issuing CA's names")
            << "server-impostor" << "CommunicationMismatchUnstrustedServer";
        QTest::newRow("no policy") << "server-no-policy" << "CommunicationMismatchUnstrustedServer";
        QTest::newRow("twin of the server") << "server-2014-twin" << "";
    }

    void otherCertificatesCheckedAfterATrustedOne()
    {
        QFETCH(QString, role);
        QFETCH(QString, message);
        ResponseCryptoProcessor accepted(envelopeFrom("server-2014"));
        const QByteArray other = envelopeFrom(ResponseSigner(SigningIdentity::development(role)));
        for (int round = 0; round < 2; ++round) {
            const AppException e = thrownAppException([&] { ResponseCryptoProcessor processor(other); });
            QCOMPARE(e.message(), message.isEmpty() ? QStringLiteral("<nothing thrown>") : message);
        }
        ResponseCryptoProcessor stillAccepted(envelopeFrom("server-2014"));
    }
};

QTEST_GUILESS_MAIN(TestRepeatedAnswers)
#include "tst_repeatedanswers.moc"
