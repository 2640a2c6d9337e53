// The PIN dialog and its launcher: shown directly on the GUI thread, carried
// over from a worker thread, and every way out of it.
#include "closingflag.h"
#include "pinform.h"
#include "pinformlauncher.h"
#include "pinformprompt.h"
#include "tokendialogdriver.h"
#include "tokentestbed.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

template<std::size_t N>
void setField(unsigned char (&field)[N], const char *text)
{
    std::memset(field, ' ', N);
    std::memcpy(field, text, std::strlen(text));
}

Pkcs11SlotInfo slotInfo()
{
    CK_SLOT_INFO info{};
    setField(info.slotDescription, "Reader <one>");
    setField(info.manufacturerID, "Maker");
    return Pkcs11SlotInfo(7, info);
}

Pkcs11TokenInfo tokenInfo(const char *model)
{
    CK_TOKEN_INFO info{};
    setField(info.label, "Label");
    setField(info.manufacturerID, "Maker");
    setField(info.model, model);
    setField(info.serialNumber, "42");
    return Pkcs11TokenInfo(info);
}

} // namespace

// The dialog opens without blocking; its answer is there once it finished.
// fieldLeft receives what the PIN field still showed then.
QString answerOf(PinForm *opened, QString *fieldLeft = nullptr)
{
    QPointer<PinForm> form(opened);
    QSignalSpy finished(opened, &QDialog::finished);
    const bool answered = QTest::qWaitFor([&] { return !finished.isEmpty() || !form; }, 10000);
    const QString pin = answered && form ? form->takePin() : QString();
    if (fieldLeft && form)
        *fieldLeft = form->findChild<QLineEdit *>(QStringLiteral("lePin"))->text();
    delete form.data();
    return pin;
}

class PinFormTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void layoutAndPrompt();
    void emptyModelStillShowsTitle();
    void typedPinOnGuiThread();
    void leavingWithoutOkGivesNull_data();
    void leavingWithoutOkGivesNull();
    void terminateRejectsOpenDialog();
    void terminateWithoutDialogDoesNothing();
    void launcherOnGuiThreadEmitsNothing();
    void withdrawnPromptReleasesTheWaitingWorker_data();
    void withdrawnPromptReleasesTheWaitingWorker();
    void launcherFromWorker();
    void launcherWhileClosingShowsNothing();

private:
    std::unique_ptr<TokenTestBed> m_bed;
    std::unique_ptr<TokenDialogDriver> m_driver;
};

void PinFormTest::initTestCase()
{
    m_bed = std::make_unique<TokenTestBed>(QStringLiteral("pinform"));
}

void PinFormTest::init()
{
    m_driver = std::make_unique<TokenDialogDriver>();
}

void PinFormTest::cleanup()
{
    QCOMPARE(m_driver->unexpectedPinDialogs(), 0);
    m_driver.reset();
    ClosingFlag::lower();
}

void PinFormTest::layoutAndPrompt()
{
    PinForm form(nullptr, slotInfo(), tokenInfo("Model X"));
    QCOMPARE(form.objectName(), QStringLiteral("PinForm"));
    QCOMPARE(form.windowTitle(), QStringLiteral("Varnek Quillmark"));
    QCOMPARE(form.windowModality(), Qt::WindowModal);
    QCOMPARE(form.minimumSize(), QSize(355, 159));
    QVERIFY(!(form.windowFlags() & Qt::WindowContextHelpButtonHint));
    auto *pin = form.findChild<QLineEdit *>(QStringLiteral("lePin"));
    QCOMPARE(pin->echoMode(), QLineEdit::Password);
    auto *text = form.findChild<QLabel *>(QStringLiteral("lblText"));
    QCOMPARE(text->textFormat(), Qt::RichText);
    // The slot description is markup-escaped: a reader name is not markup.
    QCOMPARE(text->text(), QObject::tr("PinFormInformation") + QStringLiteral("<br/><br/>")
                               + QObject::tr("PinFormTokenTitle").arg(QStringLiteral("Model X"))
                               + QStringLiteral("<br/>")
                               + QObject::tr("PinFormSlotTitle").arg(QStringLiteral("Reader &lt;one&gt;")));

    m_driver->leaveOpen([]() {});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    // Shown once, the dialog keeps its size.
    QCOMPARE(form.minimumSize(), form.maximumSize());
}

void PinFormTest::emptyModelStillShowsTitle()
{
    PinForm form(nullptr, slotInfo(), tokenInfo(""));
    const QString text = form.findChild<QLabel *>(QStringLiteral("lblText"))->text();
    QVERIFY(text.contains(QObject::tr("PinFormTokenTitle").arg(QString()) + QStringLiteral("<br/>")));
}

void PinFormTest::typedPinOnGuiThread()
{
    m_driver->typePin(QStringLiteral("4321"));
    QCOMPARE(answerOf(PinForm::open(slotInfo(), tokenInfo("Model"))), QStringLiteral("4321"));
    QCOMPARE(m_driver->pinDialogsSeen(), 1);
}

void PinFormTest::leavingWithoutOkGivesNull_data()
{
    QTest::addColumn<QString>("way");
    QTest::newRow("cancel") << QStringLiteral("cancel");
    QTest::newRow("escape") << QStringLiteral("escape");
    QTest::newRow("terminate") << QStringLiteral("terminate");
    QTest::newRow("window closed") << QStringLiteral("close");
}

