// A whole signing through the real quillmark on a virtual X display: the
// page and signing server are played by TestSigningPage, the token is a
// SoftHSM2 token, and the user's steps (choosing the certificate, typing the
// PIN, pressing Sign, closing boxes) are clicks and keys from outside.
#include "configuration.h"
#include "desktopdriver.h"
#include "fixturepaths.h"
#include "pinsearch.h"
#include "signinguser.h"
#include "signingwindows.h"
#include "testhome.h"
#include "testsigningpage.h"
#include "tokentestbed.h"

#include <QDir>
#include <QFile>
#include <QSslCertificate>
#include <QtTest>

namespace {

// Distinctive, so that a search of the logs for them cannot hit by chance.
const QString pin = QStringLiteral("Qm7-R1ght-4829");
const QString wrongPin = QStringLiteral("Wr0ng-Pin-5571");
const QString screenshotDirectory = QStringLiteral(QUILLMARK_BINARY_DIR "/screenshots/");

} // namespace

class TestSignDocument : public QObject
{
    Q_OBJECT

private:
    QMap<QString, QByteArray> logsAndStandardError(const SigningUser &user) const
    {
        QMap<QString, QByteArray> outputs{{QStringLiteral("standard error"), user.standardErrors()}};
        const QDir logs(m_home->logDirectory());
        for (const QString &name : logs.entryList(QDir::Files)) {
            QFile file(logs.filePath(name));
            if (file.open(QIODevice::ReadOnly))
                outputs.insert(name, file.readAll());
        }
        return outputs;
    }

    QString tokenStores() const
    {
        return QStringLiteral("SoftHSM|") + TokenTestBed::softHsmModule();
    }

