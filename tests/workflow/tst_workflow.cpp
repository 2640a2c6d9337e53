#include "answerrecordwriter.h"
#include "appexception.h"
#include "configuration.h"
#include "documentview.h"
#include "documentworkflow.h"
#include "fixturecredential.h"
#include "fixturepaths.h"
#include "pinprompt.h"
#include "responsesigner.h"
#include "softhsmfixture.h"
#include "storedefinition.h"

#include <QSet>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

#include <atomic>
#include <functional>
#include <memory>

namespace {

const ProvingData document{QStringLiteral("A"), QStringLiteral("2.16.840.1.101.3.4.2.1"),
                           QStringLiteral("q83vEjRWeJA=")};
// Base64 of the PNG signature: an image to the stand-in view.
const QByteArray pngData = "iVBORw0KGgo=";
const QString tokenPin = QStringLiteral("246813");

QString commonName(const X509Certificate2Ultra &certificate)
{
    return certificate.isNull() ? QStringLiteral("none")
                                : certificate.subjectInfo(QSslCertificate::CommonName).value(0);
}

// The window's part: notes in the shared log what it was told, and holds the
// continuations of its boxes and the close question until the test answers
// like the person.
class PlainView : public DocumentView
{
public:
    explicit PlainView(QStringList &log) : m_log(log) { }

    void showWaitPanel(const QString &text) override { m_log << QStringLiteral("wait: ") + text; }
    void hideWaitPanel() override { m_log << QStringLiteral("wait over"); }
    void disableToolStrips() override { m_log << QStringLiteral("strips off"); }
    void enableToolStrips() override { m_log << QStringLiteral("strips on"); }
    void showDocumentTitle(const X509Certificate2Ultra &server, const QString &docId) override
    {
        m_log << QStringLiteral("title: %1, %2").arg(commonName(server), docId);
    }
    void showPagePosition(int page, int pages) override
    {
        m_log << QStringLiteral("page %1 of %2").arg(page).arg(pages);
    }
    bool showCachedPage(int page) override
    {
        if (!m_pages.contains(page))
            return false;
        m_log << QStringLiteral("cached page %1").arg(page);
        return true;
    }
    bool showPageImage(int page, const QByteArray &imageData) override
    {
        if (!imageData.startsWith("\x89PNG"))
            return false;
        m_pages.insert(page);
        m_log << QStringLiteral("page image %1").arg(page);
        return true;
    }
    void hidePage() override { m_log << QStringLiteral("page hidden"); }
    void focusPage() override { m_log << QStringLiteral("focus"); }
    void showSigningCertificate(const X509Certificate2Ultra &certificate) override
    {
        m_log << QStringLiteral("certificate: ") + commonName(certificate);
    }
    void showError(const AppException &e, Continuation then) override
    {
        box(QStringLiteral("error: ") + e.message(), std::move(then));
    }
    void showError(const QString &message, Continuation then) override
    {
        box(QStringLiteral("error: ") + message, std::move(then));
    }
    void showErrorWithDetail(const QString &message, const QString &) override
    {
        box(QStringLiteral("error: ") + message, {});
    }
    void showInfo(const QString &message, Continuation then) override
    {
        box(QStringLiteral("info: ") + message, std::move(then));
    }
    void askToClose(CloseAnswer answered) override
    {
        m_log << QStringLiteral("close?");
        m_closeQuestion = std::move(answered);
    }
    void hideDocument() override { m_log << QStringLiteral("hidden"); }

    // The person closes the oldest box.
    void closeBox()
    {
        QVERIFY(!m_boxes.isEmpty());
        const Continuation then = m_boxes.takeFirst();
        if (then)
            then();
    }
    void answerCloseQuestion(bool mayClose)
    {
        QVERIFY(m_closeQuestion);
        std::exchange(m_closeQuestion, {})(mayClose);
    }

private:
    void box(const QString &text, Continuation then)
    {
        m_log << text;
        m_boxes << std::move(then);
    }

    QStringList &m_log;
    QList<Continuation> m_boxes;
    CloseAnswer m_closeQuestion;
    QSet<int> m_pages;
};

// Types the PIN of the test token, from the signing task's thread.
class TypedPin : public PinPrompt
{
public:
    QString askForPin(const Pkcs11SlotInfo &, const Pkcs11TokenInfo &) override
    {
        return m_withdrawn ? QString() : tokenPin;
    }
    void reportPinRefused(const QString &) override { }
    bool isWithdrawn() const override { return m_withdrawn; }
    void withdraw() override { m_withdrawn = true; }

private:
    std::atomic_bool m_withdrawn{false};
};

enum class Broken { Nothing, NoDocInfo, NoPages, NoPage, NotAnImage, OtherPage, Unsigned };

// One document window's workflow with the page and its server played here:
// what the workflow asks of the page goes into the same log as what it shows.
struct Session
{
    using Kind = CommunicationManager::RequestKind;