// Whatever was typed does not stay in the field of a dialog that has closed.
void PinFormTest::leavingWithoutOkGivesNull()
{
    QFETCH(QString, way);
    QPointer<PinForm> form;
    m_driver->leaveOpen([&form, way]() {
        QTest::keyClicks(form->findChild<QLineEdit *>(QStringLiteral("lePin")),
                         QStringLiteral("5678"));
        if (way == QLatin1String("cancel"))
            QTest::mouseClick(form->findChild<QPushButton *>(QStringLiteral("btnCancel")),
                              Qt::LeftButton);
        else if (way == QLatin1String("escape"))
            QTest::keyClick(form, Qt::Key_Escape);
        else if (way == QLatin1String("terminate"))
            PinForm::terminate();
        else
            form->close();
    });
    form = PinForm::open(slotInfo(), tokenInfo("Model"));
    QString fieldLeft = QStringLiteral("not read");
    QVERIFY(answerOf(form, &fieldLeft).isNull());
    QCOMPARE(fieldLeft, QString());
}

void PinFormTest::terminateRejectsOpenDialog()
{
    m_driver->leaveOpen([]() { PinForm::terminate(); });
    QVERIFY(answerOf(PinForm::open(slotInfo(), tokenInfo("Model"))).isNull());
}

void PinFormTest::terminateWithoutDialogDoesNothing()
{
    PinForm::terminate();
    m_driver->typePin(QStringLiteral("1"));
    QCOMPARE(answerOf(PinForm::open(slotInfo(), tokenInfo("Model"))), QStringLiteral("1"));
}

void PinFormTest::launcherOnGuiThreadEmitsNothing()
{
    // The GUI thread cannot wait for a dialog it has to serve itself.
    PinFormLauncher launcher(slotInfo(), tokenInfo("Model"));
    QSignalSpy requests(&launcher, &PinFormLauncher::launchPinFormSignal);
    QVERIFY(launcher.launch().isNull());
    QCOMPARE(requests.count(), 0);
    QTest::qWait(100);
    QCOMPARE(m_driver->pinDialogsSeen(), 0);
}

void PinFormTest::withdrawnPromptReleasesTheWaitingWorker_data()
{
    QTest::addColumn<bool>("closing");
    QTest::newRow("window gone") << false;
    // What the component does when it is terminated.
    QTest::newRow("component closing") << true;
}

void PinFormTest::withdrawnPromptReleasesTheWaitingWorker()
{
    // The window that started a token task goes, or the whole component,
    // while the task waits in the PIN dialog: the dialog is rejected and the
    // task goes on without a PIN.
    QFETCH(bool, closing);
    auto prompt = std::make_shared<PinFormPrompt>();
    m_driver->leaveOpen([prompt, closing]() {
        if (closing) {
            ClosingFlag::raise();
            PinForm::terminate();
        } else {
            prompt->withdraw();
        }
    });
    const Outcome outcome = TokenTestBed::runOnWorker([prompt]() {
        const QString first = prompt->askForPin(slotInfo(), tokenInfo("Model"));
        // Nothing more is asked once withdrawn.
        const QString second = prompt->askForPin(slotInfo(), tokenInfo("Model"));
        prompt->reportPinRefused(QObject::tr("PinIncorrect"));
        return QVariant(QStringList{first, second});
    });
    QCOMPARE(outcome.value.toStringList(), QStringList({QString(), QString()}));
    QCOMPARE(m_driver->pinDialogsSeen(), 1);
    const auto dialogOpen = [] {
        const QWidgetList windows = QApplication::topLevelWidgets();
        return std::any_of(windows.cbegin(), windows.cend(),
                           [](QWidget *w) { return qobject_cast<QDialog *>(w) && w->isVisible(); });
    };
    QTRY_VERIFY(!dialogOpen());
}

void PinFormTest::launcherFromWorker()
{
    m_driver->typePin(QStringLiteral("6666"));
    const Outcome outcome = TokenTestBed::runOnWorker([]() {
        std::unique_ptr<PinFormLauncher> launcher(new PinFormLauncher(slotInfo(), tokenInfo("Model")));
        const QString pin = launcher->launch();
        launcher.release()->deleteLater();
        return QVariant(pin);
    });
    QCOMPARE(outcome.value.toString(), QStringLiteral("6666"));
    QVERIFY(m_driver->pinPromptsSeen().first().contains(QStringLiteral("Model")));
}

void PinFormTest::launcherWhileClosingShowsNothing()
{
    ClosingFlag::raise();
    const Outcome outcome = TokenTestBed::runOnWorker([]() {
        std::unique_ptr<PinFormLauncher> launcher(new PinFormLauncher(slotInfo(), tokenInfo("Model")));
        const QString pin = launcher->launch();
        launcher.release()->deleteLater();
        return QVariant(pin);
    });
    QVERIFY(outcome.value.toString().isNull());
    QCOMPARE(m_driver->pinDialogsSeen(), 0);
}

QTEST_MAIN(PinFormTest)
#include "tst_pinform.moc"
