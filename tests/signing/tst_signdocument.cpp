// A whole signing through the real quillmark on a virtual X display: the
// page and signing server are played by TestSigningPage, the token is a
// SoftHSM2 token, and the user's steps (choosing the certificate, typing the
// PIN, pressing Sign, closing boxes) are clicks and keys from outside.
#include "configuration.h"
#include "desktopdriver.h"
#include "pinsearch.h"
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
const QString mainWindowTitle = QStringLiteral("^Quillmark - ");
const QString certFormTitle = QStringLiteral("^Select signing certificate$");
const QString pinFormTitle = QStringLiteral("^Varnek Quillmark$");
const QString messageBoxTitle = QStringLiteral("^Quillmark$");
const QString screenshotDirectory = QStringLiteral(QUILLMARK_BINARY_DIR "/screenshots/");

} // namespace

class TestSignDocument : public QObject
{
    Q_OBJECT

private:
    QString log() const
    {
        QFile file(m_home->logFile(QStringLiteral("quillmarklog.txt")));
        file.open(QIODevice::ReadOnly);
        return QString::fromUtf8(file.readAll());
    }

    int logCount(const QString &line) const { return log().count(line); }

    bool openSigningWindow(TestSigningPage &page, const QString &stores)
    {
        const int pagesShown = logCount(QStringLiteral("Show page 1"));
        if (!page.open(stores))
            return false;
        const bool pageShown = page.serveUntil([&]() {
            return page.eventCount(QStringLiteral("NeedGetDocumentPageEvent")) == 1
                   && logCount(QStringLiteral("Show page 1")) > pagesShown;
        });
        m_mainWindow = DesktopDriver::waitForWindow(mainWindowTitle);
        return pageShown && !m_mainWindow.isEmpty();
    }

    void clickMain(const char *objectName)
    {
        DesktopDriver::click(m_mainWindow, SigningWindows::mainWindowControl(
                                               objectName, DesktopDriver::windowSize(m_mainWindow)));
    }

    // Presses Sign until the page hears of it: the tool strips come back
    // a moment after the box of a failed attempt has gone, as a user notices.
    bool pressSign(TestSigningPage &page)
    {
        for (int attempt = 0; attempt < 10; ++attempt) {
            clickMain("btnSign");
            if (page.eventArrivesWithin(QStringLiteral("NeedSignInitEvent"), 300))
                return true;
        }
        return false;
    }

    // Waits for the PIN dialog, serving the page meanwhile, and answers it.
    bool answerPin(TestSigningPage &page, const QString &typed)
    {
        QString dialog;
        page.serveUntil([&]() { return !(dialog = DesktopDriver::visibleWindows(pinFormTitle).value(0)).isEmpty(); });
        if (dialog.isEmpty())
            return false;
        if (typed.isEmpty()) {
            DesktopDriver::key(dialog, QStringLiteral("Escape"));
        } else {
            DesktopDriver::type(dialog, typed);
            DesktopDriver::key(dialog, QStringLiteral("Return"));
        }
        return page.serveUntil([&]() { return DesktopDriver::visibleWindows(pinFormTitle).isEmpty(); });
    }

    // Waits for a message box with this text and closes it with Return.
    bool closeMessageBox(TestSigningPage &page, const QString &text)
    {
        QString box;
        const bool shown = page.serveUntil([&]() {
            box = DesktopDriver::visibleWindows(messageBoxTitle).value(0);
            return !box.isEmpty() && log().section(QStringLiteral("Closing MsgBox"), -1).contains(text);
        });
        if (!shown)
            return false;
        DesktopDriver::key(box, QStringLiteral("Return"));
        return page.serveUntil([&]() { return DesktopDriver::visibleWindows(messageBoxTitle).isEmpty(); });
    }

