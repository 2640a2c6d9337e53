// Hash signing on SoftHSM2 tokens, from a listed certificate to a verified
// signature, and every failure with its key. The fault module forwards to
// SoftHSM2 and records what reaches the token.
#include "certstorefactory.h"
#include "configuration.h"
#include "diagnosticlog.h"
#include "logcapture.h"
#include "moduletrust.h"
#include "opensslpointers.h"
#include "pkcs11library.h"
#include "scriptedpinprompt.h"
#include "signaturegeneratorfactory.h"
#include "testhome.h"
#include "tokentestbed.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QTest>

#include <memory>

namespace {

const QString sha1 = QStringLiteral("1.3.14.3.2.26");
const QString sha256 = QStringLiteral("2.16.840.1.101.3.4.2.1");
const QString sha384 = QStringLiteral("2.16.840.1.101.3.4.2.2");
const QString sha512 = QStringLiteral("2.16.840.1.101.3.4.2.3");
const QString md5 = QStringLiteral("1.2.840.113549.2.5");

const QString signerPin = QStringLiteral("1111");
// Distinctive enough that no timestamp or thread number in a log line can
// contain it by chance.
const QString alwaysPin = QStringLiteral("Al3-Wz9q");
const QByteArray sha256Prefix = QByteArray::fromHex("3031300d060960864801650304020105000420");

QByteArray documentHash(QCryptographicHash::Algorithm algorithm)
{
    return QCryptographicHash::hash(QByteArrayLiteral("the document of the server"), algorithm);
}

// Checked with OpenSSL directly against the certificate, independently of
// the generator's own check.
bool verifies(const QByteArray &certificateDer, const QByteArray &signature, const QByteArray &hash,
              const EVP_MD *digest)
{
    const auto *der = reinterpret_cast<const unsigned char *>(certificateDer.constData());
    X509Ptr certificate(d2i_X509(nullptr, &der, certificateDer.size()));
    EVP_PKEY *key = X509_get0_pubkey(certificate.get());
    std::unique_ptr<EVP_PKEY_CTX, void (*)(EVP_PKEY_CTX *)> context(EVP_PKEY_CTX_new(key, nullptr),
                                                                    EVP_PKEY_CTX_free);
    return EVP_PKEY_verify_init(context.get()) == 1
           && EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) == 1
           && EVP_PKEY_CTX_set_signature_md(context.get(), digest) == 1
           && EVP_PKEY_verify(context.get(), reinterpret_cast<const unsigned char *>(signature.constData()),
                              static_cast<size_t>(signature.size()),
                              reinterpret_cast<const unsigned char *>(hash.constData()),
                              static_cast<size_t>(hash.size()))
                  == 1;
}

} // namespace

class SignatureGeneratorTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void listedCertificateSignsThroughConfiguration();
    void signsEveryHashAlgorithm_data();
    void signsEveryHashAlgorithm();
    void digestInfoReachesModule();
    void digestInfoLengths_data();
    void digestInfoLengths();
    void unknownAlgorithms();
    void verificationByKeyType();
    void wrongHashLengthAfterLogin();
    void unsupportedHashOid();
    void twinKeysUseTheFirst();
    void alwaysAuthenticateAsksTwice();
    void failures_data();
    void failures();
    void cancelledPinClosesSession();
    void givingUpAfterThePinUsesNoKey();
    void loadFailureLeavesFactory();
    void noLogLineHoldsAPin();

private:
    struct Signer
    {
        QString label;
        QString serial;
        QByteArray certificate;
    };
    static Outcome signOnWorker(const QString &module, const Signer &signer, const QByteArray &hash,
                                const QString &oid);
    static Signer signerOf(const QString &label, const QByteArray &certificate);
    void checkSessionReleased(bool loggedIn) const;

    std::unique_ptr<TokenTestBed> m_bed;
    std::unique_ptr<ScriptedPinPrompt> m_driver;
    Signer m_signer;
    Signer m_twins;
    Signer m_always;
    Signer m_ec;
    Signer m_orphan;
};