    explicit Session(bool viewOnly, const DocumentWorkflow::StoreDefinitions &stores =
                                        DocumentWorkflow::StoreDefinitions())
        : view(log), workflow(viewOnly, stores, [] { return std::make_shared<TypedPin>(); })
    {
        workflow.setView(&view);
        QObject *context = &workflow;
        QObject::connect(
            &workflow, &DocumentWorkflow::needGetDocumentInfoEvent, context,
            [this](const QString &nonce) { request(Kind::GetDocumentInfo, nonce, {}); });
        QObject::connect(&workflow, &DocumentWorkflow::needGetDocumentPageEvent, context,
                         [this](int page, const QString &nonce) {
                             request(Kind::GetDocumentPage, nonce, QString::number(page));
                         });
        QObject::connect(&workflow, &DocumentWorkflow::needSignInitEvent, context,
                         [this](const QString &certificate, const QString &nonce) {
                             signingCertificatePem = certificate;
                             request(Kind::SignInit, nonce, {});
                         });
        QObject::connect(&workflow, &DocumentWorkflow::needSignFinishEvent, context,
                         [this](const QString &signature, const QString &nonce) {
                             this->signature = signature;
                             request(Kind::SignFinish, nonce, {});
                         });
        QObject::connect(&workflow, &DocumentWorkflow::loadConfigurationEvent, context,
                         [this] { log << QStringLiteral("> LoadConfiguration"); });
        QObject::connect(&workflow, &DocumentWorkflow::saveConfigurationEvent, context,
                         [this](const QString &) { log << QStringLiteral("> SaveConfiguration"); });
        QObject::connect(&workflow, &DocumentWorkflow::signingProcessFinishedEvent, context,
                         [this](bool successful) {
                             log << QStringLiteral("> SigningProcessFinished %1").arg(successful);
                         });
    }

    QStringList take() { return std::exchange(log, {}); }

    // The server's signed answer to the last request of this kind.
    QString answerText(Kind kind, Broken broken = Broken::Nothing) const
    {
        const QString nonce = nonces.value(kind, QStringLiteral("{never requested}"));
        return ResponseSigner(SigningIdentity::development(QStringLiteral("server-2014")))
            .envelope(recordXml(kind, broken, nonce), nonce);
    }

    void answer(Kind kind, Broken broken = Broken::Nothing)
    {
        const QString text =
            broken == Broken::Unsigned ? QStringLiteral("junk") : answerText(kind, broken);
        switch (kind) {
        case Kind::GetDocumentInfo:
            workflow.processGetDocumentInfoResponse(text);
            break;
        case Kind::GetDocumentPage:
            workflow.processGetDocumentPageResponse(text);
            break;
        case Kind::SignInit:
            workflow.processSignInitResponse(text);
            break;
        case Kind::SignFinish:
        case Kind::None:
            workflow.processSignFinishResponse(text);
            break;
        }
    }

    // Brings the workflow to page 1 of 2 on screen.
    void openDocument()
    {
        workflow.viewShown();
        answer(Kind::GetDocumentInfo);
        answer(Kind::GetDocumentPage);
        take();
    }

    QStringList log;
    PlainView view;
    DocumentWorkflow workflow;
    QHash<int, QString> nonces;
    QHash<int, int> requestedPages;
    QString signingCertificatePem;
    QString signature;

private:
    void request(Kind kind, const QString &nonce, const QString &argument)
    {
        static const char *const names[] = {"", "NeedGetDocumentInfo", "NeedGetDocumentPage",
                                            "NeedSignInit", "NeedSignFinish"};
        nonces.insert(kind, nonce);
        requestedPages.insert(kind, argument.toInt());
        log << (QStringLiteral("> ") + QLatin1String(names[kind]) + QLatin1Char(' ') + argument)
                   .trimmed();
    }

