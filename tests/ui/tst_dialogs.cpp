#include "appexception.h"
#include "closedialog.h"
#include "closingflag.h"
#include "modalprobe.h"
#include "msgbox.h"
#include "msgboxlauncher.h"
#include "waitdialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QMovie>
#include <QPushButton>
#include <QTextEdit>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <memory>

namespace {

QDialogButtonBox *buttonBoxOf(QWidget *box)
{
    return box->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
}

QAbstractButton *helpButtonOf(QWidget *box)
{
    return buttonBoxOf(box)->button(QDialogButtonBox::Help);
}

void pressOk(QWidget *box)
{
    QTest::mouseClick(buttonBoxOf(box)->button(QDialogButtonBox::Ok), Qt::LeftButton);
}

QString messageOf(QWidget *box)
{
    return box->findChild<QLabel *>(QStringLiteral("lblInfo"))->text();
}

QImage imageOf(QWidget *box)
{
    const auto *label = box->findChild<QLabel *>(QStringLiteral("lblImage"));
    return label->pixmap(Qt::ReturnByValue).toImage();
}

// What one box looked like while it was open.
struct BoxLook
{
    QString title;
    QString message;
    bool helpShown = false;
    bool contextHelpHint = true;
    QImage image;
    QString details;
};

BoxLook lookOf(MsgBox *box)
{
    return BoxLook{box->windowTitle(),
                   messageOf(box),
                   !helpButtonOf(box)->isHidden(),
                   box->windowFlags().testFlag(Qt::WindowContextHelpButtonHint),
                   imageOf(box),
                   box->findChild<QTextEdit *>(QStringLiteral("teDetails"))->toPlainText()};
}

} // namespace

class TestDialogs : public QObject
{
    Q_OBJECT

private slots:
    void init() { ClosingFlag::lower(); }

    void plainBoxesHaveNoHelpButton_data();
    void plainBoxesHaveNoHelpButton();
    void detailsPaneTogglesHeight();
    void exceptionForUserShowsItsMessageAlone();
    void internalExceptionShowsGeneralMessageWithChain();
    void closingFlagSuppressesEveryBox();
    void terminateClosesTheOpenBox();
    void boxesOpenInTurnAndTheSurplusGoesOn();
    void launcherBlocksWorkerUntilBoxCloses();
    void launcherOnGuiThreadReturnsAtOnceAndLeavesNoStaleDone();
    void launcherShowsExceptionsByTheUserRule();
    void closeQuestionAnswers();
    void waitPanel();
};

void TestDialogs::plainBoxesHaveNoHelpButton_data()
{
    QTest::addColumn<bool>("isError");
    QTest::newRow("info") << false;
    QTest::newRow("error") << true;
}

void TestDialogs::plainBoxesHaveNoHelpButton()
{
    QFETCH(bool, isError);
    BoxLook look;
    ModalProbe<MsgBox> probe([&](MsgBox *box) {
        look = lookOf(box);
        pressOk(box);
    });
    if (isError)
        MsgBox::showError(nullptr, QStringLiteral("Caption"), QStringLiteral("Plain message"));
    else
        MsgBox::showInfo(nullptr, QStringLiteral("Caption"), QStringLiteral("Plain message"));

    QTRY_VERIFY(probe.seen());
    QCOMPARE(look.title, QStringLiteral("Caption"));
    QCOMPARE(look.message, QStringLiteral("Plain message"));
    QVERIFY(!look.helpShown);
    QVERIFY(!look.contextHelpHint);
    const QImage expected(isError ? QStringLiteral(":/Resources/Error")
                                  : QStringLiteral(":/Resources/Info"));
    QCOMPARE(look.image.convertToFormat(QImage::Format_ARGB32_Premultiplied),
             expected.convertToFormat(QImage::Format_ARGB32_Premultiplied));
}

void TestDialogs::detailsPaneTogglesHeight()
{
    struct Step
    {
        int height = 0;
        bool paneVisible = false;
        QString buttonText;
    };
    QList<Step> steps;
    int paneHeight = 0;
    QString details;

    ModalProbe<MsgBox> probe([&](MsgBox *box) {
        auto *pane = box->findChild<QTextEdit *>(QStringLiteral("teDetails"));
        const auto record = [&] {
            QCoreApplication::processEvents();
            steps.append({box->height(), pane->isVisible(), helpButtonOf(box)->text()});
        };
        details = pane->toPlainText();
        paneHeight = pane->height();
        record();
        QTest::mouseClick(helpButtonOf(box), Qt::LeftButton);
        record();
        QTest::mouseClick(helpButtonOf(box), Qt::LeftButton);
        record();
        pressOk(box);
    });
    MsgBox::showErrorWithDetail(nullptr, QStringLiteral("Caption"), QStringLiteral("Failed"),
                                QStringLiteral("technical <b>text</b>"));

    QTRY_VERIFY(probe.seen());
    QCOMPARE(details, QStringLiteral("technical <b>text</b>"));
    QCOMPARE(steps.size(), 3);
    QVERIFY(paneHeight >= 143);
    QVERIFY(!steps[0].paneVisible);
    QCOMPARE(steps[0].buttonText, QObject::tr("MsgBoxDetailsShow"));
    QVERIFY(steps[1].paneVisible);
    QCOMPARE(steps[1].buttonText, QObject::tr("MsgBoxDetailsHide"));
    QCOMPARE(steps[1].height, steps[0].height + paneHeight);
    QVERIFY(!steps[2].paneVisible);
    QCOMPARE(steps[2].buttonText, QObject::tr("MsgBoxDetailsShow"));
    QCOMPARE(steps[2].height, steps[0].height);
}