SignatureGeneratorTest::Signer SignatureGeneratorTest::signerOf(const QString &label,
                                                                 const QByteArray &certificate)
{
    Signer signer{label, QString(), certificate};
    Pkcs11Library library(TokenTestBed::softHsmModule(), ModuleTrust::system(),
                          TokenTestBed::pinPrompt());
    for (unsigned long slot : library.getSlots()) {
        const Pkcs11TokenInfo token = library.getTokenInfo(slot);
        if (token.getLabel() == label)
            signer.serial = token.getSerialNumber();
    }
    return signer;
}

void SignatureGeneratorTest::initTestCase()
{
    m_bed = std::make_unique<TokenTestBed>(QStringLiteral("signaturegenerator"));
    SoftHsmFixture &fixture = m_bed->fixture();

    m_signer = signerOf(QStringLiteral("Signer"),
                        m_bed->createSigningToken(QStringLiteral("Signer"), signerPin).certificateDer());
    // A second key on the token, for the module that signs with the wrong one.
    SoftHsmFixture::ObjectOptions other;
    other.id = QByteArray::fromHex("02");
    other.label = QStringLiteral("Other");
    fixture.importCredential(QStringLiteral("Signer"), signerPin,
                             m_bed->authority().issue(QStringLiteral("Other"), false), other);

    // The same key twice under one identifier.
    const FixtureCredential twin = m_bed->createSigningToken(QStringLiteral("Twins"), QStringLiteral("2222"));
    fixture.importPrivateKey(QStringLiteral("Twins"), QStringLiteral("2222"), twin,
                             {QByteArray::fromHex("01"), QStringLiteral("Twin copy"), false, false});
    m_twins = signerOf(QStringLiteral("Twins"), twin.certificateDer());

    m_always = signerOf(QStringLiteral("Always"),
                        m_bed->createSigningToken(QStringLiteral("Always"), alwaysPin, true).certificateDer());

    // An RSA certificate whose key on the token is an EC key.
    fixture.createToken(QStringLiteral("Ec"), QStringLiteral("4444"));
    const FixtureCredential ecCertificate = m_bed->authority().issue(QStringLiteral("Ec"), false);
    const SoftHsmFixture::ObjectOptions ecOptions{QByteArray::fromHex("01"), QStringLiteral("Ec"), false, false};
    fixture.importCertificate(QStringLiteral("Ec"), QStringLiteral("4444"), ecCertificate.certificateDer(),
                              ecCertificate.subjectDer(), ecOptions);
    fixture.importEcPrivateKey(QStringLiteral("Ec"), QStringLiteral("4444"), ecOptions);
    m_ec = signerOf(QStringLiteral("Ec"), ecCertificate.certificateDer());

    // A certificate without a key.
    fixture.createToken(QStringLiteral("Orphan"), QStringLiteral("5555"));
    fixture.importCertificate(QStringLiteral("Orphan"), QStringLiteral("5555"), m_bed->authority().certificateDer(),
                              m_bed->authority().subjectDer(), {QByteArray::fromHex("01"), QStringLiteral("CA"), false, false});
    m_orphan = signerOf(QStringLiteral("Orphan"), m_bed->authority().certificateDer());
}

void SignatureGeneratorTest::init()
{
    m_bed->setFaults(QStringLiteral("none"));
    m_bed->clearFaultLog();
    m_driver = std::make_unique<ScriptedPinPrompt>();
}

void SignatureGeneratorTest::cleanup()
{
    QCOMPARE(m_driver->unexpectedQuestions(), 0);
    m_driver.reset();
}

Outcome SignatureGeneratorTest::signOnWorker(const QString &module, const Signer &signer, const QByteArray &hash,
                                             const QString &oid)
{
    return TokenTestBed::runOnWorker([=]() {
        Pkcs11SignatureGenerator generator(module, signer.label, signer.serial, signer.certificate,
                                           ModuleTrust::system(), TokenTestBed::pinPrompt());
        return QVariant(generator.signHash(hash, oid));
    });
}