    QString recordXml(Kind kind, Broken broken, const QString &nonce) const
    {
        const auto fill = [&](AnswerRecord &record) {
            record.nonce = nonce;
            record.sessionId = QStringLiteral("session-1");
            record.provingData = {document};
        };
        switch (kind) {
        case Kind::GetDocumentInfo: {
            GetDocumentInfoResponse record;
            fill(record);
            if (broken != Broken::NoDocInfo)
                record.docInfo = DocInfo{true, QStringLiteral("application/pdf"),
                                         broken == Broken::NoPages ? 0 : 2};
            return AnswerRecordWriter::toXml(record);
        }
        case Kind::GetDocumentPage: {
            GetDocumentPageResponse record;
            fill(record);
            record.pageNumber = requestedPages.value(kind) + (broken == Broken::OtherPage ? 1 : 0);
            if (broken != Broken::NoPage)
                record.page = DocData{document.docId, QStringLiteral("page"),
                                      broken == Broken::NotAnImage ? QByteArray("bm90IGFuIGltYWdl")
                                                                   : pngData};
            return AnswerRecordWriter::toXml(record);
        }
        case Kind::SignInit: {
            SignInitResponse record;
            fill(record);
            record.signInitOutput = SignInitOutput{
                QString::fromLatin1(QByteArray(32, '\x5a').toHex()), document.hashOid};
            return AnswerRecordWriter::toXml(record);
        }
        case Kind::SignFinish:
        case Kind::None:
            break;
        }
        SignFinishResponse record;
        fill(record);
        record.signedDocument = SignedDocument{
            DocData{document.docId, QStringLiteral("signed.pdf"), "JVBERi0="}, std::nullopt};
        return AnswerRecordWriter::toXml(record);
    }
};

using Step = std::function<void(Session &)>;

QString waitText(const char *key, int page = 0)
{
    const QString text = QObject::tr(key);
    return QStringLiteral("wait: ") + (page ? text.arg(page) : text);
}

QString mismatchBox(const QString &exchange)
{
    return QStringLiteral("error: ") + QObject::tr("CommunicationMismatchResponse").arg(exchange);
}

} // namespace

Q_DECLARE_METATYPE(Step)

