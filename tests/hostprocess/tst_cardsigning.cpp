// Signing with a smart card in a reader, the way a desktop reaches one:
// pcscd with a vpcd reader, OpenSC's PKCS#11 module and an emulated card
// (CardStack), the real quillmark on a virtual X display and the user's
// steps from outside. The card is offered beside a SoftHSM2 token, is
// pulled out and put back at the moments a user does it, and its reader
// service goes away and comes back.
#include "cardstack.h"
#include "configuration.h"
#include "desktopdriver.h"
#include "fixturepaths.h"
#include "moduletrust.h"
#include "pkcs11library.h"
#include "signinguser.h"
#include "testhome.h"
#include "testsigningpage.h"
#include "tokentestbed.h"

#include <QSslCertificate>
#include <QtTest>

#include <optional>

namespace {

// The card takes PINs of 4 to 8 characters.
const QString cardPin = QStringLiteral("Qm7C3816");
const QString wrongPin = QStringLiteral("Wr0n7093");
const QString tooLongPin = QStringLiteral("Qm7C3816-Qm7C3816");
const QString signedText = QStringLiteral("The document was signed successfully.");
const QString cardGoneText = QStringLiteral("The card or token was removed. Put it back and try again.");

enum class Trouble {
    CardPulledOut,
    ReaderServiceStopped,
};

} // namespace

Q_DECLARE_METATYPE(Trouble)

class TestCardSigning : public QObject
{
    Q_OBJECT

private:
    QProcessEnvironment environment() const
    {
        QProcessEnvironment environment = m_home->environment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.insert(QStringLiteral("SOFTHSM2_CONF"), m_tokens->fixture().configPath());
        environment.insert(QStringLiteral("PCSCLITE_CSOCK_NAME"), m_card->socketPath());
        return environment;
    }

    // The card first, so that the window lists it when it opens.
    static QString stores()
    {
        return QStringLiteral("Smart card|") + CardStack::modulePath() + QStringLiteral("|SoftHSM|")
               + TokenTestBed::softHsmModule();
    }

    // What the page hands back when the first certificate of the card was chosen before.
    QString cardConfiguration(int certificate) const
    {
        Configuration configuration;
        configuration.setPkcs11Library(CardStack::modulePath());
        configuration.setPkcs11TokenLabel(m_card->tokenLabel());
        configuration.setPkcs11TokenSerial(m_cardSerial);
        configuration.setSigningCertificate(m_card->credentials().at(certificate).certificateDer());
        return QString::fromLatin1(configuration.serialize().toUtf8().toBase64());
    }

    static Configuration savedConfiguration(const TestSigningPage &page)
    {
        return Configuration::deserialize(
            QString::fromUtf8(QByteArray::fromBase64(page.storedConfiguration().toLatin1())));
    }

    void bringTrouble(Trouble trouble)
    {
        m_trouble = trouble;
        if (trouble == Trouble::CardPulledOut)
            m_card->removeCard();
        else
            m_card->stopReader();
    }

    void endTrouble()
    {
        const std::optional<Trouble> trouble = std::exchange(m_trouble, std::nullopt);
        if (trouble == Trouble::CardPulledOut)
            m_card->insertCard();
        else if (trouble == Trouble::ReaderServiceStopped)
            m_card->startReader();
    }