// The session the generator opened is logged out (when it logged in) and
// closed, also when it failed.
void SignatureGeneratorTest::checkSessionReleased(bool loggedIn) const
{
    const QStringList log = m_bed->faultLog();
    QCOMPARE(log.filter(QRegularExpression(QStringLiteral("^C_Logout result=0$"))).size(), loggedIn ? 1 : 0);
    QCOMPARE(log.filter(QRegularExpression(QStringLiteral("^C_CloseSession result=0$"))).size(), 1);
}

void SignatureGeneratorTest::listedCertificateSignsThroughConfiguration()
{
    // The certificate window lists the store and the user picks the signer.
    m_driver->cancel();
    m_driver->cancel();
    m_driver->cancel();
    m_driver->cancel();
    m_driver->cancel();
    const QList<StoreDefinition> definitions =
        StoreDefinition::parseList(QStringLiteral("SoftHSM|") + TokenTestBed::softHsmModule());
    const QList<Pkcs11CertStore> stores = CertStoreFactory::getUsableStores(definitions);
    QCOMPARE(stores.size(), 1);
    const Pkcs11CertStore store = stores.first();
    const Outcome listing = TokenTestBed::runOnWorker([store]() {
        for (const Pkcs11CertContainer &container :
             store.getContainers(TokenTestBed::pinPrompt())) {
            if (container.getTokenInfo().getLabel() != QLatin1String("Signer"))
                continue;
            for (const X509Certificate2Ultra &certificate : container.getCertificates()) {
                if (certificate.subjectInfo(QSslCertificate::CommonName).contains(QStringLiteral("Signer Signer"))) {
                    Configuration chosen;
                    chosen.setPkcs11Library(store.getLibraryPath());
                    chosen.setPkcs11TokenLabel(container.getTokenInfo().getLabel());
                    chosen.setPkcs11TokenSerial(container.getTokenInfo().getSerialNumber());
                    chosen.setSigningCertificate(certificate.getRawData());
                    return QVariant(chosen.serialize());
                }
            }
        }
        return QVariant();
    });
    QVERIFY2(!listing.threw, qPrintable(listing.message));
    QVERIFY(!listing.value.toString().isEmpty());

    // The page stores the text and hands it back for the signing run.
    const Configuration configuration = Configuration::deserialize(listing.value.toString());
    QVERIFY(configuration.isAvailableIn(stores));
    QCOMPARE(configuration.getSigningCertificate(), m_signer.certificate);

    m_driver->typePin(signerPin);
    const QByteArray hash = documentHash(QCryptographicHash::Sha256);
    const Outcome signing = TokenTestBed::runOnWorker([configuration, definitions, hash]() {
        const std::unique_ptr<Pkcs11SignatureGenerator> generator =
            SignatureGeneratorFactory::getInstance(configuration, definitions,
                                                   TokenTestBed::pinPrompt());
        return QVariant(generator->signHash(hash, sha256));
    });
    QVERIFY2(!signing.threw, qPrintable(signing.message));
    QCOMPARE(signing.value.toByteArray().size(), 256);
    QVERIFY(verifies(m_signer.certificate, signing.value.toByteArray(), hash, EVP_sha256()));
}

void SignatureGeneratorTest::signsEveryHashAlgorithm_data()
{
    QTest::addColumn<QString>("oid");
    QTest::addColumn<int>("algorithm");
    QTest::newRow("SHA-1") << sha1 << int(QCryptographicHash::Sha1);
    QTest::newRow("SHA-256") << sha256 << int(QCryptographicHash::Sha256);
    QTest::newRow("SHA-384") << sha384 << int(QCryptographicHash::Sha384);
    QTest::newRow("SHA-512") << sha512 << int(QCryptographicHash::Sha512);
}