// The document workflow without its window: the requests it sends, the
// answers it takes or refuses, and what it shows meanwhile, in order.
class TestWorkflow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_translator.load(
            QStringLiteral(QUILLMARK_STAGE_BIN "/../share/translations/Quillmark_en.qm")));
        QCoreApplication::installTranslator(&m_translator);
        makeToken();
    }

    void viewingAsksForEachPageOnce()
    {
        Session session(true);
        session.workflow.viewShown();
        QCOMPARE(session.take(),
                 (QStringList{"> LoadConfiguration", waitText("PanelWaitTextForGetDocumentInfo"),
                              "> NeedGetDocumentInfo"}));
        session.answer(Session::Kind::GetDocumentInfo);
        QCOMPARE(
            session.take(),
            (QStringList{"wait over", "title: Varnek Development Signing Server, A", "page 1 of 2",
                         "page hidden", waitText("PanelWaitTextForGetDocumentPage", 1),
                         "> NeedGetDocumentPage 1", "focus"}));
        session.answer(Session::Kind::GetDocumentPage);
        QCOMPARE(session.take(), (QStringList{"wait over", "page image 1"}));

        session.workflow.changePage(2);
        session.answer(Session::Kind::GetDocumentPage);
        QCOMPARE(session.take(),
                 (QStringList{"page 2 of 2", "page hidden",
                              waitText("PanelWaitTextForGetDocumentPage", 2),
                              "> NeedGetDocumentPage 2", "focus", "wait over", "page image 2"}));
        // A page at hand is not asked for again, nor the configuration or
        // the document information when the view shows once more.
        session.workflow.changePage(1);
        session.workflow.viewShown();
        QCOMPARE(session.take(), (QStringList{"page 1 of 2", "cached page 1", "focus"}));
    }

    void signingRunsFromTheStoredCertificateToTheEnd()
    {
        QVERIFY(m_token);
        Session session(false, StoreDefinition::parseList(QStringLiteral("Test token|")
                                                          + SoftHsmFixture::modulePath()));
        session.openDocument();
        session.workflow.configurationLoaded(m_configurationText);
        QCOMPARE(session.take(), QStringList{"certificate: Workflow Signer"});

        session.workflow.signDocument();
        QCOMPARE(session.take(),
                 (QStringList{waitText("PanelWaitTextForSignInit"), "> NeedSignInit"}));
        QCOMPARE(session.signingCertificatePem.toLatin1(), m_credential->certificatePem());
        session.answer(Session::Kind::SignInit);
        // The token signs on a pool thread; the tool strips stay off meanwhile.
        QTRY_VERIFY(session.log.contains("> NeedSignFinish"));
        QCOMPARE(session.take(),
                 (QStringList{"wait over", "strips off", "strips on",
                              waitText("PanelWaitTextForSignFinish"), "> NeedSignFinish"}));
        QCOMPARE(session.signature.size(), 512);

        session.answer(Session::Kind::SignFinish);
        QCOMPARE(session.take(),
                 (QStringList{"wait over", "strips off",
                              "info: " + QObject::tr("SigningSuccessfulDialogText")}));
        // Signed: the page hears of it once the person has read the box, and
        // closing asks nothing.
        session.view.closeBox();
        QCOMPARE(session.take(), (QStringList{"> SigningProcessFinished 1", "hidden"}));
        session.workflow.close();
        QCOMPARE(session.take(), QStringList());
    }

    void signingFailureIsShownAndTheWindowStays()
    {
        // A certificate chosen for a module that cannot be loaded.
        Session session(false);
        session.openDocument();
        Configuration configuration;
        configuration.setPkcs11Library(QStringLiteral("/nonexistent/module.so"));
        configuration.setSigningCertificate(m_credential->certificateDer());
        session.workflow.chooseSigningCertificate(
            X509Certificate2Ultra(m_credential->certificateDer(), QSsl::Der), configuration);
        QCOMPARE(session.take(),
                 (QStringList{"certificate: Workflow Signer", "> SaveConfiguration"}));
        session.workflow.signDocument();
        session.answer(Session::Kind::SignInit);
        QTRY_COMPARE(session.log.size(), 6);
        // Which refusal the token layer gives is its own affair.
        QVERIFY2(session.log.takeLast().startsWith("error: "), qPrintable(session.log.join('\n')));
        QCOMPARE(session.take(),
                 (QStringList{waitText("PanelWaitTextForSignInit"), "> NeedSignInit", "wait over",
                              "strips off", "strips on"}));
        session.view.closeBox();
        QCOMPARE(session.take(), QStringList());
    }

    void answersThatDoNotFit_data()
    {
        using Kind = Session::Kind;
        QTest::addColumn<Step>("setup");
        QTest::addColumn<Step>("act");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QStringList>("afterBox");

        const Step waitForInformation = [](Session &s) { s.workflow.viewShown(); };
        const Step waitForPage = [](Session &s) {
            s.workflow.viewShown();
            s.answer(Kind::GetDocumentInfo);
        };
        const Step waitForPageTwo = [](Session &s) {
            s.openDocument();
            s.workflow.changePage(2);
        };
        const Step onFirstPage = [](Session &s) { s.openDocument(); };
        const auto answering = [](Kind kind, Broken broken = Broken::Nothing) {
            return Step([=](Session &s) { s.answer(kind, broken); });
        };
        const QStringList ends{"> SigningProcessFinished 0", "hidden"};
        const auto error = [](const char *key) {
            return QStringLiteral("error: ") + QObject::tr(key);
        };

        // Nobody asked: shown, and the workflow carries on as it was.
        QTest::newRow("page answer, none awaited")
            << onFirstPage << answering(Kind::GetDocumentPage)
            << QStringList{mismatchBox("GetDocumentPage")} << QStringList();
        QTest::newRow("information answer, none awaited")
            << onFirstPage << answering(Kind::GetDocumentInfo)
            << QStringList{mismatchBox("GetDocumentInfo")} << QStringList();
        QTest::newRow("sign-finish answer, none awaited")
            << onFirstPage << answering(Kind::SignFinish) << QStringList{mismatchBox("SignFinish")}
            << QStringList();
        // The page request still waits, and its answer is still taken.
        QTest::newRow("information answer while a page is awaited")
            << waitForPageTwo << Step([](Session &s) {
                   s.answer(Kind::GetDocumentInfo);
                   s.answer(Kind::GetDocumentPage);
               })
            << QStringList{mismatchBox("GetDocumentInfo"), "wait over", "page image 2"}
            << QStringList();
        QTest::newRow("same page answer twice") << waitForPage << Step([](Session &s) {
            const QString text = s.answerText(Kind::GetDocumentPage);
            s.workflow.processGetDocumentPageResponse(text);
            s.workflow.processGetDocumentPageResponse(text);
        }) << QStringList{"wait over", "page image 1", mismatchBox("GetDocumentPage")}
                                                << QStringList();

        // Awaited but bad: the box, then the end.
        QTest::newRow("information without DocInfo")
            << waitForInformation << answering(Kind::GetDocumentInfo, Broken::NoDocInfo)
            << QStringList{"wait over", error("DocumentContainsNoPages")} << ends;
        QTest::newRow("information with no pages")
            << waitForInformation << answering(Kind::GetDocumentInfo, Broken::NoPages)
            << QStringList{"wait over", error("DocumentContainsNoPages")} << ends;
        QTest::newRow("information that is no signed answer")
            << waitForInformation << answering(Kind::GetDocumentInfo, Broken::Unsigned)
            << QStringList{"wait over", error("ResponseDataPartMissing")} << ends;
        QTest::newRow("page without Page")
            << waitForPage << answering(Kind::GetDocumentPage, Broken::NoPage)
            << QStringList{"wait over", error("InvalidPageImage")} << ends;
        QTest::newRow("page that is no image")
            << waitForPage << answering(Kind::GetDocumentPage, Broken::NotAnImage)
            << QStringList{"wait over", error("InvalidPageImage")} << ends;
        QTest::newRow("other page than asked for")
            << waitForPage << answering(Kind::GetDocumentPage, Broken::OtherPage)
            << QStringList{"wait over",
                           QStringLiteral("error: ")
                               + QObject::tr("CommunicationMismatchPage").arg(2).arg(1)}
            << ends;

        // Cannot be sent while another request waits: the box takes the
        // wait panel down, and the waiting request is still answered.
        QTest::newRow("page request while a page is awaited")
            << waitForPage << Step([](Session &s) {
                   s.workflow.changePage(2);
                   s.answer(Kind::GetDocumentPage);
               })
            << QStringList{"page 2 of 2",
                           "page hidden",
                           waitText("PanelWaitTextForGetDocumentPage", 2),
                           QStringLiteral("error: ")
                               + QObject::tr("CommunicationMismatchRequest")
                                     .arg("GetDocumentPage", "GetDocumentPage"),
                           "focus",
                           "wait over",
                           "page image 1"}
            << QStringList{"wait over"};
    }

    void answersThatDoNotFit()
    {
        QFETCH(Step, setup);
        QFETCH(Step, act);
        QFETCH(QStringList, shown);
        QFETCH(QStringList, afterBox);
        Session session(true);
        setup(session);
        session.take();
        act(session);
        QCOMPARE(session.take(), shown);
        session.view.closeBox();
        QCOMPARE(session.take(), afterBox);
    }

    void closing_data()
    {
        QTest::addColumn<bool>("viewOnly");
        // The person's answers to the close question, asked again after each no.
        QTest::addColumn<QList<bool>>("answers");
        QTest::addColumn<QStringList>("shown");
        const QStringList ends{"> SigningProcessFinished 0", "hidden"};
        QTest::newRow("view only: no question") << true << QList<bool>() << ends;
        QTest::newRow("signing: the person stays")
            << false << QList<bool>{false} << QStringList{"close?", "close?"};
        QTest::newRow("signing: stays, then leaves")
            << false << QList<bool>{false, true} << QStringList{"close?", "close?"} + ends;
    }

    void closing()
    {
        QFETCH(bool, viewOnly);
        QFETCH(QList<bool>, answers);
        QFETCH(QStringList, shown);
        Session session(viewOnly);
        session.openDocument();
        session.workflow.close();
        for (const bool mayClose : answers) {
            session.view.answerCloseQuestion(mayClose);
            if (!mayClose)
                session.workflow.close();
        }
        // Once ended, closing again tells the page nothing new.
        if (shown.endsWith("hidden"))
            session.workflow.close();
        QCOMPARE(session.take(), shown);
    }