    // Opens the certificate window and logs in to the token for the listing.
    QString openCertForm(TestSigningPage &page)
    {
        const int listings = logCount(QStringLiteral("Populating tree view of cert containers"));
        clickMain("btnChangeCert");
        const QString form = DesktopDriver::waitForWindow(certFormTitle);
        if (form.isEmpty() || !answerPin(page, pin))
            return {};
        const bool listed = page.serveUntil(
            [&]() { return logCount(QStringLiteral("Populating tree view of cert containers")) > listings; });
        return listed ? form : QString();
    }

    // Chooses the token's first certificate, which the page then stores.
    bool chooseCertificate(TestSigningPage &page)
    {
        const QString form = openCertForm(page);
        if (form.isEmpty())
            return false;
        DesktopDriver::doubleClick(form, SigningWindows::certFormTreeRow(1, DesktopDriver::windowSize(form)));
        return page.serveUntil([&]() { return page.saveCount() == 1; });
    }

    void clickCertForm(const QString &form, const char *objectName)
    {
        DesktopDriver::click(form, SigningWindows::certFormControl(objectName, DesktopDriver::windowSize(form)));
    }

    bool closeHost(TestSigningPage &page)
    {
        const bool ended = page.host().closeInputAndWait();
        m_standardErrors += page.host().standardError();
        if (!ended || page.host().process().exitCode() != 0)
            qWarning() << "quillmark ended:" << ended << page.host().process().exitCode()
                       << page.host().standardError().right(2000);
        return ended && page.host().process().exitCode() == 0;
    }

    QMap<QString, QByteArray> logsAndStandardError() const
    {
        QMap<QString, QByteArray> outputs{{QStringLiteral("standard error"), m_standardErrors}};
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
        m_standardErrors.clear();
        m_home = std::make_unique<TestHome>();
        QVERIFY(m_home->switchLoggingOn(QStringLiteral("quillmarklog.txt")));
    }

    void cleanup()
    {
        if (QTest::currentTestFailed())
            qWarning().noquote() << log().right(6000);
    }

    void signsAndOffersTheSavedCertificateNextTime()
    {
        TestSigningPage page(environment());
        QVERIFY(openSigningWindow(page, tokenStores()));
        QCOMPARE(page.eventCount(QStringLiteral("LoadConfigurationEvent")), 1);

        // Two certificates on the token: none is chosen for the user.
        const QString form = openCertForm(page);
        QVERIFY(!form.isEmpty());
        const QSize formSize = DesktopDriver::windowSize(form);
        DesktopDriver::click(form, SigningWindows::certFormTreeRow(2, formSize));
        QVERIFY(page.serveUntil([&]() { return log().contains(QStringLiteral("Certificate was clicked")); }));
        QVERIFY(DesktopDriver::screenshot(form, screenshotDirectory + QStringLiteral("certificate-window.png")));
        clickCertForm(form, "btnOk");
        QVERIFY(page.serveUntil([&]() { return page.saveCount() == 1; }));
        QVERIFY(DesktopDriver::waitUntilGone(certFormTitle));
        const Configuration saved = Configuration::deserialize(
            QString::fromUtf8(QByteArray::fromBase64(page.storedConfiguration().toLatin1())));
        QCOMPARE(saved.getPkcs11Library(), TokenTestBed::softHsmModule());
        QCOMPARE(saved.getPkcs11TokenLabel(), QStringLiteral("Quillmark Test"));
        QVERIFY(!saved.getPkcs11TokenSerial().isEmpty());
        const QByteArray chosen = saved.getSigningCertificate();
        QVERIFY(chosen == m_first.certificateDer() || chosen == m_second.certificateDer());

        QVERIFY(DesktopDriver::screenshot(m_mainWindow, screenshotDirectory + QStringLiteral("signing-window.png")));
        QVERIFY(pressSign(page));
        QVERIFY(answerPin(page, pin));
        QVERIFY(closeMessageBox(page, QStringLiteral("The document was signed successfully.")));
        QVERIFY(page.serveUntil([&]() { return page.finished().has_value(); }));
        QCOMPARE(*page.finished(), true);
        QCOMPARE(page.verifiedSignatures().size(), 1);
        QCOMPARE(page.refusedSignatures(), 0);
        QCOMPARE(QSslCertificate(page.signInitCertificates().value(0)).toDer(), chosen);
        QVERIFY(DesktopDriver::waitUntilGone(mainWindowTitle));
        QVERIFY(!log().contains(QStringLiteral("CloseDialog")));
        QVERIFY(page.methodErrors().isEmpty());
        QVERIFY(closeHost(page));

        // The next document: the page hands the configuration back, Sign
        // works at once, and the certificate window offers the same
        // certificate; a wrong PIN is asked again.
        const QString kept = page.storedConfiguration();
        QVERIFY(openSigningWindow(page, tokenStores()));
        const QString secondForm = openCertForm(page);
        QVERIFY(!secondForm.isEmpty());
        clickCertForm(secondForm, "btnOk");
        QVERIFY(page.serveUntil([&]() { return page.saveCount() == 1; }));
        QCOMPARE(page.storedConfiguration(), kept);

        QVERIFY(pressSign(page));
        QVERIFY(answerPin(page, wrongPin));
        QVERIFY(closeMessageBox(page, QStringLiteral("The PIN is incorrect.")));
        QVERIFY(answerPin(page, pin));
        QVERIFY(closeMessageBox(page, QStringLiteral("The document was signed successfully.")));
        QVERIFY(page.serveUntil([&]() { return page.finished().has_value(); }));
        QCOMPARE(*page.finished(), true);
        QCOMPARE(page.verifiedSignatures().size(), 2);
        QCOMPARE(QSslCertificate(page.signInitCertificates().value(1)).toDer(), chosen);
        QVERIFY(closeHost(page));

        QVERIFY(log().contains(QStringLiteral("Need pin is called")));
        const QStringList hits = pinsFoundIn({pin, wrongPin}, logsAndStandardError());
        QVERIFY2(hits.isEmpty(), qPrintable(hits.join(QLatin1Char('\n'))));
    }