void SignatureGeneratorTest::signsEveryHashAlgorithm()
{
    QFETCH(QString, oid);
    QFETCH(int, algorithm);
    const QByteArray hash = documentHash(QCryptographicHash::Algorithm(algorithm));
    m_driver->typePin(signerPin);
    const Outcome outcome = signOnWorker(TokenTestBed::softHsmModule(), m_signer, hash, oid);
    QVERIFY2(!outcome.threw, qPrintable(outcome.message));
    const EVP_MD *digest = EVP_get_digestbynid(Pkcs11SignatureGenerator::hashOidToNID(oid));
    QVERIFY(verifies(m_signer.certificate, outcome.value.toByteArray(), hash, digest));
}

void SignatureGeneratorTest::digestInfoReachesModule()
{
    const QByteArray hash = documentHash(QCryptographicHash::Sha256);
    m_driver->typePin(signerPin);
    const Outcome outcome = signOnWorker(TokenTestBed::faultModule(), m_signer, hash, sha256);
    QVERIFY2(!outcome.threw, qPrintable(outcome.message));
    const QStringList signCalls = m_bed->faultLogLines(QStringLiteral("C_Sign"));
    QCOMPARE(signCalls.size(), 2);
    const QString expectedData = QString::fromLatin1((sha256Prefix + hash).toHex());
    for (const QString &call : signCalls)
        QVERIFY2(call.startsWith(QStringLiteral("C_Sign length=51 data=") + expectedData + QLatin1Char(' ')), qPrintable(call));
    checkSessionReleased(true);
}

void SignatureGeneratorTest::digestInfoLengths_data()
{
    QTest::addColumn<int>("nid");
    QTest::addColumn<int>("hashLength");
    QTest::addColumn<int>("resultLength");
    QTest::addColumn<QString>("name");
    QTest::newRow("SHA-1") << int(NID_sha1) << 20 << 35 << QStringLiteral("SHA1");
    QTest::newRow("SHA-256") << int(NID_sha256) << 32 << 51 << QStringLiteral("SHA256");
    QTest::newRow("SHA-384") << int(NID_sha384) << 48 << 67 << QStringLiteral("SHA384");
    QTest::newRow("SHA-512") << int(NID_sha512) << 64 << 83 << QStringLiteral("SHA512");
}

void SignatureGeneratorTest::digestInfoLengths()
{
    QFETCH(int, nid);
    QFETCH(int, hashLength);
    QFETCH(int, resultLength);
    QFETCH(QString, name);
    const QByteArray hash(hashLength, '\x5a');
    const QByteArray digestInfo = Pkcs11SignatureGenerator::createPkcs1DigestInfo(hash, nid);
    QCOMPARE(digestInfo.size(), resultLength);
    QVERIFY(digestInfo.endsWith(hash));
    for (int wrongLength : {hashLength - 1, hashLength + 1, 0}) {
        try {
            Pkcs11SignatureGenerator::createPkcs1DigestInfo(QByteArray(wrongLength, '\x5a'), nid);
            QFAIL("a hash of the wrong length was accepted");
        } catch (const AppException &exception) {
            QCOMPARE(exception.message(), QObject::tr("InvalidLengthOfHash").arg(name));
        }
    }
}

void SignatureGeneratorTest::unknownAlgorithms()
{
    const QString expected = QObject::tr("AlgorithmNotSupported").arg(QStringLiteral("digest"));
    for (const QString &oid : {md5, QString(), sha256 + QLatin1Char(' ')}) {
        try {
            Pkcs11SignatureGenerator::hashOidToNID(oid);
            QFAIL("an unknown OID was accepted");
        } catch (const AppException &exception) {
            QCOMPARE(exception.message(), expected);
        }
    }
    try {
        Pkcs11SignatureGenerator::createPkcs1DigestInfo(QByteArray(16, 'x'), NID_md5);
        QFAIL("MD5 was accepted");
    } catch (const AppException &exception) {
        QCOMPARE(exception.message(), expected);
    }
}

