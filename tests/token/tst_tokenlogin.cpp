// Token login: the login runs on a pool thread and asks its PINs of a
// scripted prompt.
#include "moduletrust.h"
#include "pkcs11library.h"
#include "pkcs11session.h"
#include "pkcs11template.h"
#include "scriptedpinprompt.h"
#include "tokentestbed.h"

#include <QApplication>
#include <QTest>

#include <memory>

namespace {

const QString userPin = QStringLiteral("1111");
const QString alwaysPin = QStringLiteral("2222");
const QString latinPin = QStringLiteral("P\u00edn-1234");

} // namespace

class TokenLoginTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void wrongPinsThenRight();
    void cancelDuringSigning_data();
    void cancelDuringSigning();
    void cancelDuringListingSkipsLogin();
    void alreadyLoggedInAsksNothing();
    void nonAsciiPinReachesModuleAsUtf8();
    void protectedPathAsksNoPin();
    void pinPadCancel();
    void lockedPin();
    void otherModuleError();
    void refusedPin_data();
    void refusedPin();
    void withdrawnPromptEndsTheLoop();
    void withdrawnWhileAskedReleasesWorker();
    void contextLoginAsksAgain();
    void tenWrongContextPins();
    void contextLoginCancelled();

private:
    struct Token
    {
        Pkcs11SlotInfo slot;
        Pkcs11TokenInfo token;
    };
    static Token find(const Pkcs11Library &library, const QString &label);
    static Outcome loginOnWorker(const QString &module, const QString &label, bool throwOnCancel);
    static Outcome signWithAlwaysAuthenticateKey();
    QString incorrectPinText() const;

    std::unique_ptr<TokenTestBed> m_bed;
    std::unique_ptr<ScriptedPinPrompt> m_driver;
};

void TokenLoginTest::initTestCase()
{
    m_bed = std::make_unique<TokenTestBed>(QStringLiteral("tokenlogin"));
    m_bed->createSigningToken(QStringLiteral("Login"), userPin);
    m_bed->createSigningToken(QStringLiteral("Always"), alwaysPin, true);
    m_bed->createSigningToken(QStringLiteral("Latin"), latinPin);
}

void TokenLoginTest::init()
{
    m_bed->setFaults(QString());
    m_bed->clearFaultLog();
    m_driver = std::make_unique<ScriptedPinPrompt>();
}

void TokenLoginTest::cleanup()
{
    QCOMPARE(m_driver->unexpectedQuestions(), 0);
    m_driver.reset();
}

TokenLoginTest::Token TokenLoginTest::find(const Pkcs11Library &library, const QString &label)
{
    for (unsigned long slot : library.getSlots()) {
        const Pkcs11TokenInfo token = library.getTokenInfo(slot);
        if (token.getLabel() == label)
            return {library.getSlotInfo(slot), token};
    }
    qFatal("no token %s", qPrintable(label));
}

// Logs in to a fresh session and reports whether login() logged in.
Outcome TokenLoginTest::loginOnWorker(const QString &module, const QString &label, bool throwOnCancel)
{
    return TokenTestBed::runOnWorker([=]() {
        Pkcs11Library library(module, ModuleTrust::system(), TokenTestBed::pinPrompt());
        const Token found = find(library, label);
        Pkcs11Session session(library, found.slot.getSlotId());
        const bool loggedIn = session.login(found.slot, found.token, throwOnCancel);
        session.close();
        return QVariant(loggedIn);
    });
}

Outcome TokenLoginTest::signWithAlwaysAuthenticateKey()
{
    return TokenTestBed::runOnWorker([]() {
        Pkcs11Library library(TokenTestBed::softHsmModule(), ModuleTrust::system(),
                              TokenTestBed::pinPrompt());
        const Token found = find(library, QStringLiteral("Always"));
        Pkcs11Session session(library, found.slot.getSlotId());
        session.login(found.slot, found.token, true);
        Pkcs11Template keySearch;
        keySearch.addUlong(CKA_CLASS, CKO_PRIVATE_KEY);
        const unsigned long key = library.findObjects(session.handle(), keySearch.attributes(), keySearch.count()).first();
        CK_MECHANISM mechanism{CKM_SHA256_RSA_PKCS, nullptr, 0};
        const QByteArray signature = library.signHash(session.handle(), key, &mechanism, QByteArray("data"), true,
                                                      found.slot, found.token);
        session.close();
        return QVariant(signature);
    });
}

QString TokenLoginTest::incorrectPinText() const
{
    return QObject::tr("PinIncorrect");
}

void TokenLoginTest::wrongPinsThenRight()
{
    m_driver->typePin(QStringLiteral("0000"));
    m_driver->typePin(QStringLiteral("9999"));
    m_driver->typePin(userPin);
    const Outcome outcome = loginOnWorker(TokenTestBed::softHsmModule(), QStringLiteral("Login"), true);
    QVERIFY2(!outcome.threw, qPrintable(outcome.message));
    QCOMPARE(outcome.value.toBool(), true);
    QCOMPARE(m_driver->questionsAsked(), 3);
    QCOMPARE(m_driver->refusalsReported(), QStringList({incorrectPinText(), incorrectPinText()}));
}