    static QByteArray pemOf(const FixtureCredential &credential)
    {
        return QSslCertificate(credential.certificatePem()).toPem();
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment environment = m_home->environment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.insert(QStringLiteral("SOFTHSM2_CONF"), m_tokens->fixture().configPath());
        return environment;
    }

private slots:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs an X display (run under xvfb-run)");
        m_tokens = std::make_unique<TokenTestBed>(QStringLiteral("tst_signdocument"));
        m_first = m_tokens->createSigningToken(QStringLiteral("Quillmark Test"), pin);
        m_second = m_tokens->authority().issue(QStringLiteral("Quillmark Test Second"), true);
        SoftHsmFixture::ObjectOptions options;
        options.id = QByteArray::fromHex("02");
        options.label = QStringLiteral("Quillmark Test Second");
        m_tokens->fixture().importCredential(QStringLiteral("Quillmark Test"), pin, m_second, options);
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
    }

    void signsAndOffersTheSavedCertificateNextTime()
    {
        TestSigningPage page(environment());
        SigningUser user(page, *m_home);
        QVERIFY(user.openSigningWindow(tokenStores()));
        QCOMPARE(page.eventCount(QStringLiteral("LoadConfigurationEvent")), 1);

        // Two certificates on the token: none is chosen for the user.
        const QString form = user.openCertForm(pin);
        QVERIFY(!form.isEmpty());
        user.clickCertFormRow(form, 2);
        QVERIFY(page.serveUntil([&]() { return user.log().contains(QStringLiteral("Certificate was clicked")); }));
        QVERIFY(DesktopDriver::screenshot(form, screenshotDirectory + QStringLiteral("certificate-window.png")));
        user.clickCertForm(form, "btnOk");
        QVERIFY(page.serveUntil([&]() { return page.saveCount() == 1; }));
        QVERIFY(DesktopDriver::waitUntilGone(SigningUser::certFormTitle));
        const Configuration saved = Configuration::deserialize(
            QString::fromUtf8(QByteArray::fromBase64(page.storedConfiguration().toLatin1())));
        QCOMPARE(saved.getPkcs11Library(), TokenTestBed::softHsmModule());
        QCOMPARE(saved.getPkcs11TokenLabel(), QStringLiteral("Quillmark Test"));
        QVERIFY(!saved.getPkcs11TokenSerial().isEmpty());
        const QByteArray chosen = saved.getSigningCertificate();
        QVERIFY(chosen == m_first.certificateDer() || chosen == m_second.certificateDer());

        QVERIFY(DesktopDriver::screenshot(user.mainWindow(), screenshotDirectory + QStringLiteral("signing-window.png")));
        QVERIFY(user.pressSign());
        QVERIFY(user.answerPin(pin));
        QVERIFY(user.closeMessageBox(QStringLiteral("The document was signed successfully.")));
        QVERIFY(page.serveUntil([&]() { return page.finished().has_value(); }));
        QCOMPARE(*page.finished(), true);
        // The call that signed is answered after the end it brought.
        const QByteArray signFinishAnswer =
            HostDriver::emptyAnswer(QStringLiteral("ProcessSignFinishResponse"));
        QVERIFY(
            page.serveUntil([&]() { return page.host().rawFrames().contains(signFinishAnswer); }));
        const QList<QByteArray> frames = page.host().rawFrames();
        QCOMPARE(frames.at(frames.indexOf(signFinishAnswer) - 1),
                 HostDriver::event(QStringLiteral("SigningProcessFinishedEvent"), "[true]"));
        QCOMPARE(page.verifiedSignatures().size(), 1);
        QCOMPARE(page.refusedSignatures(), 0);
        QCOMPARE(QSslCertificate(page.signInitCertificates().value(0)).toDer(), chosen);
        QVERIFY(DesktopDriver::waitUntilGone(SigningUser::mainWindowTitle));
        QVERIFY(!user.log().contains(QStringLiteral("CloseDialog")));
        QVERIFY(page.methodErrors().isEmpty());
        QVERIFY(user.closeHost());

        // The next document: the page hands the configuration back, Sign
        // works at once, and the certificate window offers the same
        // certificate; a wrong PIN is asked again.
        const QString kept = page.storedConfiguration();
        QVERIFY(user.openSigningWindow(tokenStores()));
        const QString secondForm = user.openCertForm(pin);
        QVERIFY(!secondForm.isEmpty());
        user.clickCertForm(secondForm, "btnOk");
        QVERIFY(page.serveUntil([&]() { return page.saveCount() == 1; }));
        QCOMPARE(page.storedConfiguration(), kept);

        QVERIFY(user.pressSign());
        QVERIFY(user.answerPin(wrongPin));
        QVERIFY(user.closeMessageBox(QStringLiteral("The PIN is incorrect.")));
        QVERIFY(user.answerPin(pin));
        QVERIFY(user.closeMessageBox(QStringLiteral("The document was signed successfully.")));
        QVERIFY(page.serveUntil([&]() { return page.finished().has_value(); }));
        QCOMPARE(*page.finished(), true);
        QCOMPARE(page.verifiedSignatures().size(), 2);
        QCOMPARE(QSslCertificate(page.signInitCertificates().value(1)).toDer(), chosen);
        QVERIFY(user.closeHost());

        QVERIFY(user.log().contains(QStringLiteral("Need pin is called")));
        const QStringList hits = pinsFoundIn({pin, wrongPin}, logsAndStandardError(user));
        QVERIFY2(hits.isEmpty(), qPrintable(hits.join(QLatin1Char('\n'))));
    }

    void failedAttemptsLeaveSignAvailable()
    {
        TestSigningPage page(environment());
        SigningUser user(page, *m_home);
        QVERIFY(user.openSigningWindow(tokenStores()));
        QVERIFY(user.chooseCertificate(pin));

        // The PIN dialog cancelled: no signature leaves.
        QVERIFY(user.pressSign());
        QVERIFY(user.answerPin(QString()));
        QVERIFY(user.closeMessageBox(QStringLiteral("The operation was cancelled.")));

        // A sign-init answer to another request: one error box, no signing.
        page.setSignInitAnswer(TestSigningPage::SignInitAnswer::ForeignNonce);
        QVERIFY(user.pressSign());
        QVERIFY(user.closeMessageBox(QStringLiteral("The server answer does not belong to this request.")));
        QVERIFY(DesktopDriver::visibleWindows(SigningUser::pinFormTitle).isEmpty());
        QVERIFY(!page.eventArrivesWithin(QStringLiteral("NeedSignFinishEvent"), 300));
        QVERIFY(DesktopDriver::visibleWindows(SigningUser::messageBoxTitle).isEmpty());

        // Sign still works; the page terminates while the PIN is asked.
        page.setSignInitAnswer(TestSigningPage::SignInitAnswer::Valid);
        QVERIFY(user.pressSign());
        QVERIFY(page.serveUntil([&]() { return !DesktopDriver::visibleWindows(SigningUser::pinFormTitle).isEmpty(); }));
        page.host().callMethod(QStringLiteral("Terminate"));
        QVERIFY(page.serveUntil([&]() { return page.finished().has_value(); }));
        QCOMPARE(*page.finished(), false);
        QVERIFY(DesktopDriver::waitUntilGone(QStringLiteral("Quillmark")));
        QCOMPARE(page.signInitCertificates().size(), 3);
        QCOMPARE(page.eventCount(QStringLiteral("NeedSignFinishEvent")), 0);
        QVERIFY(user.closeHost());
    }

    // Disposing of or replacing the component while the signing run waited
    // for the person hung the host for good.
    void replacedComponentEndsTheWaitingRun_data()
    {
        QTest::addColumn<bool>("inPinDialog");
        QTest::addColumn<QString>("method");
        QTest::addColumn<int>("times");
        QTest::newRow("PIN dialog, DisposeInstance") << true << QStringLiteral("DisposeInstance") << 1;
        QTest::newRow("PIN dialog, CreateInstance") << true << QStringLiteral("CreateInstance") << 1;
        QTest::newRow("error box, DisposeInstance") << false << QStringLiteral("DisposeInstance") << 1;
        QTest::newRow("error box, CreateInstance") << false << QStringLiteral("CreateInstance") << 1;
        // The second came while the first was still disposing of the component.
        QTest::newRow("error box, DisposeInstance twice") << false << QStringLiteral("DisposeInstance") << 2;
    }

    void replacedComponentEndsTheWaitingRun()
    {
        QFETCH(bool, inPinDialog);
        QFETCH(QString, method);
        QFETCH(int, times);
        TestSigningPage page(environment());
        SigningUser user(page, *m_home);
        QVERIFY(user.openSigningWindow(tokenStores()));
        QVERIFY(user.chooseCertificate(pin));
        if (!inPinDialog)
            page.setSignInitAnswer(TestSigningPage::SignInitAnswer::ForeignNonce);
        QVERIFY(user.pressSign());
        const QString waitingIn = inPinDialog ? SigningUser::pinFormTitle : SigningUser::messageBoxTitle;
        QVERIFY(page.serveUntil([&]() { return !DesktopDriver::visibleWindows(waitingIn).isEmpty(); }));

        for (int i = 0; i < times; ++i)
            page.host().callMethod(method);
        const auto answer = page.host().awaitAnswer(method);
        QVERIFY(answer);
        QVERIFY(answer->value(QStringLiteral("error")).isNull());
        // A repeated call finds the component gone or new; either way it is answered.
        for (int i = 1; i < times; ++i)
            QVERIFY(page.host().awaitAnswer(method));
        QVERIFY(DesktopDriver::waitUntilGone(waitingIn));
        QVERIFY(page.host().call(QStringLiteral("GetVersion")));
        QCOMPARE(page.eventCount(QStringLiteral("NeedSignFinishEvent")), 0);
        QVERIFY(user.closeHost());
    }

    // A Terminate while the success box was open reported the signature
    // the server had accepted as failed.
    void terminateWhileSuccessIsShownReportsSuccess()
    {
        TestSigningPage page(environment());
        SigningUser user(page, *m_home);
        QVERIFY(user.openSigningWindow(tokenStores()));
        QVERIFY(user.chooseCertificate(pin));
        QVERIFY(user.pressSign());
        QVERIFY(user.answerPin(pin));
        QVERIFY(page.serveUntil([&]() { return !DesktopDriver::visibleWindows(SigningUser::messageBoxTitle).isEmpty(); }));
        QCOMPARE(page.verifiedSignatures().size(), 1);
        page.host().callMethod(QStringLiteral("Terminate"));
        QVERIFY(page.serveUntil([&]() { return page.finished().has_value(); }));
        QCOMPARE(*page.finished(), true);
        QVERIFY(DesktopDriver::waitUntilGone(SigningUser::messageBoxTitle));
        QVERIFY(user.closeHost());
    }

    void configurationOfAnUnusableModuleSelectsNothing()
    {
        Configuration configuration;
        configuration.setPkcs11Library(QStringLiteral("/usr/lib/nowhere/libvendor-pkcs11.so"));
        configuration.setPkcs11TokenLabel(QStringLiteral("Quillmark Test"));
        configuration.setPkcs11TokenSerial(QStringLiteral("0123"));
        configuration.setSigningCertificate(m_first.certificateDer());
        TestSigningPage page(environment());
        SigningUser user(page, *m_home);
        page.setStoredConfiguration(QString::fromLatin1(configuration.serialize().toUtf8().toBase64()));
        QVERIFY(user.openSigningWindow(tokenStores()));

        user.clickMain("btnSign");
        QVERIFY(!page.eventArrivesWithin(QStringLiteral("NeedSignInitEvent"), 500));
        QVERIFY(!user.log().contains(QStringLiteral("Sign button clicked")));
        QVERIFY(DesktopDriver::visibleWindows(SigningUser::messageBoxTitle).isEmpty());
        page.host().callMethod(QStringLiteral("Terminate"));
        QVERIFY(page.serveUntil([&]() { return page.finished().has_value(); }));
        QVERIFY(user.closeHost());
    }

    // A page could have the browser download a library and name it as a
    // store or in its stored configuration: one click loaded it, with or
    // without a server behind the page.
    void pageNamedLibraryIsNeverLoaded_data()
    {
        QTest::addColumn<QString>("stores");
        QTest::addColumn<bool>("configurationNamesIt");
        QTest::addColumn<bool>("documentRefused");
        QTest::addColumn<QByteArray>("click");
        QTest::addColumn<QString>("logged");
        const QString named = QStringLiteral("Downloaded token|%1");
        const QString selectable = QStringLiteral("|PKCS11");
        const QString storeLeftOut = QStringLiteral("left out: ");
        const QString notAvailable = QStringLiteral("Configuration not available: ");
        QTest::newRow("named store, certificate button")
            << named << false << false << QByteArray("btnChangeCert") << storeLeftOut;
        QTest::newRow("stored configuration, certificate button")
            << selectable << true << false << QByteArray("btnChangeCert") << notAvailable;
        QTest::newRow("stored configuration, Sign")
            << selectable << true << false << QByteArray("btnSign") << notAvailable;
        QTest::newRow("document refused, named store, certificate button")
            << named << false << true << QByteArray("btnChangeCert") << storeLeftOut;
    }

    void pageNamedLibraryIsNeverLoaded()
    {
        QFETCH(QString, stores);
        QFETCH(bool, configurationNamesIt);
        QFETCH(bool, documentRefused);
        QFETCH(QByteArray, click);
        QFETCH(QString, logged);
        const QString planted =
            m_tokens->plantModule(TokenTestBed::markerModule(), QStringLiteral("token-pkcs11.so"));
        TestSigningPage page(environment());
        SigningUser user(page, *m_home);
        if (configurationNamesIt)
            page.setStoredConfiguration(base64Of(configurationOf(planted, m_first)));
        if (documentRefused)
            page.setDocumentInfoAnswer(TestSigningPage::DocumentInfoAnswer::Junk);
        const QString definition = stores.arg(planted);
        QVERIFY(documentRefused ? user.openRefusedSigningWindow(definition)
                                : user.openSigningWindow(definition));

        user.clickMain(click.constData());
        // The click ends in a box (no usable store, no module chosen, or
        // the failure of the library), or Sign does nothing at all.
        QString box;
        page.serveUntil(
            [&]() {
                return !(box = DesktopDriver::visibleWindows(SigningUser::messageBoxTitle).value(0))
                            .isEmpty();
            },
            3000);
        QVERIFY2(!QFile::exists(planted + QStringLiteral(".loaded")),
                 "the page's library was loaded");
        QCOMPARE(page.eventCount(QStringLiteral("NeedSignInitEvent")), 0);
        QVERIFY(user.log().contains(logged + planted + QStringLiteral(" is not trusted: ")));
        if (!box.isEmpty())
            DesktopDriver::key(box, QStringLiteral("Return"));
        page.host().callMethod(QStringLiteral("Terminate"));
        QVERIFY(page.serveUntil([&]() { return page.finished().has_value(); }));
        QVERIFY(user.closeHost());
    }

    // The page answered the configuration request again after Sign, naming
    // a downloaded library, or answered it only then, naming the token's
    // other certificate: the run took whatever had come by the sign-init
    // answer.
    void signingRunUsesTheConfigurationOfThePress_data()
    {
        QTest::addColumn<bool>("withheld");
        QTest::newRow("second answer after Sign, a downloaded library") << false;
        QTest::newRow("the only answer after Sign, the other certificate") << true;
    }

    void signingRunUsesTheConfigurationOfThePress()
    {
        QFETCH(bool, withheld);
        const QString planted =
            m_tokens->plantModule(TokenTestBed::markerModule(), QStringLiteral("token-pkcs11.so"));
        TestSigningPage page(environment());
        SigningUser user(page, *m_home);
        if (withheld)
            page.withholdConfiguration();
        QVERIFY(user.openSigningWindow(tokenStores() + QStringLiteral("||PKCS11")));
        QVERIFY(user.chooseCertificate(pin));
        Configuration changed = Configuration::deserialize(
            QString::fromUtf8(QByteArray::fromBase64(page.storedConfiguration().toLatin1())));
        const QByteArray chosen = changed.getSigningCertificate();
        if (withheld)
            changed.setSigningCertificate(chosen == m_first.certificateDer()
                                              ? m_second.certificateDer()
                                              : m_first.certificateDer());
        else
            changed.setPkcs11Library(planted);
        page.sendConfigurationAtSignInit(base64Of(changed));

        QVERIFY(user.pressSign());
        QVERIFY(page.serveUntil([&]() {
            return !DesktopDriver::visibleWindows(SigningUser::pinFormTitle).isEmpty()
                   || !DesktopDriver::visibleWindows(SigningUser::messageBoxTitle).isEmpty();
        }));
        QVERIFY2(!QFile::exists(planted + QStringLiteral(".loaded")),
                 "the page's library was loaded");
        QVERIFY(user.answerPin(pin));
        QVERIFY(user.closeMessageBox(QStringLiteral("The document was signed successfully.")));
        QVERIFY(page.serveUntil([&]() { return page.finished().has_value(); }));
        QCOMPARE(*page.finished(), true);
        QCOMPARE(page.verifiedSignatures().size(), 1);
        QCOMPARE(page.refusedSignatures(), 0);
        QCOMPARE(QSslCertificate(page.signInitCertificates().value(0)).toDer(), chosen);
        QCOMPARE(user.logCount(QStringLiteral("Configuration answer ignored")), withheld ? 0 : 1);
        QVERIFY(user.closeHost());
    }

private:
    static Configuration configurationOf(const QString &library,
                                         const FixtureCredential &credential)
    {
        Configuration configuration;
        configuration.setPkcs11Library(library);
        configuration.setPkcs11TokenLabel(QStringLiteral("Quillmark Test"));
        configuration.setPkcs11TokenSerial(QStringLiteral("0123"));
        configuration.setSigningCertificate(credential.certificateDer());
        return configuration;
    }

    static QString base64Of(const Configuration &configuration)
    {
        return QString::fromLatin1(configuration.serialize().toUtf8().toBase64());
    }

    std::unique_ptr<TokenTestBed> m_tokens;
    FixtureCredential m_first = FixtureCredential::createAuthority(QStringLiteral("placeholder"));
    FixtureCredential m_second = m_first;
    std::unique_ptr<TestHome> m_home;
};

QTEST_MAIN(TestSignDocument)
#include "tst_signdocument.moc"