void TestDialogs::exceptionForUserShowsItsMessageAlone()
{
    BoxLook look;
    ModalProbe<MsgBox> probe([&](MsgBox *box) {
        look = lookOf(box);
        pressOk(box);
    });
    MsgBox::showError(nullptr, QStringLiteral("Caption"),
                      AppException(QStringLiteral("The PIN is blocked."), APP_LOCATION, true));
    QTRY_VERIFY(probe.seen());
    QCOMPARE(look.message, QStringLiteral("The PIN is blocked."));
    QVERIFY(!look.helpShown);
}

void TestDialogs::internalExceptionShowsGeneralMessageWithChain()
{
    const AppException cause(QStringLiteral("inner cause"), APP_LOCATION, true);
    const AppException e(QStringLiteral("Method X failed."), cause, APP_LOCATION, false);
    const AppException empty(QString(), APP_LOCATION, true);

    for (const AppException *exception : {&e, &empty}) {
        BoxLook look;
        ModalProbe<MsgBox> probe([&](MsgBox *box) {
            look = lookOf(box);
            pressOk(box);
        });
        MsgBox::showError(nullptr, QStringLiteral("Caption"), *exception);
        QTRY_VERIFY(probe.seen());
        QCOMPARE(look.message, QObject::tr("GeneralExceptionMessage"));
        QVERIFY(look.helpShown);
        QCOMPARE(look.details, exception->toString(true));
    }
    QVERIFY(e.toString(true).contains(QStringLiteral("caused by AppException: inner cause")));
}

void TestDialogs::closingFlagSuppressesEveryBox()
{
    ClosingFlag::raise();
    bool opened = false;
    ModalProbe<QDialog> probe(
        [&](QDialog *dialog) {
            opened = true;
            dialog->reject();
        },
        300);
    // What waits for a box that is not shown goes on at once.
    int continued = 0;
    const auto next = [&] { ++continued; };
    MsgBox::showInfo(nullptr, QStringLiteral("Caption"), QStringLiteral("info"), next);
    MsgBox::showError(nullptr, QStringLiteral("Caption"), QStringLiteral("error"), next);
    MsgBox::showErrorWithDetail(nullptr, QStringLiteral("Caption"), QStringLiteral("error"),
                                QStringLiteral("details"), next);
    MsgBox::showError(nullptr, QStringLiteral("Caption"),
                      AppException(QStringLiteral("e"), APP_LOCATION, false), next);
    CloseDialog::askToClose(nullptr, [&](bool mayClose) { continued += mayClose ? 1 : 100; });
    QCOMPARE(continued, 5);
    QTest::qWait(350);
    QVERIFY(!opened);
}

void TestDialogs::terminateClosesTheOpenBox()
{
    ModalProbe<MsgBox> probe([](MsgBox *) { MsgBox::terminate(); });
    MsgBox::showInfo(nullptr, QStringLiteral("Caption"), QStringLiteral("closed from outside"));
    QTRY_VERIFY(probe.seen());
    QVERIFY(!ModalProbe<MsgBox>::visibleWidget());
    // Nothing open: terminating again is harmless.
    MsgBox::terminate();
}

void TestDialogs::boxesOpenInTurnAndTheSurplusGoesOn()
{
    const int shown = 1 + MsgBox::maxWaitingBoxes;
    QList<int> continued;
    for (int i = 0; i <= shown; ++i)
        MsgBox::showInfo(nullptr, QStringLiteral("Caption"), QString::number(i),
                         [&continued, i] { continued.append(i); });
    // The one box too many is not shown; what waited for it goes on at once.
    QCOMPARE(continued, QList<int>{shown});

    QStringList opened;
    while (MsgBox *box = MsgBox::current()) {
        QTRY_VERIFY(box->isVisible());
        opened.append(messageOf(box));
        const int before = continued.size();
        pressOk(box);
        QTRY_COMPARE(continued.size(), before + 1);
    }
    QStringList expectedOpened;
    QList<int> expectedContinued{shown};
    for (int i = 0; i < shown; ++i) {
        expectedOpened.append(QString::number(i));
        expectedContinued.append(i);
    }
    QCOMPARE(opened, expectedOpened);
    QCOMPARE(continued, expectedContinued);
}

// The launcher's box runs modally inside whatever event processing the GUI
// thread does next, so the test looks at it through a probe.
struct WorkerRequest
{
    std::atomic_bool returned{false};
    bool returnedWhileOpen = true;
    BoxLook look;
};

