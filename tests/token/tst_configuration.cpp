// The signing configuration: its exact one-line text, reading it back
// leniently, and when it can be used.
#include "configuration.h"
#include "fixturecredential.h"
#include "moduletrust.h"
#include "tokentestbed.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <sys/stat.h>

namespace {

const QString emptyText = QStringLiteral(
    "<?xml version=\"1.0\"?><Configuration><CspStoreLocation></CspStoreLocation><CspStoreName></CspStoreName>"
    "<Pkcs11Library></Pkcs11Library><Pkcs11TokenLabel></Pkcs11TokenLabel><Pkcs11TokenSerial></Pkcs11TokenSerial>"
    "<SigningCertificate></SigningCertificate></Configuration>");

} // namespace

class ConfigurationTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void defaultSerialisesToEmptyElements();
    void roundTrip();
    void escapesMarkup();
    void unreadableTextGivesEmptyConfiguration_data();
    void unreadableTextGivesEmptyConfiguration();
    void readsAnyOrderAndRoot();
    void keepsWhatWasReadBeforeAnError();
    void validity_data();
    void validity();
    void availability_data();
    void availability();

private:
    Configuration pkcs11Configuration() const;
    QByteArray m_certificate;
    // A folder anybody may write, as a browser's downloads are to a page.
    QTemporaryDir m_downloads;
};

void ConfigurationTest::initTestCase()
{
    m_certificate = FixtureCredential::createAuthority(QStringLiteral("Configuration CA")).certificateDer();
    QCOMPARE(::chmod(QFile::encodeName(m_downloads.path()).constData(), 0777), 0);
    QFile planted(m_downloads.filePath(QStringLiteral("module.so")));
    QVERIFY(planted.open(QIODevice::WriteOnly));
}

Configuration ConfigurationTest::pkcs11Configuration() const
{
    Configuration configuration;
    configuration.setPkcs11Library(QStringLiteral("/usr/lib/token/module.so"));
    configuration.setPkcs11TokenLabel(QStringLiteral("Token"));
    configuration.setPkcs11TokenSerial(QStringLiteral("0123456789abcdef"));
    configuration.setSigningCertificate(m_certificate);
    return configuration;
}

void ConfigurationTest::defaultSerialisesToEmptyElements()
{
    QCOMPARE(Configuration().serialize(), emptyText);
}

void ConfigurationTest::roundTrip()
{
    Configuration configuration = pkcs11Configuration();
    configuration.setCspStoreLocation(QStringLiteral("CurrentUser"));
    configuration.setCspStoreName(QStringLiteral("My"));
    const QString text = configuration.serialize();
    QVERIFY(!text.contains(QLatin1Char('\n')));
    QVERIFY(text.contains(QStringLiteral("<SigningCertificate>") + QString::fromLatin1(m_certificate.toBase64())
                          + QStringLiteral("</SigningCertificate>")));
    QCOMPARE(Configuration::deserialize(text), configuration);
}

void ConfigurationTest::escapesMarkup()
{
    Configuration configuration = pkcs11Configuration();
    configuration.setPkcs11TokenLabel(QStringLiteral("A&B <C>"));
    const QString text = configuration.serialize();
    QVERIFY(text.contains(QStringLiteral("<Pkcs11TokenLabel>A&amp;B &lt;C&gt;</Pkcs11TokenLabel>")));
    QCOMPARE(Configuration::deserialize(text).getPkcs11TokenLabel(), QStringLiteral("A&B <C>"));
}

void ConfigurationTest::unreadableTextGivesEmptyConfiguration_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("not XML") << QStringLiteral("this is not a configuration");
    QTest::newRow("Base64 of a configuration") << QString::fromLatin1(emptyText.toUtf8().toBase64());
}

void ConfigurationTest::unreadableTextGivesEmptyConfiguration()
{
    QFETCH(QString, text);
    const Configuration configuration = Configuration::deserialize(text);
    QCOMPARE(configuration, Configuration());
    QVERIFY(!configuration.isValid());
}

void ConfigurationTest::readsAnyOrderAndRoot()
{
    const QString text = QStringLiteral("<Settings><Unknown>x</Unknown><Nested><Pkcs11TokenSerial>S1</Pkcs11TokenSerial>"
                                        "</Nested><SigningCertificate>%1</SigningCertificate>"
                                        "<Pkcs11Library>/m.so</Pkcs11Library><Pkcs11Library>/n.so</Pkcs11Library></Settings>")
                             .arg(QString::fromLatin1(m_certificate.toBase64()));
    const Configuration configuration = Configuration::deserialize(text);
    QCOMPARE(configuration.getPkcs11TokenSerial(), QStringLiteral("S1"));
    // The later element wins.
    QCOMPARE(configuration.getPkcs11Library(), QStringLiteral("/n.so"));
    QCOMPARE(configuration.getSigningCertificate(), m_certificate);
    QVERIFY(configuration.isValid());
}