void SignatureGeneratorTest::verificationByKeyType()
{
    m_driver->typePin(signerPin);
    const QByteArray hash = documentHash(QCryptographicHash::Sha256);
    const Outcome signing = signOnWorker(TokenTestBed::softHsmModule(), m_signer, hash, sha256);
    QVERIFY2(!signing.threw, qPrintable(signing.message));
    const QByteArray signature = signing.value.toByteArray();

    const Pkcs11SignatureGenerator generator(TokenTestBed::softHsmModule(), m_signer.label,
                                             m_signer.serial, m_signer.certificate,
                                             ModuleTrust::system(), TokenTestBed::pinPrompt());
    QVERIFY(generator.verifyHash(signature, hash, NID_sha256, CKK_RSA));
    QVERIFY(!generator.verifyHash(signature, documentHash(QCryptographicHash::Sha3_256), NID_sha256, CKK_RSA));
    QVERIFY(!generator.verifyHash(signature, hash, NID_sha512, CKK_RSA));
    // An RSA certificate never verifies an EC signature.
    QVERIFY(!generator.verifyHash(signature, hash, NID_sha256, CKK_EC));
    try {
        generator.verifyHash(signature, hash, NID_sha256, CKK_DSA);
        QFAIL("a DSA key was accepted");
    } catch (const AppException &exception) {
        QCOMPARE(exception.message(), QObject::tr("UnsupportedPrivateKey"));
    }
}

void SignatureGeneratorTest::wrongHashLengthAfterLogin()
{
    m_driver->typePin(signerPin);
    const Outcome outcome = signOnWorker(TokenTestBed::faultModule(), m_signer, QByteArray(20, 'h'), sha256);
    QVERIFY(outcome.threw);
    QCOMPARE(outcome.message, QObject::tr("InvalidLengthOfHash").arg(QStringLiteral("SHA256")));
    QCOMPARE(m_driver->questionsAsked(), 1);
    QVERIFY(m_bed->faultLogLines(QStringLiteral("C_Sign")).isEmpty());
    checkSessionReleased(true);
}

void SignatureGeneratorTest::unsupportedHashOid()
{
    m_driver->typePin(signerPin);
    const Outcome outcome = signOnWorker(TokenTestBed::faultModule(), m_signer, QByteArray(16, 'h'), md5);
    QVERIFY(outcome.threw);
    QCOMPARE(outcome.message, QObject::tr("AlgorithmNotSupported").arg(QStringLiteral("digest")));
    checkSessionReleased(true);
}

void SignatureGeneratorTest::twinKeysUseTheFirst()
{
    m_driver->typePin(QStringLiteral("2222"));
    LogCapture log;
    const QByteArray hash = documentHash(QCryptographicHash::Sha256);
    const Outcome outcome = signOnWorker(TokenTestBed::softHsmModule(), m_twins, hash, sha256);
    QVERIFY(log.messages().contains(QStringLiteral("More than one matching private key found")));
    QVERIFY2(!outcome.threw, qPrintable(outcome.message));
    QVERIFY(verifies(m_twins.certificate, outcome.value.toByteArray(), hash, EVP_sha256()));
}

void SignatureGeneratorTest::alwaysAuthenticateAsksTwice()
{
    m_driver->typePin(alwaysPin);
    m_driver->typePin(alwaysPin);
    const QByteArray hash = documentHash(QCryptographicHash::Sha256);
    const Outcome outcome = signOnWorker(TokenTestBed::faultModule(), m_always, hash, sha256);
    QVERIFY2(!outcome.threw, qPrintable(outcome.message));
    QVERIFY(verifies(m_always.certificate, outcome.value.toByteArray(), hash, EVP_sha256()));
    QCOMPARE(m_driver->questionsAsked(), 2);
    QCOMPARE(m_bed->faultLogLines(QStringLiteral("C_Login")),
             QStringList({QStringLiteral("C_Login user=1 pin=set length=8"),
                          QStringLiteral("C_Login user=2 pin=set length=8")}));
}