void TokenLoginTest::cancelDuringSigning_data()
{
    QTest::addColumn<int>("answer");
    QTest::newRow("cancelled") << 0;
    QTest::newRow("withdrawn while asked") << 1;
    QTest::newRow("empty PIN confirmed") << 2;
}

void TokenLoginTest::cancelDuringSigning()
{
    QFETCH(int, answer);
    if (answer == 0)
        m_driver->cancel();
    else if (answer == 1)
        m_driver->withdrawWhileAsked();
    else
        m_driver->typePin(QString());
    const Outcome outcome = loginOnWorker(TokenTestBed::softHsmModule(), QStringLiteral("Login"), true);
    QVERIFY(outcome.threw);
    QCOMPARE(outcome.message, QObject::tr("OperationCanceled"));
    QVERIFY(outcome.userMessage);
    QCOMPARE(m_driver->questionsAsked(), 1);
}

void TokenLoginTest::cancelDuringListingSkipsLogin()
{
    m_driver->cancel();
    const Outcome outcome = loginOnWorker(TokenTestBed::softHsmModule(), QStringLiteral("Login"), false);
    QVERIFY(!outcome.threw);
    QCOMPARE(outcome.value.toBool(), false);
}

void TokenLoginTest::alreadyLoggedInAsksNothing()
{
    m_driver->typePin(userPin);
    const Outcome outcome = TokenTestBed::runOnWorker([]() {
        Pkcs11Library library(TokenTestBed::softHsmModule(), ModuleTrust::system(),
                              TokenTestBed::pinPrompt());
        const Token found = find(library, QStringLiteral("Login"));
        Pkcs11Session first(library, found.slot.getSlotId());
        const bool firstLoggedIn = first.login(found.slot, found.token, true);
        // The login belongs to the token, so a second session is logged in
        // already and must not be logged out by its user.
        Pkcs11Session second(library, found.slot.getSlotId());
        const bool secondLoggedIn = second.login(found.slot, found.token, true);
        second.close();
        first.close();
        return QVariant(QVariantList{firstLoggedIn, secondLoggedIn});
    });
    QVERIFY2(!outcome.threw, qPrintable(outcome.message));
    QCOMPARE(outcome.value.toList(), QVariantList({true, false}));
    QCOMPARE(m_driver->questionsAsked(), 1);
}

void TokenLoginTest::nonAsciiPinReachesModuleAsUtf8()
{
    m_bed->setFaults(QStringLiteral("none"));
    m_driver->typePin(latinPin);
    const Outcome outcome = loginOnWorker(TokenTestBed::faultModule(), QStringLiteral("Latin"), true);
    QVERIFY2(!outcome.threw, qPrintable(outcome.message));
    QCOMPARE(outcome.value.toBool(), true);
    QCOMPARE(m_bed->faultLogLines(QStringLiteral("C_Login")),
             QStringList({QStringLiteral("C_Login user=1 pin=set length=%1").arg(latinPin.toUtf8().size())}));
    QCOMPARE(latinPin.toUtf8().size(), latinPin.size() + 1);
}

void TokenLoginTest::protectedPathAsksNoPin()
{
    m_bed->setFaults(QStringLiteral("protectedpath=") + userPin);
    const Outcome outcome = loginOnWorker(TokenTestBed::faultModule(), QStringLiteral("Login"), true);
    QVERIFY2(!outcome.threw, qPrintable(outcome.message));
    QCOMPARE(outcome.value.toBool(), true);
    QCOMPARE(m_driver->questionsAsked(), 0);
    QCOMPARE(m_bed->faultLogLines(QStringLiteral("C_Login")),
             QStringList({QStringLiteral("C_Login user=1 pin=null length=0")}));
}

void TokenLoginTest::pinPadCancel()
{
    m_bed->setFaults(QStringLiteral("protectedpath=1111,pinpadcancel"));
    const Outcome signing = loginOnWorker(TokenTestBed::faultModule(), QStringLiteral("Login"), true);
    QVERIFY(signing.threw);
    QCOMPARE(signing.message, QObject::tr("OperationCanceled"));
    const Outcome listing = loginOnWorker(TokenTestBed::faultModule(), QStringLiteral("Login"), false);
    QVERIFY(!listing.threw);
    QCOMPARE(listing.value.toBool(), false);
    QCOMPARE(m_driver->questionsAsked(), 0);
}

void TokenLoginTest::lockedPin()
{
    m_bed->setFaults(QStringLiteral("pinlocked"));
    m_driver->typePin(userPin);
    const Outcome outcome = loginOnWorker(TokenTestBed::faultModule(), QStringLiteral("Login"), false);
    QVERIFY(outcome.threw);
    QCOMPARE(outcome.typeName, QStringLiteral("AppException"));
    QCOMPARE(outcome.message, QObject::tr("PinBlocked"));
    QVERIFY(m_driver->refusalsReported().isEmpty());
}

