#include "appexception.h"
#include "fixturepaths.h"
#include "signingidentity.h"
#include "thrownappexception.h"
#include "x509certificate2ultra.h"

#include <QDateTime>
#include <QtTest>

#include <openssl/objects.h>
#include <openssl/pem.h>

namespace {

X509Certificate2Ultra devCertificate(const QString &role)
{
    return X509Certificate2Ultra(SigningIdentity::development(role).certificatePem, QSsl::Pem);
}

X509Certificate2Ultra fixture(const QString &name)
{
    QFile file(QStringLiteral(QUILLMARK_SOURCE_DIR "/tests/core/data/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return X509Certificate2Ultra();
    return X509Certificate2Ultra(file.readAll(), QSsl::Pem);
}

// A self-signed certificate valid from the given second for an hour.
X509Certificate2Ultra selfSignedFrom(qint64 notBeforeSecs)
{
    const SigningIdentity identity = SigningIdentity::development(QStringLiteral("server-2014"));
    const BioPtr keyBio(BIO_new_mem_buf(identity.keyPem.constData(), identity.keyPem.size()));
    const EvpPkeyPtr key(PEM_read_bio_PrivateKey(keyBio.get(), nullptr, nullptr, nullptr));
    const X509Ptr x509(X509_new());
    X509_set_version(x509.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(x509.get()), 7);
    ASN1_TIME_set(X509_getm_notBefore(x509.get()), time_t(notBeforeSecs));
    ASN1_TIME_set(X509_getm_notAfter(x509.get()), time_t(notBeforeSecs + 3600));
    X509_NAME *name = X509_get_subject_name(x509.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char *>("Just Now"), -1, -1, 0);
    X509_set_issuer_name(x509.get(), name);
    X509_set_pubkey(x509.get(), key.get());
    X509_sign(x509.get(), key.get(), EVP_sha256());
    unsigned char *der = nullptr;
    const int length = i2d_X509(x509.get(), &der);
    const QByteArray bytes(reinterpret_cast<const char *>(der), length);
    OPENSSL_free(der);
    return X509Certificate2Ultra(bytes, QSsl::Der);
}

} // namespace

class TestX509Certificate2Ultra : public QObject
{
    Q_OBJECT

private slots:
    void encodingsRoundTrip()
    {
        const X509Certificate2Ultra server = devCertificate(QStringLiteral("server-2014"));
        QVERIFY(!server.isNull());
        const X509Certificate2Ultra fromDer(server.getRawData(), QSsl::Der);
        QCOMPARE(fromDer, server);
        QVERIFY(server.toPemString().startsWith(QStringLiteral("-----BEGIN CERTIFICATE-----\n")));
        QCOMPARE(X509Certificate2Ultra(server.toPemString().toLatin1(), QSsl::Pem), server);
        QVERIFY(server.toX509());
    }

    void nullCertificate()
    {
        const X509Certificate2Ultra empty;
        QVERIFY(empty.isNull());
        QVERIFY(empty.getRawData().isEmpty());
        QVERIFY(!empty.toX509());
        QCOMPARE(empty.subjectDn(), QString());
        QVERIFY(!empty.isCa());
    }

    void validNowCountsWholeSeconds()
    {
        // The certificate is made and checked within one second; retry when
        // the clock ticked in between.
        for (int attempt = 0; attempt < 5; ++attempt) {
            const qint64 second = QDateTime::currentSecsSinceEpoch();
            const X509Certificate2Ultra startsNow = selfSignedFrom(second);
            const bool valid = startsNow.isValidNow();
            if (QDateTime::currentSecsSinceEpoch() != second)
                continue;
            QVERIFY(!valid);
            QVERIFY(selfSignedFrom(second - 10).isValidNow());
            return;
        }
        QFAIL("clock kept ticking over");
    }

    void validNowFalseAfterExpiry()
    {
        QVERIFY(!devCertificate(QStringLiteral("server-expired")).isValidNow());
        QVERIFY(devCertificate(QStringLiteral("server-2014")).isValidNow());
    }

    void displayValuesWithoutCommonName()
    {
        const X509Certificate2Ultra certificate = fixture(QStringLiteral("no-common-name.pem"));
        QVERIFY(!certificate.isNull());
        QCOMPARE(certificate.serialNumber(), QByteArray("0a:1b:ff"));
        QCOMPARE(certificate.displayName(),
                 QStringLiteral("Unknown - Varnek Development Issuing CA 2014 - 0A1BFF"));
        const QString subject = certificate.subjectDn();
        QVERIFY2(subject.contains(QStringLiteral("OU=Unit One, OU=Unit Two"))
                     || subject.contains(QStringLiteral("OU=Unit Two, OU=Unit One")),
                 qPrintable(subject));
        QVERIFY(subject.contains(QStringLiteral("C=SK")));
        QCOMPARE(subject.count(QStringLiteral(", ")), 4);
        QVERIFY(!subject.endsWith(QStringLiteral(", ")));
        QVERIFY(!certificate.isCa());
        QVERIFY(!certificate.basicConstraints().isValid());
    }

    void issuerDnNamesTheIssuer()
    {
        const X509Certificate2Ultra server = devCertificate(QStringLiteral("server-2014"));
        const QString issuer = server.issuerDn();
        QVERIFY(issuer.contains(QStringLiteral("CN=Varnek Development Issuing CA 2014")));
        QCOMPARE(issuer, devCertificate(QStringLiteral("issuing-2014")).subjectDn());
        QCOMPARE(server.displayName().section(QStringLiteral(" - "), 0, 1),
                 QStringLiteral("Varnek Development Signing Server - Varnek Development Issuing CA 2014"));
    }

    void qualifiedAndCaFlags()
    {
        QVERIFY(fixture(QStringLiteral("qualified.pem")).isQualified());
        QVERIFY(!devCertificate(QStringLiteral("server-2014")).isQualified());
        QVERIFY(devCertificate(QStringLiteral("issuing-2014")).isCa());
        QVERIFY(devCertificate(QStringLiteral("root-2006")).isCa());
        QVERIFY(!devCertificate(QStringLiteral("server-2014")).isCa());
        QVERIFY(devCertificate(QStringLiteral("server-2014")).basicConstraints().isValid());
    }

    void readOidIsNumeric()
    {
        const std::unique_ptr<ASN1_OBJECT, OpenSslDeleter<ASN1_OBJECT_free>> policies(
            OBJ_nid2obj(NID_certificate_policies));
        QCOMPARE(X509Certificate2Ultra::readOid(policies.get()), QStringLiteral("2.5.29.32"));
        const std::unique_ptr<ASN1_OBJECT, OpenSslDeleter<ASN1_OBJECT_free>> server(
            OBJ_txt2obj("1.3.158.48261537.0.0.0.1.10.1.0", 1));
        QCOMPARE(X509Certificate2Ultra::readOid(server.get()),
                 QStringLiteral("1.3.158.48261537.0.0.0.1.10.1.0"));
    }

    void issuerAccepted_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("issuer");
        QTest::newRow("current issuing CA") << "server-2014" << "issuing-2014";
        QTest::newRow("expired previous CA") << "server-2013" << "issuing-2013";
        QTest::newRow("expired root, CA subject") << "issuing-2013" << "root-2006";
        QTest::newRow("self-signed root") << "root-2006" << "root-2006";
        QTest::newRow("impostor under its own CA") << "server-impostor" << "impostor-ca";
    }

    void issuerAccepted()
    {
        QFETCH(QString, subject);
        QFETCH(QString, issuer);
        devCertificate(subject).verifyIssuer(devCertificate(issuer));
    }

    void issuerRefused_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("issuer");
        QTest::addColumn<QString>("key");
        QTest::newRow("other CA") << "server-2014" << "issuing-2013" << "IssuerInvalid";
        QTest::newRow("issuer of the issuer") << "server-2014" << "root-2014" << "IssuerInvalid";
        QTest::newRow("end entity as issuer") << "server-2014-twin" << "server-2014" << "IssuerInvalid";
        // Name and key identifier match, only the signature does not.
        QTest::newRow("impostor") << "server-impostor" << "issuing-2014" << "IssuerInvalid";
        QTest::newRow("null issuer") << "server-2014" << QString() << "InvalidCertificate";
        QTest::newRow("null subject") << QString() << "issuing-2014" << "InvalidCertificate";
    }

