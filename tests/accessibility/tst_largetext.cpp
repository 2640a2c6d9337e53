// quillmark's windows on a 200 % screen (the test runs with QT_SCALE_FACTOR=2)
// and with a 16 pt application font, in English and in Slovak: screenshots
// for the eye in <build>/screenshots/, and a check that no text of a label,
// button or field is cut off.
#include "certform.h"
#include "certstorefactory.h"
#include "closedialog.h"
#include "documentanswers.h"
#include "documentworkflow.h"
#include "fixturepaths.h"
#include "imageviewer.h"
#include "mainwindow.h"
#include "msgbox.h"
#include "pinform.h"
#include "tokendialogdriver.h"
#include "tokentestbed.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTranslator>
#include <QTreeWidget>
#include <QtTest>

#include <cstring>

namespace {

const QString pin = QStringLiteral("1357");
const QString screenshots = QStringLiteral(QUILLMARK_BINARY_DIR "/screenshots/");

template<std::size_t N>
void setField(unsigned char (&field)[N], const char *text)
{
    std::memset(field, ' ', N);
    std::memcpy(field, text, std::strlen(text));
}

QString describe(const QWidget *widget, const QString &text, const QSize &needed)
{
    return QStringLiteral("%1 \"%2\": %3x%4 shown, %5x%6 needed")
        .arg(widget->objectName(), text)
        .arg(widget->width())
        .arg(widget->height())
        .arg(needed.width())
        .arg(needed.height());
}

// Texts that their widget shows only in part: a label or button smaller than
// its text asks, a wrapped label shorter than its lines, a field or table
// header lower than a line of its font.
QStringList cutOffTexts(const QWidget *window)
{
    QStringList cut;
    for (const QLabel *label : window->findChildren<QLabel *>()) {
        if (!label->isVisible() || label->text().isEmpty())
            continue;
        const QSize needed = label->wordWrap()
                                 ? QSize(label->minimumSizeHint().width(), label->heightForWidth(label->width()))
                                 : label->minimumSizeHint();
        if (needed.width() > label->width() || needed.height() > label->height())
            cut.append(describe(label, label->text(), needed));
    }
    for (const QAbstractButton *button : window->findChildren<QAbstractButton *>()) {
        if (button->isVisible() && !button->text().isEmpty()
            && (button->sizeHint().width() > button->width() || button->sizeHint().height() > button->height()))
            cut.append(describe(button, button->text(), button->sizeHint()));
    }
    for (const QLineEdit *field : window->findChildren<QLineEdit *>()) {
        const int lineHeight = field->fontMetrics().height();
        if (field->isVisible() && field->contentsRect().height() < lineHeight)
            cut.append(describe(field, field->text(), QSize(field->width(), lineHeight)));
    }
    for (const QHeaderView *header : window->findChildren<QHeaderView *>()) {
        const int lineHeight = header->fontMetrics().height();
        if (header->isVisible() && header->orientation() == Qt::Horizontal && header->height() < lineHeight)
            cut.append(describe(header, QStringLiteral("header"), QSize(header->width(), lineHeight)));
    }
    return cut;
}

void checkAndPhotograph(QWidget *window, const QString &name)
{
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QApplication::processEvents();
    QDir().mkpath(screenshots);
    const QString language = QTest::currentDataTag();
    QVERIFY(window->grab().save(screenshots + QStringLiteral("large-%1-%2.png").arg(name, language)));
    const QStringList cut = cutOffTexts(window);
    QVERIFY2(cut.isEmpty(), qPrintable(name + QLatin1Char('\n') + cut.join(QLatin1Char('\n'))));
}

} // namespace

class TestLargeText : public QObject
{
    Q_OBJECT

private:
    void install(const QString &language)
    {
        QCoreApplication::removeTranslator(&m_translator);
        QVERIFY(m_translator.load(QStringLiteral(QUILLMARK_STAGE_BIN "/../share/translations/Quillmark_%1.qm")
                                      .arg(language)));
        QCoreApplication::installTranslator(&m_translator);
    }

private slots:
    void initTestCase()
    {
        QCOMPARE(qApp->devicePixelRatio(), 2.0);
        QFont font = QApplication::font();
        font.setPointSize(16);
        QApplication::setFont(font);
        m_tokens = std::make_unique<TokenTestBed>(QStringLiteral("tst_largetext"));
        m_tokens->createSigningToken(QStringLiteral("Quillmark Token, Long Label 32ch"), pin);
    }

    void windowsShowTheirWholeTexts_data()
    {
        QTest::addColumn<QString>("language");
        QTest::newRow("en") << QStringLiteral("en");
        QTest::newRow("sk") << QStringLiteral("sk");
    }

    void windowsShowTheirWholeTexts()
    {
        QFETCH(QString, language);
        install(language);

        // The signing window with the first page, as the page answers.
        DocumentWorkflow workflow(false, {}, {});
        MainWindow window(workflow, false, false, 10000);
        connect(
            &workflow, &DocumentWorkflow::needGetDocumentInfoEvent, &window,
            [&](const QString &nonce) {
                workflow.processGetDocumentInfoResponse(m_answers.info(nonce));
            },
            Qt::QueuedConnection);
        connect(
            &workflow, &DocumentWorkflow::needGetDocumentPageEvent, &window,
            [&](int page, const QString &nonce) {
                workflow.processGetDocumentPageResponse(m_answers.page(page, nonce));
            },
            Qt::QueuedConnection);
        QSignalSpy pageShown(window.findChild<ImageViewer *>(QStringLiteral("imageViewer")),
                             &ImageViewer::cutOutShown);
        window.show();
        QVERIFY(pageShown.wait());
        checkAndPhotograph(&window, QStringLiteral("main-window"));

        // The certificate window listing the token; its one certificate is
        // chosen for the user, so the details show too.
        {
            TokenDialogDriver dialogs;
            dialogs.pressCancel();
            CertForm form(&window,
                          {CertStoreFactory::getInstance(
                              StoreDefinition::parseList(QStringLiteral("SoftHSM|")
                                                         + TokenTestBed::softHsmModule())
                                  .constFirst())},
                          false, false, Configuration());
            form.show();
            auto *ok = form.findChild<QPushButton *>(QStringLiteral("btnOk"));
            QVERIFY(QTest::qWaitFor([&]() { return ok->isEnabled(); }));
            checkAndPhotograph(&form, QStringLiteral("certificate-window"));
        }

        CK_SLOT_INFO slot{};
        setField(slot.slotDescription, "SoftHSM slot 0");
        CK_TOKEN_INFO token{};
        setField(token.model, "SoftHSM v2");
        PinForm pinForm(&window, Pkcs11SlotInfo(0, slot), Pkcs11TokenInfo(token));
        pinForm.show();
        checkAndPhotograph(&pinForm, QStringLiteral("pin-dialog"));

        MsgBox box(&window, QObject::tr("SigningSuccessfulDialogText"), QObject::tr("AppName"), false, false);
        box.show();
        checkAndPhotograph(&box, QStringLiteral("message-box"));

        CloseDialog question(&window);
        question.show();
        checkAndPhotograph(&question, QStringLiteral("close-question"));
    }

private:
    std::unique_ptr<TokenTestBed> m_tokens;
    DocumentAnswers m_answers;
    QTranslator m_translator;
};

QTEST_MAIN(TestLargeText)
#include "tst_largetext.moc"