private:
    void makeToken()
    {
        // The signing key and its certificate on a token of the test's own.
        m_credential = std::make_unique<FixtureCredential>(
            FixtureCredential::createAuthority(QStringLiteral("Workflow CA"))
                .issue(QStringLiteral("Workflow Signer"), true));
        m_token = std::make_unique<SoftHsmFixture>(m_tokenDirectory.path());
        const QString label = QStringLiteral("Workflow token");
        const QString serial = m_token->createToken(label, tokenPin);
        SoftHsmFixture::ObjectOptions options;
        options.id = QByteArray("\x01", 1);
        options.label = QStringLiteral("Workflow key");
        m_token->importCredential(label, tokenPin, *m_credential, options);
        Configuration configuration;
        configuration.setPkcs11Library(SoftHsmFixture::modulePath());
        configuration.setPkcs11TokenLabel(label);
        configuration.setPkcs11TokenSerial(serial);
        configuration.setSigningCertificate(m_credential->certificateDer());
        m_configurationText = QString::fromLatin1(configuration.serialize().toUtf8().toBase64());
    }

    QTranslator m_translator;
    QTemporaryDir m_tokenDirectory;
    std::unique_ptr<FixtureCredential> m_credential;
    std::unique_ptr<SoftHsmFixture> m_token;
    QString m_configurationText;
};

QTEST_GUILESS_MAIN(TestWorkflow)
#include "tst_workflow.moc"