    void failedAttemptsLeaveSignAvailable()
    {
        TestSigningPage page(environment());
        QVERIFY(openSigningWindow(page, tokenStores()));
        QVERIFY(chooseCertificate(page));

        // The PIN dialog cancelled: no signature leaves.
        QVERIFY(pressSign(page));
        QVERIFY(answerPin(page, QString()));
        QVERIFY(closeMessageBox(page, QStringLiteral("The operation was cancelled.")));

        // A sign-init answer to another request: one error box, no signing.
        page.setSignInitAnswer(TestSigningPage::SignInitAnswer::ForeignNonce);
        QVERIFY(pressSign(page));
        QVERIFY(closeMessageBox(page, QStringLiteral("The server answer does not belong to this request.")));
        QVERIFY(DesktopDriver::visibleWindows(pinFormTitle).isEmpty());
        QVERIFY(!page.eventArrivesWithin(QStringLiteral("NeedSignFinishEvent"), 300));
        QVERIFY(DesktopDriver::visibleWindows(messageBoxTitle).isEmpty());

        // Sign still works; the page terminates while the PIN is asked.
        page.setSignInitAnswer(TestSigningPage::SignInitAnswer::Valid);
        QVERIFY(pressSign(page));
        QVERIFY(page.serveUntil([&]() { return !DesktopDriver::visibleWindows(pinFormTitle).isEmpty(); }));
        page.host().callMethod(QStringLiteral("Terminate"));
        QVERIFY(page.serveUntil([&]() { return page.finished().has_value(); }));
        QCOMPARE(*page.finished(), false);
        QVERIFY(DesktopDriver::waitUntilGone(QStringLiteral("Quillmark")));
        QCOMPARE(page.signInitCertificates().size(), 3);
        QCOMPARE(page.eventCount(QStringLiteral("NeedSignFinishEvent")), 0);
        QVERIFY(closeHost(page));
    }