    void issuerRefused()
    {
        QFETCH(QString, subject);
        QFETCH(QString, issuer);
        QFETCH(QString, key);
        const auto load = [](const QString &role) {
            return role.isEmpty() ? X509Certificate2Ultra() : devCertificate(role);
        };
        const AppException e = thrownAppException([&] { load(subject).verifyIssuer(load(issuer)); });
        QCOMPARE(e.message(), key);
        QVERIFY(e.isUserMessage());
        QVERIFY(e.toString(true).contains(QStringLiteral("x509certificate2ultra.cpp")));
    }

    void policyAccepted_data()
    {
        QTest::addColumn<QString>("role");
        QTest::newRow("only policy") << "server-2014";
        QTest::newRow("listed last of three") << "server-policy-last";
        QTest::newRow("expired certificate") << "server-expired";
    }

    void policyAccepted()
    {
        QFETCH(QString, role);
        devCertificate(role).verifyCustomPolicy(QStringLiteral("1.3.158.48261537.0.0.0.1.10.1.0"));
    }

    void policyRefused_data()
    {
        QTest::addColumn<QString>("role");
        QTest::addColumn<QString>("oid");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("user");
        const QString policy = QStringLiteral("1.3.158.48261537.0.0.0.1.10.1.0");
        QTest::newRow("not listed") << "server-policy-last" << "1.3.158.48261537.0.0.0.1.10.1"
                                    << "ResponseCertPolicyMissing" << true;
        QTest::newRow("no extension") << "server-no-policy" << policy
                                      << "Certificate does not contain 509v3 Certificate Policies extension"
                                      << false;
        QTest::newRow("undecodable extension")
            << "server-policies-malformed" << policy
            << "Unable to parse 509v3 Certificate Policies extension" << false;
        QTest::newRow("null certificate") << QString() << policy << "Unable to load X509 certificate"
                                          << false;
    }

    void policyRefused()
    {
        QFETCH(QString, role);
        QFETCH(QString, oid);
        QFETCH(QString, message);
        QFETCH(bool, user);
        const X509Certificate2Ultra certificate =
            role.isEmpty() ? X509Certificate2Ultra() : devCertificate(role);
        const AppException e = thrownAppException([&] { certificate.verifyCustomPolicy(oid); });
        QCOMPARE(e.message(), message);
        QCOMPARE(e.isUserMessage(), user);
    }
};

QTEST_GUILESS_MAIN(TestX509Certificate2Ultra)
#include "tst_x509certificate2ultra.moc"