    // Signs once more after the trouble, with the same certificate.
    static bool signsAgain(TestSigningPage &page, SigningUser &user)
    {
        const int verified = page.verifiedSignatures().size();
        return user.pressSign() && user.answerPin(cardPin) && user.closeMessageBox(signedText)
               && page.serveUntil([&]() { return page.finished().has_value(); }) && *page.finished()
               && page.verifiedSignatures().size() == verified + 1;
    }

private slots:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs an X display (run under xvfb-run)");
        m_tokens = std::make_unique<TokenTestBed>(QStringLiteral("tst_cardsigning"));
        m_tokens->createSigningToken(QStringLiteral("Quillmark Test"), QStringLiteral("Qm7-R1ght-4829"));
        m_card = std::make_unique<CardStack>(QStringLiteral(QUILLMARK_BINARY_DIR "/test-cards/tst_cardsigning"),
                                             cardPin);
        const Pkcs11Library opensc(CardStack::modulePath(), ModuleTrust::system(),
                                   TokenTestBed::pinPrompt());
        const QList<unsigned long> present = opensc.getSlots();
        QCOMPARE(present.size(), 1);
        m_cardSerial = opensc.getTokenInfo(present.constFirst()).getSerialNumber();
    }

    void init()
    {
        m_home = std::make_unique<TestHome>();
        QVERIFY(m_home->switchLoggingOn(QStringLiteral("quillmarklog.txt")));
    }

    void cleanup()
    {
        if (QTest::currentTestFailed())
            qWarning().noquote() << SigningUser::logOf(*m_home).right(6000);
        // The next case starts with the card in a working reader.
        endTrouble();
    }

    // Listing and signing through OpenSC: the card's three certificates
    // under its token (the reader's empty second slot left out without a
    // word), wrong PINs refused with a message and asked again, and a
    // signature the page verifies with the chosen certificate.
    void signsWithTheCard()
    {
        TestSigningPage page(environment());
        SigningUser user(page, *m_home);
        QVERIFY(user.openSigningWindow(stores()));
        const QString form = user.openCertForm(cardPin);
        QVERIFY(!form.isEmpty());
        user.clickCertFormRow(form, 3);
        QVERIFY(page.serveUntil([&]() { return user.log().contains(QStringLiteral("Certificate was clicked")); }));
        user.clickCertForm(form, "btnOk");
        QVERIFY(page.serveUntil([&]() { return page.saveCount() == 1; }));
        QVERIFY(DesktopDriver::waitUntilGone(SigningUser::certFormTitle));
        const Configuration saved = savedConfiguration(page);
        QCOMPARE(saved.getPkcs11Library(), CardStack::modulePath());
        QCOMPARE(saved.getPkcs11TokenLabel(), m_card->tokenLabel());
        QCOMPARE(saved.getSigningCertificate(), m_card->credentials().at(2).certificateDer());
        QCOMPARE(saved.getPkcs11TokenSerial(), m_cardSerial);
        QVERIFY(!user.log().contains(QStringLiteral("Recoverable exception")));
        QVERIFY(!user.log().contains(QStringLiteral("Showing error")));

        // OpenSC refuses a PIN longer than the card's limit itself; the card
        // answers a wrong PIN with a status that OpenSC reports as a general
        // error.
        QVERIFY(user.pressSign());
        QVERIFY(user.answerPin(tooLongPin));
        QVERIFY(user.closeMessageBox(QStringLiteral("The PIN is incorrect.")));
        QVERIFY(user.answerPin(wrongPin));
        QVERIFY(user.closeMessageBox(QStringLiteral("The card did not accept the PIN. Check the PIN and try again.")));
        QVERIFY(user.answerPin(cardPin));
        QVERIFY(user.closeMessageBox(signedText));
        QVERIFY(page.serveUntil([&]() { return page.finished().has_value(); }));
        QCOMPARE(*page.finished(), true);
        QCOMPARE(page.verifiedSignatures().size(), 1);
        QCOMPARE(QSslCertificate(page.signInitCertificates().value(0)).toDer(),
                 m_card->credentials().at(2).certificateDer());
        QVERIFY(user.closeHost());
    }

    void troubleDuringSigning_data()
    {
        QTest::addColumn<Trouble>("trouble");
        QTest::addColumn<bool>("atThePin");
        QTest::addColumn<QString>("message");
        QTest::newRow("card pulled out after choosing")
            << Trouble::CardPulledOut << false
            << QStringLiteral("The signing certificate or its private key is not available.");
        QTest::newRow("card pulled out at the PIN") << Trouble::CardPulledOut << true << cardGoneText;
        QTest::newRow("reader service stopped at the PIN")
            << Trouble::ReaderServiceStopped << true << cardGoneText;
    }

    // The card goes away after the certificate was chosen: a clear message,
    // the window stays, and Sign works again once the card is back.
    void troubleDuringSigning()
    {
        QFETCH(Trouble, trouble);
        QFETCH(bool, atThePin);
        QFETCH(QString, message);
        TestSigningPage page(environment());
        page.setStoredConfiguration(cardConfiguration(0));
        SigningUser user(page, *m_home);
        QVERIFY(user.openSigningWindow(stores()));

        if (!atThePin)
            bringTrouble(trouble);
        QVERIFY(user.pressSign());
        if (atThePin) {
            QVERIFY(page.serveUntil([&]() { return !DesktopDriver::visibleWindows(SigningUser::pinFormTitle).isEmpty(); }));
            bringTrouble(trouble);
            QVERIFY(user.answerPin(cardPin));
        }
        QVERIFY(user.closeMessageBox(message));
        QVERIFY(!page.finished().has_value());
        QCOMPARE(page.eventCount(QStringLiteral("NeedSignFinishEvent")), 0);

        endTrouble();
        QVERIFY(signsAgain(page, user));
        QCOMPARE(QSslCertificate(page.signInitCertificates().constLast()).toDer(),
                 m_card->credentials().at(0).certificateDer());
        QVERIFY(user.closeHost());
    }

    void troubleDuringListing_data()
    {
        QTest::addColumn<Trouble>("trouble");
        QTest::newRow("card pulled out at the PIN") << Trouble::CardPulledOut;
        QTest::newRow("reader service stopped at the PIN") << Trouble::ReaderServiceStopped;
    }

    // The card goes away while the certificate window lists it: the token is
    // left out without an error box or a hang, and Refresh lists it again
    // once the card is back.
    void troubleDuringListing()
    {
        QFETCH(Trouble, trouble);
        TestSigningPage page(environment());
        SigningUser user(page, *m_home);
        QVERIFY(user.openSigningWindow(stores()));
        const int listings = user.logCount(QStringLiteral("Populating tree view of cert containers"));
        user.clickMain("btnChangeCert");
        const QString form = DesktopDriver::waitForWindow(SigningUser::certFormTitle);
        QVERIFY(!form.isEmpty());
        QVERIFY(page.serveUntil([&]() { return !DesktopDriver::visibleWindows(SigningUser::pinFormTitle).isEmpty(); }));
        bringTrouble(trouble);
        QVERIFY(user.answerPin(cardPin));
        QVERIFY(user.waitForListing(listings));
        QVERIFY(user.log().contains(QStringLiteral("Recoverable exception")));
        QVERIFY(DesktopDriver::visibleWindows(SigningUser::messageBoxTitle).isEmpty());

        endTrouble();
        const int refreshed = user.logCount(QStringLiteral("Populating tree view of cert containers"));
        user.clickCertForm(form, "btnRefresh");
        QVERIFY(user.answerPin(cardPin));
        QVERIFY(user.waitForListing(refreshed));
        user.clickCertFormRow(form, 1);
        user.clickCertForm(form, "btnOk");
        QVERIFY(page.serveUntil([&]() { return page.saveCount() == 1; }));
        QCOMPARE(savedConfiguration(page).getSigningCertificate(), m_card->credentials().at(0).certificateDer());
        page.host().callMethod(QStringLiteral("Terminate"));
        QVERIFY(page.serveUntil([&]() { return page.finished().has_value(); }));
        QVERIFY(user.closeHost());
    }

private:
    std::unique_ptr<TokenTestBed> m_tokens;
    std::unique_ptr<CardStack> m_card;
    std::unique_ptr<TestHome> m_home;
    QString m_cardSerial;
    std::optional<Trouble> m_trouble;
};

QTEST_MAIN(TestCardSigning)
#include "tst_cardsigning.moc"