void ConfigurationTest::keepsWhatWasReadBeforeAnError()
{
    const QString text = QStringLiteral("<Configuration><Pkcs11Library>/m.so</Pkcs11Library><Broken<"
                                        "<Pkcs11TokenSerial>S1</Pkcs11TokenSerial></Configuration>");
    const Configuration configuration = Configuration::deserialize(text);
    QCOMPARE(configuration.getPkcs11Library(), QStringLiteral("/m.so"));
    QVERIFY(configuration.getPkcs11TokenSerial().isEmpty());
}

void ConfigurationTest::validity_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("pkcs11");
    QTest::addColumn<bool>("csp");
    QTest::addColumn<bool>("valid");
    QTest::newRow("complete PKCS#11") << QString() << true << false << true;
    QTest::newRow("no label needed") << QStringLiteral("no label") << true << false << true;
    QTest::newRow("no certificate") << QStringLiteral("no certificate") << false << false << false;
    QTest::newRow("certificate that does not decode") << QStringLiteral("garbage certificate") << false << false << false;
    QTest::newRow("no serial") << QStringLiteral("no serial") << false << false << false;
    QTest::newRow("CSP fields as well") << QStringLiteral("csp fields") << false << false << false;
    QTest::newRow("CSP only") << QStringLiteral("csp only") << false << true << true;
}

void ConfigurationTest::validity()
{
    QFETCH(QString, change);
    QFETCH(bool, pkcs11);
    QFETCH(bool, csp);
    QFETCH(bool, valid);
    Configuration configuration = pkcs11Configuration();
    if (change == QLatin1String("no label"))
        configuration.setPkcs11TokenLabel(QString());
    else if (change == QLatin1String("no certificate"))
        configuration.setSigningCertificate(QByteArray());
    else if (change == QLatin1String("garbage certificate"))
        configuration.setSigningCertificate(QByteArray("not DER"));
    else if (change == QLatin1String("no serial"))
        configuration.setPkcs11TokenSerial(QString());
    if (change.startsWith(QLatin1String("csp"))) {
        configuration.setCspStoreLocation(QStringLiteral("CurrentUser"));
        configuration.setCspStoreName(QStringLiteral("My"));
    }
    if (change == QLatin1String("csp only")) {
        configuration.setPkcs11Library(QString());
        configuration.setPkcs11TokenLabel(QString());
        configuration.setPkcs11TokenSerial(QString());
    }
    QCOMPARE(configuration.isPkcs11Configuration(), pkcs11);
    QCOMPARE(configuration.isCspConfiguration(), csp);
    QCOMPARE(configuration.isValid(), valid);
}

void ConfigurationTest::availability_data()
{
    QTest::addColumn<QStringList>("storePaths");
    QTest::addColumn<bool>("selectableStore");
    QTest::addColumn<QString>("module");
    QTest::addColumn<bool>("available");
    const QString installed = TokenTestBed::softHsmModule();
    const QString other = QStringLiteral("/other.so");
    QTest::newRow("named store with the module")
        << QStringList({other, installed}) << false << installed << true;
    QTest::newRow("only other modules") << QStringList({other}) << false << installed << false;
    QTest::newRow("selectable store") << QStringList({other}) << true << installed << true;
    QTest::newRow("no stores") << QStringList() << false << installed << false;
    // The page stored the configuration; it may name a library it had the
    // browser download.
    const QString planted = m_downloads.filePath(QStringLiteral("module.so"));
    QTest::newRow("selectable store, module in a folder anybody may write")
        << QStringList() << true << planted << false;
    QTest::newRow("named store, module in a folder anybody may write")
        << QStringList({planted}) << false << planted << false;
}

void ConfigurationTest::availability()
{
    QFETCH(QStringList, storePaths);
    QFETCH(bool, selectableStore);
    QFETCH(QString, module);
    QFETCH(bool, available);
    const auto trust = std::make_shared<const ModuleTrust>(ModuleTrust::system());
    QList<Pkcs11CertStore> stores;
    for (const QString &path : storePaths)
        stores.append(Pkcs11CertStore(QStringLiteral("Store"), path, false, trust));
    if (selectableStore)
        stores.append(Pkcs11CertStore(QStringLiteral("Chosen"), QString(), true, trust));
    Configuration configuration = pkcs11Configuration();
    configuration.setPkcs11Library(module);
    QCOMPARE(configuration.isAvailableIn(stores), available);

    // An invalid configuration is never available, whatever the stores.
    configuration.setSigningCertificate(QByteArray());
    QVERIFY(!configuration.isAvailableIn(stores));
}

QTEST_MAIN(ConfigurationTest)
#include "tst_configuration.moc"