void SignatureGeneratorTest::failures_data()
{
    QTest::addColumn<QString>("faults");
    QTest::addColumn<QString>("token");
    QTest::addColumn<QString>("pin");
    QTest::addColumn<QString>("expected");
    // 0: no session opened, 1: opened, 2: opened and logged in
    QTest::addColumn<int>("session");

    QTest::newRow("label matches, serial differs")
        << QString() << QStringLiteral("wrong serial") << QString() << QObject::tr("SigningCertificateUnavailable") << 0;
    QTest::newRow("no token with the label")
        << QString() << QStringLiteral("missing token") << QString() << QObject::tr("SigningCertificateUnavailable") << 0;
    QTest::newRow("certificate not on the token")
        << QString() << QStringLiteral("foreign certificate") << signerPin << QObject::tr("SigningCertificateUnavailable") << 2;
    QTest::newRow("certificate without key")
        << QString() << QStringLiteral("orphan") << QStringLiteral("5555") << QObject::tr("SigningCertificateUnavailable") << 2;
    QTest::newRow("EC key") << QString() << QStringLiteral("ec") << QStringLiteral("4444")
                            << QObject::tr("UnsupportedPrivateKey") << 2;
    QTest::newRow("signature from another key")
        << QStringLiteral("wrongkey") << QStringLiteral("signer") << signerPin << QObject::tr("SignedHashMismatch") << 2;
    QTest::newRow("PIN locked") << QStringLiteral("pinlocked") << QStringLiteral("signer") << signerPin
                                << QObject::tr("PinBlocked") << 1;
    QTest::newRow("token removed")
        << QStringLiteral("deviceremoved") << QStringLiteral("signer") << QString()
        << QStringLiteral("The card or token was removed. Put it back and try again.") << 0;
}

void SignatureGeneratorTest::failures()
{
    QFETCH(QString, faults);
    QFETCH(QString, token);
    QFETCH(QString, pin);
    QFETCH(QString, expected);
    QFETCH(int, session);
    m_bed->setFaults(faults.isEmpty() ? QStringLiteral("none") : faults);
    Signer signer = m_signer;
    if (token == QLatin1String("wrong serial"))
        signer.serial = QStringLiteral("0000000000000000");
    else if (token == QLatin1String("missing token"))
        signer.label = QStringLiteral("Nowhere");
    else if (token == QLatin1String("foreign certificate"))
        signer.certificate = m_twins.certificate;
    else if (token == QLatin1String("orphan"))
        signer = m_orphan;
    else if (token == QLatin1String("ec"))
        signer = m_ec;
    if (!pin.isEmpty())
        m_driver->typePin(pin);

    const Outcome outcome = signOnWorker(TokenTestBed::faultModule(), signer,
                                        documentHash(QCryptographicHash::Sha256), sha256);
    QVERIFY(outcome.threw);
    QCOMPARE(outcome.message, expected);
    QVERIFY(outcome.userMessage);
    QCOMPARE(m_driver->questionsAsked(), pin.isEmpty() ? 0 : 1);
    if (session > 0)
        checkSessionReleased(session == 2);
    else
        QVERIFY(m_bed->faultLogLines(QStringLiteral("C_CloseSession")).isEmpty());
}

void SignatureGeneratorTest::cancelledPinClosesSession()
{
    m_driver->cancel();
    const Outcome outcome = signOnWorker(TokenTestBed::faultModule(), m_signer,
                                         documentHash(QCryptographicHash::Sha256), sha256);
    QVERIFY(outcome.threw);
    QCOMPARE(outcome.message, QObject::tr("OperationCanceled"));
    checkSessionReleased(false);
}