void TokenLoginTest::otherModuleError()
{
    m_bed->setFaults(QStringLiteral("fail=C_Login"));
    m_driver->typePin(userPin);
    const Outcome outcome = loginOnWorker(TokenTestBed::faultModule(), QStringLiteral("Login"), false);
    QVERIFY(outcome.threw);
    QCOMPARE(outcome.typeName, QStringLiteral("Pkcs11Exception"));
    QCOMPARE(outcome.message, QStringLiteral("PKCS#11 method C_Login returned error 0x00000030"));
    QVERIFY(outcome.userMessage);
}

void TokenLoginTest::refusedPin_data()
{
    QTest::addColumn<QString>("faults");
    // Empty: the PIN is asked again after this message and the login succeeds.
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("failure");
    const QString removed = QStringLiteral("The card or token was removed. Put it back and try again.");
    QTest::newRow("PIN of a length the token cannot take")
        << QStringLiteral("loginfails=a2") << QObject::tr("PinIncorrect") << QString();
    // OpenSC's answer to a wrong PIN on some cards.
    QTest::newRow("general error, token still there")
        << QStringLiteral("loginfails=5") << QObject::tr("PinNotAccepted") << QString();
    // The same answer once pcscd has gone: asking again cannot help.
    QTest::newRow("general error, reader gone") << QStringLiteral("loginfails=5,loginremoves") << QString() << removed;
    QTest::newRow("card pulled out") << QStringLiteral("loginfails=32") << QString() << removed;
}

void TokenLoginTest::refusedPin()
{
    QFETCH(QString, faults);
    QFETCH(QString, message);
    QFETCH(QString, failure);
    m_bed->setFaults(faults);
    m_driver->typePin(userPin);
    m_driver->typePin(userPin);
    const Outcome outcome = loginOnWorker(TokenTestBed::faultModule(), QStringLiteral("Login"), true);
    if (failure.isEmpty()) {
        QVERIFY2(!outcome.threw, qPrintable(outcome.message));
        QCOMPARE(outcome.value.toBool(), true);
        QCOMPARE(m_driver->questionsAsked(), 2);
        QCOMPARE(m_driver->refusalsReported(), QStringList{message});
    } else {
        QVERIFY(outcome.threw);
        QCOMPARE(outcome.typeName, QStringLiteral("Pkcs11Exception"));
        QCOMPARE(outcome.message, failure);
        QCOMPARE(m_driver->questionsAsked(), 1);
        QVERIFY(m_driver->refusalsReported().isEmpty());
    }
}

void TokenLoginTest::withdrawnPromptEndsTheLoop()
{
    m_driver->withdraw();
    const Outcome outcome = loginOnWorker(TokenTestBed::softHsmModule(), QStringLiteral("Login"), true);
    QVERIFY(!outcome.threw);
    QCOMPARE(outcome.value.toBool(), false);
    QCOMPARE(m_driver->questionsAsked(), 0);
}

void TokenLoginTest::withdrawnWhileAskedReleasesWorker()
{
    m_driver->withdrawWhileAsked();
    const Outcome outcome = loginOnWorker(TokenTestBed::softHsmModule(), QStringLiteral("Login"), false);
    QVERIFY(!outcome.threw);
    QCOMPARE(outcome.value.toBool(), false);
    QCOMPARE(m_driver->questionsAsked(), 1);
}

void TokenLoginTest::contextLoginAsksAgain()
{
    m_driver->typePin(alwaysPin);
    m_driver->typePin(QStringLiteral("0000"));
    m_driver->typePin(alwaysPin);
    const Outcome outcome = signWithAlwaysAuthenticateKey();
    QVERIFY2(!outcome.threw, qPrintable(outcome.message));
    QCOMPARE(outcome.value.toByteArray().size(), 256);
    QCOMPARE(m_driver->questionsAsked(), 3);
    QCOMPARE(m_driver->refusalsReported(), QStringList({incorrectPinText()}));
}

void TokenLoginTest::tenWrongContextPins()
{
    m_driver->typePin(alwaysPin);
    for (int attempt = 0; attempt < 10; ++attempt)
        m_driver->typePin(QStringLiteral("99%1").arg(attempt));
    const Outcome outcome = signWithAlwaysAuthenticateKey();
    QVERIFY(outcome.threw);
    QCOMPARE(outcome.message, QObject::tr("MaxLoginAttemptsReached"));
    // One session login and ten context logins; an eleventh question would be
    // counted as unexpected in cleanup().
    QCOMPARE(m_driver->questionsAsked(), 11);
    QCOMPARE(m_driver->refusalsReported().size(), 10);
}

void TokenLoginTest::contextLoginCancelled()
{
    m_driver->typePin(alwaysPin);
    m_driver->cancel();
    const Outcome outcome = signWithAlwaysAuthenticateKey();
    QVERIFY(outcome.threw);
    QCOMPARE(outcome.message, QObject::tr("OperationCanceled"));
}

QTEST_MAIN(TokenLoginTest)
#include "tst_tokenlogin.moc"
