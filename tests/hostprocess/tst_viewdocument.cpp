#include "desktopdriver.h"
#include "documentanswers.h"
#include "documentworkflow.h"
#include "hostdriver.h"
#include "mainwindow.h"
#include "testhome.h"

#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QRegularExpression>
#include <QtTest>

#include <optional>

namespace {

const QRegularExpression bracedUuid(
    QStringLiteral("^\\{[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}\\}$"));

// Where a control of the document window lies, taken from a window of the
// same layout and size in this process.
QPoint controlCentre(const char *objectName, const QSize &windowSize)
{
    DocumentWorkflow workflow(true, {}, {});
    MainWindow twin(workflow, false, false, 0);
    twin.resize(windowSize);
    twin.show();
    QWidget *control = twin.findChild<QWidget *>(QLatin1String(objectName));
    return control->mapTo(&twin, control->rect().center());
}

} // namespace

class TestViewDocument : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<HostDriver> startHost()
    {
        QProcessEnvironment environment = m_home->environment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        auto host = std::make_unique<HostDriver>(environment);
        if (!host->start())
            return nullptr;
        const auto created = host->call(QStringLiteral("CreateInstance"));
        if (!created || !created->value(QStringLiteral("error")).isNull())
            return nullptr;
        return host;
    }

    static bool succeeded(const std::optional<QJsonObject> &answer)
    {
        return answer && answer->value(QStringLiteral("error")).isNull();
    }

    // Answers the information request; returns its nonce.
    QString answerInfo(HostDriver &host)
    {
        const auto event = host.awaitEvent(QStringLiteral("NeedGetDocumentInfoEvent"));
        if (!event)
            return {};
        const QString nonce = event->value(QStringLiteral("args")).toArray().at(0).toString();
        if (!succeeded(host.call(QStringLiteral("ProcessGetDocumentInfoResponse"), {m_answers.info(nonce)})))
            return {};
        return nonce;
    }

    // Waits for the request of the page and answers it; returns its nonce.
    QString answerPage(HostDriver &host, int expectedPage)
    {
        const auto event = host.awaitEvent(QStringLiteral("NeedGetDocumentPageEvent"));
        if (!event)
            return {};
        const QJsonArray args = event->value(QStringLiteral("args")).toArray();
        if (args.at(0).toInt() != expectedPage)
            return {};
        const QString nonce = args.at(1).toString();
        if (!succeeded(host.call(QStringLiteral("ProcessGetDocumentPageResponse"),
                                 {m_answers.page(expectedPage, nonce)})))
            return {};
        return nonce;
    }

    QString log() const
    {
        QFile file(m_home->logFile(QStringLiteral("quillmarklog.txt")));
        file.open(QIODevice::ReadOnly);
        return QString::fromUtf8(file.readAll());
    }

    int pageShownCount(int page) const
    {
        return log().count(QRegularExpression(QStringLiteral("Show page %1 - ").arg(page)));
    }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("needs an X display (run under xvfb-run)");
        QVERIFY(m_answers.document().isValid());
    }

    void cleanup()
    {
        if (QTest::currentTestFailed())
            qWarning().noquote() << log().right(5000);
    }

    void init()
    {
        m_home = std::make_unique<TestHome>();
        QVERIFY(m_home->switchLoggingOn(QStringLiteral("quillmarklog.txt")));
    }

    void viewsTheDocumentPageByPage()
    {
        auto host = startHost();
        QVERIFY(host);
        QVERIFY(succeeded(host->call(QStringLiteral("ViewDocument"))));

        const QString infoNonce = answerInfo(*host);
        QVERIFY(bracedUuid.match(infoNonce).hasMatch());
        const QString firstPageNonce = answerPage(*host, 1);
        QVERIFY(bracedUuid.match(firstPageNonce).hasMatch());
        QVERIFY(firstPageNonce != infoNonce);

        const QString window = DesktopDriver::waitForWindow(
            QStringLiteral("^Quillmark - Varnek Development Signing Server - %1$")
                .arg(m_answers.document().documentId()));
        QVERIFY(!window.isEmpty());

        const QSize size = DesktopDriver::windowSize(window);
        const QPoint next = controlCentre("btnNextPage", size);
        const QPoint previous = controlCentre("btnPreviousPage", size);
        for (int page = 2; page <= 3; ++page) {
            DesktopDriver::click(window, next);
            QVERIFY2(!answerPage(*host, page).isEmpty(), qPrintable(QString::number(page)));
        }
        // The last page has no next one; going back needs no request.
        DesktopDriver::click(window, next);
        DesktopDriver::click(window, previous);
        QTRY_COMPARE(pageShownCount(2), 2);
        QVERIFY(!host->awaitEvent(QStringLiteral("NeedGetDocumentPageEvent"), 300));

        QVERIFY(succeeded(host->call(QStringLiteral("Terminate"))));
        const auto finished = host->awaitEvent(QStringLiteral("SigningProcessFinishedEvent"));
        QVERIFY(finished);
        QCOMPARE(finished->value(QStringLiteral("args")).toArray(), QJsonArray{false});
        QVERIFY(DesktopDriver::waitUntilGone(QStringLiteral("^Quillmark - ")));
        QVERIFY(host->closeInputAndWait());
        QCOMPARE(host->process().exitCode(), 0);
    }

    void terminateClosesTheWindowAndItsMessageBox()
    {
        auto host = startHost();
        QVERIFY(host);
        QVERIFY(succeeded(host->call(QStringLiteral("ViewDocument"))));
        QVERIFY(!answerInfo(*host).isEmpty());
        const auto pageRequest = host->awaitEvent(QStringLiteral("NeedGetDocumentPageEvent"));
        QVERIFY(pageRequest);

        // Signed by the server, but for another request: an error box opens
        // and the answer to the page waits for it.
        host->callMethod(QStringLiteral("ProcessGetDocumentPageResponse"),
                         {m_answers.page(1, QStringLiteral("{00000000-0000-4000-8000-000000000000}"))});
        QVERIFY(!DesktopDriver::waitForWindow(QStringLiteral("^Quillmark$")).isEmpty());
        QVERIFY(!host->awaitAnswer(QStringLiteral("ProcessGetDocumentPageResponse"), 200));

        QVERIFY(succeeded(host->call(QStringLiteral("Terminate"))));
        const auto finished = host->awaitEvent(QStringLiteral("SigningProcessFinishedEvent"));
        QVERIFY(finished);
        QCOMPARE(finished->value(QStringLiteral("args")).toArray(), QJsonArray{false});
        QVERIFY(succeeded(host->awaitAnswer(QStringLiteral("ProcessGetDocumentPageResponse"))));
        QVERIFY(DesktopDriver::waitUntilGone(QStringLiteral("^Quillmark")));
        // The page hears the end of the workflow once.
        QVERIFY(!host->awaitEvent(QStringLiteral("SigningProcessFinishedEvent"), 300));

        // While no window is open, answers are taken and dropped.
        QVERIFY(succeeded(host->call(QStringLiteral("ProcessGetDocumentInfoResponse"), {m_answers.info(QString())})));
        QVERIFY(succeeded(host->call(QStringLiteral("ProcessGetDocumentPageResponse"), {QStringLiteral("junk")})));
        QVERIFY(succeeded(host->call(QStringLiteral("BringToFront"))));

        // A second workflow starts afresh, and only one runs at a time.
        QVERIFY(succeeded(host->call(QStringLiteral("SignDocument"))));
        QVERIFY(!answerInfo(*host).isEmpty());
        QVERIFY(!answerPage(*host, 1).isEmpty());
        QVERIFY(!DesktopDriver::waitForWindow(QStringLiteral("^Quillmark - ")).isEmpty());
        const auto second = host->call(QStringLiteral("ViewDocument"));
        QVERIFY(second);
        QCOMPARE(second->value(QStringLiteral("error")).toString(),
                 QStringLiteral("The signing window is already open."));
        QVERIFY(succeeded(host->call(QStringLiteral("BringToFront"))));

        // Terminating a signing window asks no close question.
        QVERIFY(succeeded(host->call(QStringLiteral("Terminate"))));
        QVERIFY(host->awaitEvent(QStringLiteral("SigningProcessFinishedEvent")));
        QVERIFY(DesktopDriver::waitUntilGone(QStringLiteral("^Quillmark")));
        QVERIFY(!log().contains(QStringLiteral("CloseDialog creating")));
        QVERIFY(host->closeInputAndWait());
        QCOMPARE(host->process().exitCode(), 0);
    }

    // A refused document information ends the workflow through a box, and
    // in signing mode the close question. The call's answer used to leave
    // before what it set off, and during the question; No was logged twice,
    // left page buttons that asked for page -1, and a waiting box opened
    // on the closed window.
    void refusedDocumentAnswersAfterItsEffects_data()
    {
        QTest::addColumn<bool>("viewOnly");
        // Keys for the close question; none is asked in view-only mode.
        QTest::addColumn<QStringList>("answer");
        QTest::addColumn<bool>("finishes");
        QTest::addColumn<QString>("closingLine");

        QTest::newRow("view-only") << true << QStringList() << true << QString();
        QTest::newRow("signing, Yes") << false << QStringList{QStringLiteral("Return")} << true
                                      << QStringLiteral("CloseDialog  positive  closing");
        QTest::newRow("signing, No")
            << false << QStringList{QStringLiteral("Tab"), QStringLiteral("space")} << false
            << QStringLiteral("CloseDialog  negative  closing");
    }

    void refusedDocumentAnswersAfterItsEffects()
    {
        QFETCH(bool, viewOnly);
        QFETCH(QStringList, answer);
        QFETCH(bool, finishes);
        QFETCH(QString, closingLine);
        auto host = startHost();
        QVERIFY(host);
        QVERIFY(succeeded(host->call(viewOnly ? QStringLiteral("ViewDocument")
                                              : QStringLiteral("SignDocument"))));
        QVERIFY(host->awaitEvent(QStringLiteral("NeedGetDocumentInfoEvent")));
        QVERIFY(host->awaitEvent(QStringLiteral("LoadConfigurationEvent")));
        const int before = host->rawFrames().size();
        host->callMethod(QStringLiteral("ProcessGetDocumentInfoResponse"),
                         {QStringLiteral("junk")});
        // Stray, so its box waits behind the first, while that box ends the
        // window without a question.
        if (viewOnly)
            host->callMethod(QStringLiteral("ProcessSignFinishResponse"), {QStringLiteral("junk")});
        const QString box = DesktopDriver::waitForWindow(QStringLiteral("^Quillmark$"));
        QVERIFY(!box.isEmpty());
        DesktopDriver::key(box, QStringLiteral("Return"));

        if (!answer.isEmpty()) {
            const QString question =
                DesktopDriver::waitForWindow(QStringLiteral("^Varnek Quillmark$"));
            QVERIFY(!question.isEmpty());
            QVERIFY(!host->awaitAnswer(QStringLiteral("ProcessGetDocumentInfoResponse"), 500));
            for (const QString &key : answer)
                DesktopDriver::key(question, key);
        }
        QVERIFY(host->awaitAnswer(QStringLiteral("ProcessGetDocumentInfoResponse")));
        QList<QByteArray> expected;
        if (finishes)
            expected << HostDriver::event(QStringLiteral("SigningProcessFinishedEvent"), "[false]");
        expected << HostDriver::emptyAnswer(QStringLiteral("ProcessGetDocumentInfoResponse"));
        if (viewOnly) {
            QVERIFY(host->awaitAnswer(QStringLiteral("ProcessSignFinishResponse")));
            expected << HostDriver::emptyAnswer(QStringLiteral("ProcessSignFinishResponse"));
        }
        QCOMPARE(host->rawFrames().mid(before), expected);
        // One line per answer to the question.
        QCOMPARE(log().count(QRegularExpression(QStringLiteral("CloseDialog  \\w+  closing"))),
                 closingLine.isEmpty() ? 0 : 1);
        QVERIFY(log().contains(closingLine));

        if (finishes) {
            QVERIFY(DesktopDriver::waitUntilGone(QStringLiteral("^Quillmark")));
            // The waiting box never opened on the closed window.
            QCOMPARE(log().count(QStringLiteral("Setting details  unavailable")), 1);
        } else {
            // The window stays without a document: nowhere to page to.
            const QString window = DesktopDriver::waitForWindow(QStringLiteral("^Quillmark - "));
            QVERIFY(!window.isEmpty());
            const QSize size = DesktopDriver::windowSize(window);
            DesktopDriver::click(window, controlCentre("btnPreviousPage", size));
            DesktopDriver::click(window, controlCentre("btnNextPage", size));
            QVERIFY(!host->awaitEvent(QStringLiteral("NeedGetDocumentPageEvent"), 500));
            QVERIFY(succeeded(host->call(QStringLiteral("Terminate"))));
            QVERIFY(host->awaitEvent(QStringLiteral("SigningProcessFinishedEvent")));
        }
        QVERIFY(host->closeInputAndWait());
        QCOMPARE(host->process().exitCode(), 0);
    }

    void bringToFrontRestoresTheMinimisedWindow()
    {
        // A window manager on the display, so that the window can be
        // minimised and activated as on a desktop.
        QProcess windowManager;
        windowManager.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
        QVERIFY(windowManager.waitForStarted());
        const auto stopWindowManager = qScopeGuard([&windowManager] {
            windowManager.terminate();
            windowManager.waitForFinished();
        });
        QVERIFY2(QTest::qWaitFor([] { return DesktopDriver::windowManagerRunning(); }, DesktopDriver::defaultTimeout),
                 windowManager.readAllStandardError().constData());

        auto host = startHost();
        QVERIFY(host);
        QVERIFY(succeeded(host->call(QStringLiteral("ViewDocument"))));
        QVERIFY(!answerInfo(*host).isEmpty());
        QVERIFY(!answerPage(*host, 1).isEmpty());
        const QString window = DesktopDriver::waitForWindow(QStringLiteral("^Quillmark - "));
        QVERIFY(!window.isEmpty());

        DesktopDriver::minimise(window);
        QVERIFY(DesktopDriver::waitUntilGone(QStringLiteral("^Quillmark - ")));
        QVERIFY(DesktopDriver::activeWindow() != window);
        QVERIFY(succeeded(host->call(QStringLiteral("BringToFront"))));
        QCOMPARE(DesktopDriver::waitForWindow(QStringLiteral("^Quillmark - ")), window);
        QVERIFY(QTest::qWaitFor([&window] { return DesktopDriver::activeWindow() == window; },
                                DesktopDriver::defaultTimeout));

        // Another program's window on top has the user's attention.
        QProcess other;
        other.start(QStringLiteral("xmessage"), {QStringLiteral("-title"), QStringLiteral("Another program"),
                                                 QStringLiteral("-geometry"), QStringLiteral("1200x900+0+0"),
                                                 QStringLiteral("A window of another program")});
        const auto stopOther = qScopeGuard([&other] {
            other.kill();
            other.waitForFinished();
        });
        const QString otherWindow = DesktopDriver::waitForWindow(QStringLiteral("^Another program$"));
        QVERIFY(!otherWindow.isEmpty());
        DesktopDriver::activate(otherWindow);
        QCOMPARE(DesktopDriver::activeWindow(), otherWindow);
        QVERIFY(succeeded(host->call(QStringLiteral("BringToFront"))));
        QVERIFY(QTest::qWaitFor([&window] { return DesktopDriver::activeWindow() == window; },
                                DesktopDriver::defaultTimeout));

        QVERIFY(succeeded(host->call(QStringLiteral("Terminate"))));
        QVERIFY(host->awaitEvent(QStringLiteral("SigningProcessFinishedEvent")));
        QVERIFY(host->closeInputAndWait());
        QCOMPARE(host->process().exitCode(), 0);
    }

private:
    DocumentAnswers m_answers;
    std::unique_ptr<TestHome> m_home;
};

QTEST_MAIN(TestViewDocument)
#include "tst_viewdocument.moc"