static void answerWorkerBox(WorkerRequest &request, const std::function<void()> &ask)
{
    ModalProbe<MsgBox> probe([&](MsgBox *box) {
        request.look = lookOf(box);
        // Several polling periods pass while the user has not answered.
        QTest::qWait(350);
        request.returnedWhileOpen = request.returned;
        pressOk(box);
    });
    std::unique_ptr<QThread> worker(QThread::create([&] {
        ask();
        request.returned = true;
    }));
    worker->start();
    QTRY_VERIFY_WITH_TIMEOUT(request.returned, 5000);
    QTRY_VERIFY(probe.seen());
    QVERIFY(worker->wait(2000));
}

void TestDialogs::launcherBlocksWorkerUntilBoxCloses()
{
    MsgBoxLauncher launcher;
    for (int round = 0; round < 2; ++round) {
        WorkerRequest request;
        answerWorkerBox(request, [&] {
            launcher.showError(QStringLiteral("Caption"), QStringLiteral("from the worker"));
        });
        QCOMPARE(request.look.message, QStringLiteral("from the worker"));
        QVERIFY(!request.returnedWhileOpen);
    }
}

void TestDialogs::launcherOnGuiThreadReturnsAtOnceAndLeavesNoStaleDone()
{
    MsgBoxLauncher launcher;
    BoxLook look;
    ModalProbe<MsgBox> probe([&](MsgBox *box) {
        look = lookOf(box);
        pressOk(box);
    });
    launcher.showErrorWithDetails(QStringLiteral("Caption"), QStringLiteral("from the GUI thread"),
                                  QStringLiteral("details"));
    QVERIFY(!probe.seen());
    QTRY_VERIFY(probe.seen());
    QCOMPARE(look.message, QStringLiteral("from the GUI thread"));
    QCOMPARE(look.details, QStringLiteral("details"));
    QVERIFY(look.helpShown);

    // The box above marked the launcher done; a worker must still wait for
    // its own box.
    WorkerRequest request;
    answerWorkerBox(request, [&] {
        launcher.showError(QStringLiteral("Caption"), QStringLiteral("second"));
    });
    QCOMPARE(request.look.message, QStringLiteral("second"));
    QVERIFY(!request.returnedWhileOpen);
}

void TestDialogs::launcherShowsExceptionsByTheUserRule()
{
    MsgBoxLauncher launcher;
    const AppException internal(QStringLiteral("internal"), APP_LOCATION, false);
    const AppException forUser(QStringLiteral("for the user"), APP_LOCATION, true);

    WorkerRequest internalRequest;
    answerWorkerBox(internalRequest,
                    [&] { launcher.showError(QStringLiteral("Caption"), internal); });
    QCOMPARE(internalRequest.look.message, QObject::tr("GeneralExceptionMessage"));
    QCOMPARE(internalRequest.look.details, internal.toString(true));

    WorkerRequest userRequest;
    answerWorkerBox(userRequest, [&] { launcher.showError(QStringLiteral("Caption"), forUser); });
    QCOMPARE(userRequest.look.message, QStringLiteral("for the user"));
    QVERIFY(!userRequest.look.helpShown);
}

void TestDialogs::closeQuestionAnswers()
{
    const auto answer = [](const char *buttonName) {
        QString question;
        ModalProbe<CloseDialog> probe([&](CloseDialog *dialog) {
            question = dialog->findChild<QLabel *>(QStringLiteral("lblQuestion"))->text();
            if (buttonName)
                dialog->findChild<QPushButton *>(QLatin1String(buttonName))->click();
            else
                dialog->close();
        });
        int answers = 0;
        bool closing = false;
        CloseDialog::askToClose(nullptr, [&](bool mayClose) {
            ++answers;
            closing = mayClose;
        });
        // A question never answered shows as no answer in the tuple.
        const bool answered = QTest::qWaitFor([&] { return answers > 0; }, 5000);
        return std::make_tuple(probe.seen(), answered ? answers : 0, closing, question);
    };

    QCOMPARE(answer("btnNo"), std::make_tuple(true, 1, false, QObject::tr("CloseUnsigned")));
    // The title bar's close button answers no.
    QCOMPARE(answer(nullptr), std::make_tuple(true, 1, false, QObject::tr("CloseUnsigned")));
    QCOMPARE(answer("btnYes"), std::make_tuple(true, 1, true, QObject::tr("CloseUnsigned")));
    // A yes belongs to the window that asked: the next question is asked.
    QCOMPARE(answer("btnNo"), std::make_tuple(true, 1, false, QObject::tr("CloseUnsigned")));
}

void TestDialogs::waitPanel()
{
    WaitDialog panel(nullptr);
    QCOMPARE(static_cast<int>(panel.windowFlags()), 6147);
    auto *loader = panel.findChild<QLabel *>(QStringLiteral("lblWaitGif"))->movie();
    QVERIFY(loader);
    QCOMPARE(loader->state(), QMovie::Running);
    panel.setText(QStringLiteral("Loading page 2"));
    QCOMPARE(panel.findChild<QLabel *>(QStringLiteral("lblWaitText"))->text(),
             QStringLiteral("Loading page 2"));
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