namespace {

// A prompt without windows, whose asker gives up the moment the PIN is given,
// as when the window closes while the person types it.
class GivingUpPrompt : public PinPrompt
{
public:
    QString askForPin(const Pkcs11SlotInfo &, const Pkcs11TokenInfo &) override
    {
        m_withdrawn = true;
        return signerPin;
    }
    void reportPinRefused(const QString &) override {}
    bool isWithdrawn() const override { return m_withdrawn; }
    void withdraw() override { m_withdrawn = true; }

private:
    bool m_withdrawn = false;
};

} // namespace

void SignatureGeneratorTest::givingUpAfterThePinUsesNoKey()
{
    GivingUpPrompt prompt;
    const Pkcs11SignatureGenerator generator(TokenTestBed::faultModule(), m_signer.label,
                                             m_signer.serial, m_signer.certificate,
                                             ModuleTrust::system(), prompt);
    try {
        generator.signHash(documentHash(QCryptographicHash::Sha256), sha256);
        QFAIL("signed after the signing was given up");
    } catch (const AppException &exception) {
        QCOMPARE(exception.message(), QObject::tr("OperationCanceled"));
    }
    QVERIFY(m_bed->faultLogLines(QStringLiteral("C_Sign")).isEmpty());
    checkSessionReleased(true);
}

void SignatureGeneratorTest::loadFailureLeavesFactory()
{
    Configuration configuration;
    configuration.setPkcs11Library(TokenTestBed::noFunctionListModule());
    configuration.setPkcs11TokenSerial(m_signer.serial);
    configuration.setSigningCertificate(m_signer.certificate);
    const QString module = TokenTestBed::noFunctionListModule();
    // Without store definitions no store can have offered the module: it
    // is not even loaded.
    const QList<QPair<QList<StoreDefinition>, QString>> cases{
        {StoreDefinition::parseList(QStringLiteral("Card|") + module),
         QObject::tr("UnableToFind").arg(QStringLiteral("C_GetFunctionList()"), module)},
        {{}, QObject::tr("UntrustedModule").arg(module)}};
    for (const auto &[definitions, message] : cases) {
        try {
            SignatureGeneratorFactory::getInstance(configuration, definitions,
                                                   TokenTestBed::pinPrompt());
            QFAIL("the generator was built");
        } catch (const AppException &exception) {
            QCOMPARE(exception.message(), message);
        }
    }
}

void SignatureGeneratorTest::noLogLineHoldsAPin()
{
    TestHome home;
    home.applyToCurrentProcess();
    QVERIFY(home.switchLoggingOn(QStringLiteral("quillmarklog.txt")));
    DiagnosticLog::install(DiagnosticLog::Program::Quillmark);

    // Distinctive wrong PINs, then the right one, for the session and for
    // the key that asks again.
    const QStringList wrongPins = {QStringLiteral("7391Zq"), QStringLiteral("P\u00edn4826")};
    m_driver->typePin(wrongPins.at(0));
    m_driver->typePin(alwaysPin);
    m_driver->typePin(wrongPins.at(1));
    m_driver->typePin(alwaysPin);
    const Outcome outcome = signOnWorker(TokenTestBed::softHsmModule(), m_always,
                                         documentHash(QCryptographicHash::Sha256), sha256);
    qInstallMessageHandler(nullptr);
    QVERIFY2(!outcome.threw, qPrintable(outcome.message));

    QFile logFile(home.logFile(QStringLiteral("quillmarklog.txt")));
    QVERIFY(logFile.open(QIODevice::ReadOnly));
    const QString log = QString::fromUtf8(logFile.readAll());
    QVERIFY(log.contains(QStringLiteral("Starting function login")));
    QVERIFY(log.contains(QStringLiteral("Starting function contextLogin")));
    for (const QString &pin : wrongPins + QStringList{alwaysPin})
        QVERIFY2(!log.contains(pin), qPrintable(pin));
}

QTEST_MAIN(SignatureGeneratorTest)
#include "tst_signaturegenerator.moc"