    // Disposing of or replacing the component while the signing run waited
    // for the person hung the host for good.
    void replacedComponentEndsTheWaitingRun_data()
    {
        QTest::addColumn<bool>("inPinDialog");
        QTest::addColumn<QString>("method");
        QTest::newRow("PIN dialog, DisposeInstance") << true << QStringLiteral("DisposeInstance");
        QTest::newRow("PIN dialog, CreateInstance") << true << QStringLiteral("CreateInstance");
        QTest::newRow("error box, DisposeInstance") << false << QStringLiteral("DisposeInstance");
        QTest::newRow("error box, CreateInstance") << false << QStringLiteral("CreateInstance");
    }

    void replacedComponentEndsTheWaitingRun()
    {
        QFETCH(bool, inPinDialog);
        QFETCH(QString, method);
        TestSigningPage page(environment());
        QVERIFY(openSigningWindow(page, tokenStores()));
        QVERIFY(chooseCertificate(page));
        if (!inPinDialog)
            page.setSignInitAnswer(TestSigningPage::SignInitAnswer::ForeignNonce);
        QVERIFY(pressSign(page));
        const QString waitingIn = inPinDialog ? pinFormTitle : messageBoxTitle;
        QVERIFY(page.serveUntil([&]() { return !DesktopDriver::visibleWindows(waitingIn).isEmpty(); }));

        const auto answer = page.host().call(method);
        QVERIFY(answer);
        QVERIFY(answer->value(QStringLiteral("error")).isNull());
        QVERIFY(DesktopDriver::waitUntilGone(waitingIn));
        QVERIFY(page.host().call(QStringLiteral("GetVersion")));
        QCOMPARE(page.eventCount(QStringLiteral("NeedSignFinishEvent")), 0);
        QVERIFY(closeHost(page));
    }

    // A Terminate while the success box was open reported the signature
    // the server had accepted as failed.
    void terminateWhileSuccessIsShownReportsSuccess()
    {
        TestSigningPage page(environment());
        QVERIFY(openSigningWindow(page, tokenStores()));
        QVERIFY(chooseCertificate(page));
        QVERIFY(pressSign(page));
        QVERIFY(answerPin(page, pin));
        QVERIFY(page.serveUntil([&]() { return !DesktopDriver::visibleWindows(messageBoxTitle).isEmpty(); }));
        QCOMPARE(page.verifiedSignatures().size(), 1);
        page.host().callMethod(QStringLiteral("Terminate"));
        QVERIFY(page.serveUntil([&]() { return page.finished().has_value(); }));
        QCOMPARE(*page.finished(), true);
        QVERIFY(DesktopDriver::waitUntilGone(messageBoxTitle));
        QVERIFY(closeHost(page));
    }

    void configurationOfAnUnusableModuleSelectsNothing()
    {
        Configuration configuration;
        configuration.setPkcs11Library(QStringLiteral("/usr/lib/nowhere/libvendor-pkcs11.so"));
        configuration.setPkcs11TokenLabel(QStringLiteral("Quillmark Test"));
        configuration.setPkcs11TokenSerial(QStringLiteral("0123"));
        configuration.setSigningCertificate(m_first.certificateDer());
        TestSigningPage page(environment());
        page.setStoredConfiguration(QString::fromLatin1(configuration.serialize().toUtf8().toBase64()));
        QVERIFY(openSigningWindow(page, tokenStores()));

        clickMain("btnSign");
        QVERIFY(!page.eventArrivesWithin(QStringLiteral("NeedSignInitEvent"), 500));
        QVERIFY(!log().contains(QStringLiteral("Sign button clicked")));
        QVERIFY(DesktopDriver::visibleWindows(messageBoxTitle).isEmpty());
        page.host().callMethod(QStringLiteral("Terminate"));
        QVERIFY(page.serveUntil([&]() { return page.finished().has_value(); }));
        QVERIFY(closeHost(page));
    }

private:
    std::unique_ptr<TokenTestBed> m_tokens;
    FixtureCredential m_first = FixtureCredential::createAuthority(QStringLiteral("placeholder"));
    FixtureCredential m_second = m_first;
    std::unique_ptr<TestHome> m_home;
    QString m_mainWindow;
    QByteArray m_standardErrors;
};

QTEST_MAIN(TestSignDocument)
#include "tst_signdocument.moc"
