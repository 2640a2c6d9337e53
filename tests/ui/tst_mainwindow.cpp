#include "closedialog.h"
#include "documentanswers.h"
#include "documentworkflow.h"
#include "fixturepaths.h"
#include "imageviewer.h"
#include "mainwindow.h"
#include "modalprobe.h"
#include "msgbox.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTranslator>
#include <QtTest>

#include <memory>

namespace {

// The web page and its server for one window: answers each request of the
// window's workflow a moment later, as the page would, and remembers what was
// asked.
class PageStandIn : public QObject
{
public:
    PageStandIn(DocumentWorkflow &workflow, const DocumentAnswers &answers)
        : m_workflow(workflow), m_answers(answers)
    {
        connect(
            &workflow, &DocumentWorkflow::needGetDocumentInfoEvent, this,
            [this](const QString &nonce) {
                ++infoRequests;
                if (answering)
                    m_workflow.processGetDocumentInfoResponse(m_answers.info(nonce, claimedPages));
            },
            Qt::QueuedConnection);
        connect(
            &workflow, &DocumentWorkflow::needGetDocumentPageEvent, this,
            [this](int page, const QString &nonce) {
                pageRequests.append(page);
                if (answering)
                    m_workflow.processGetDocumentPageResponse(m_answers.page(page, nonce));
            },
            Qt::QueuedConnection);
    }

    int infoRequests = 0;
    QList<int> pageRequests;
    std::optional<int> claimedPages;
    bool answering = true;

private:
    DocumentWorkflow &m_workflow;
    const DocumentAnswers &m_answers;
};

// Closes the next message box like the user and keeps its text.
class MessageBoxReader
{
public:
    MessageBoxReader()
        : m_probe([this](MsgBox *box) {
            text = box->findChild<QLabel *>(QStringLiteral("lblInfo"))->text();
            box->close();
        })
    {
    }

    bool seen() const { return m_probe.seen(); }
    QString text;

private:
    ModalProbe<MsgBox> m_probe;
};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private:
    struct Session
    {
        // Goes after its window.
        std::unique_ptr<DocumentWorkflow> workflow;
        std::unique_ptr<MainWindow> window;
        std::unique_ptr<PageStandIn> page;
        std::unique_ptr<QSignalSpy> finished;

        template <typename T>
        T *child(const char *name) const
        {
            return window->findChild<T *>(QLatin1String(name));
        }
        QPushButton *button(const char *name) const { return child<QPushButton>(name); }
        QLineEdit *pageField() const { return child<QLineEdit>("leCurrentPage"); }
        QComboBox *zoomBox() const { return child<QComboBox>("cmbZoomLevel"); }
        ImageViewer *viewer() const { return child<ImageViewer>("imageViewer"); }
        double scale() const { return viewer()->scaleFactor(); }
    };

    Session open(bool viewOnly, std::optional<int> claimedPages = std::nullopt, int cacheKiB = 100000)
    {
        Session session;
        session.workflow = std::make_unique<DocumentWorkflow>(
            viewOnly, DocumentWorkflow::StoreDefinitions(), DocumentWorkflow::PinPromptFactory());
        session.window = std::make_unique<MainWindow>(*session.workflow, false, false, cacheKiB);
        session.page = std::make_unique<PageStandIn>(*session.workflow, m_answers);
        session.page->claimedPages = claimedPages;
        session.finished = std::make_unique<QSignalSpy>(
            session.workflow.get(), &DocumentWorkflow::signingProcessFinishedEvent);
        session.window->resize(1000, 760);
        session.window->show();
        return session;
    }

    // Opens a window and waits until page 1 is on screen.
    Session openOnFirstPage(bool viewOnly, std::optional<int> claimedPages = std::nullopt)
    {
        Session session = open(viewOnly, claimedPages);
        [&] { QTRY_COMPARE(session.page->pageRequests, QList<int>{1}); }();
        [&] { QTRY_VERIFY(session.child<QWidget>("widgetLayoutTop")->isEnabled()); }();
        return session;
    }

    static void waitForCutOut(const Session &session)
    {
        QSignalSpy shown(session.viewer(), &ImageViewer::cutOutShown);
        shown.wait(1000);
        QTest::qWait(50);
    }

    static void typeZoom(const Session &session, const QString &text)
    {
        session.window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(session.window.get()));
        session.zoomBox()->setFocus();
        session.zoomBox()->setEditText(text);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    }

    static void saveScreenshot(const Session &session, const QString &name)
    {
        waitForCutOut(session);
        QDir().mkpath(QStringLiteral(QUILLMARK_SCREENSHOT_DIR));
        QVERIFY(session.window->grab().save(QStringLiteral(QUILLMARK_SCREENSHOT_DIR "/") + name));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_answers.document().isValid());
        QVERIFY(m_translator.load(QStringLiteral(QUILLMARK_STAGE_BIN "/../share/translations/Quillmark_en.qm")));
        QCoreApplication::installTranslator(&m_translator);
    }

    void modeDecidesTheBottomStrip()
    {
        DocumentWorkflow viewingWorkflow(true, {}, {});
        MainWindow viewing(viewingWorkflow, false, false, 1000);
        viewing.show();
        for (const char *name : {"btnClose", "lblViewer", "lineSeparatorClose"})
            QVERIFY2(viewing.findChild<QWidget *>(QLatin1String(name))->isVisible(), name);
        for (const char *name : {"btnChangeCert", "btnSign", "lineSeparatorSign"})
            QVERIFY2(!viewing.findChild<QWidget *>(QLatin1String(name))->isVisible(), name);

        DocumentWorkflow signingWorkflow(false, {}, {});
        MainWindow signing(signingWorkflow, false, false, 1000);
        signing.show();
        for (const char *name : {"btnChangeCert", "btnSign", "lineSeparatorSign"})
            QVERIFY2(signing.findChild<QWidget *>(QLatin1String(name))->isVisible(), name);
        for (const char *name : {"btnClose", "lblViewer", "lineSeparatorClose"})
            QVERIFY2(!signing.findChild<QWidget *>(QLatin1String(name))->isVisible(), name);
        QVERIFY(!signing.findChild<QPushButton *>(QStringLiteral("btnSign"))->isEnabled());

        auto *zoom = viewing.findChild<QComboBox *>(QStringLiteral("cmbZoomLevel"));
        QCOMPARE(zoom->count(), 14);
        QCOMPARE(zoom->itemText(0), QStringLiteral("10.00%"));
        QCOMPARE(zoom->itemText(13), QStringLiteral("6400.00%"));
        QCOMPARE(zoom->itemData(5).toDouble(), 125.0);
        QCOMPARE(zoom->currentText(), QStringLiteral("100.00%"));
        QVERIFY(viewing.windowTitle().contains(QStringLiteral("Unknown server")));
    }

    void loadsDocumentInformationThenFirstPage()
    {
        Session session = openOnFirstPage(true);
        QCOMPARE(session.page->infoRequests, 1);
        QCOMPARE(session.window->windowTitle(),
                 QStringLiteral("Quillmark - Varnek Development Signing Server - ")
                     + m_answers.document().documentId());
        QCOMPARE(session.pageField()->text(), QStringLiteral("1"));
        QCOMPARE(session.child<QLabel>("lblTotalPages")->text(), QStringLiteral("3"));
        QVERIFY(!session.button("btnPreviousPage")->isEnabled());
        QVERIFY(session.button("btnNextPage")->isEnabled());
        QCOMPARE(session.scale(), 1.0);
        // Showing the window again does not ask for the information twice.
        session.window->hide();
        session.window->show();
        QTest::qWait(50);
        QCOMPARE(session.page->infoRequests, 1);
    }

    void pagesComeFromThePageOnceThenFromTheCache()
    {
        Session session = openOnFirstPage(true);
        session.button("btnNextPage")->click();
        QTRY_VERIFY(session.child<QWidget>("widgetLayoutTop")->isEnabled());
        session.button("btnNextPage")->click();
        QTRY_COMPARE(session.page->pageRequests, (QList<int>{1, 2, 3}));
        QTRY_VERIFY(session.child<QWidget>("widgetLayoutTop")->isEnabled());
        QVERIFY(!session.button("btnNextPage")->isEnabled());
        QVERIFY(session.button("btnPreviousPage")->isEnabled());

        session.button("btnPreviousPage")->click();
        QCOMPARE(session.pageField()->text(), QStringLiteral("2"));
        // Straight from the cache: no wait panel, no request.
        QVERIFY(session.child<QWidget>("widgetLayoutTop")->isEnabled());
        QTest::qWait(50);
        QCOMPARE(session.page->pageRequests, (QList<int>{1, 2, 3}));
    }

    void evictedPageIsAskedForAgain()
    {
        // Room for one page of about 2 MiB at a time.
        Session session = open(true, std::nullopt, 1000);
        QTRY_COMPARE(session.page->pageRequests, QList<int>{1});
        QTRY_VERIFY(session.child<QWidget>("widgetLayoutTop")->isEnabled());
        session.button("btnNextPage")->click();
        QTRY_COMPARE(session.page->pageRequests, (QList<int>{1, 2}));
        QTRY_VERIFY(session.child<QWidget>("widgetLayoutTop")->isEnabled());
        session.button("btnPreviousPage")->click();
        QTRY_COMPARE(session.page->pageRequests, (QList<int>{1, 2, 1}));
    }

    void oneRequestAtATime()
    {
        Session session = open(true);
        session.page->answering = false;
        QTRY_COMPARE(session.page->infoRequests, 1);
        // The wait panel blocks the tool strips while the page is asked.
        QVERIFY(!session.child<QWidget>("widgetLayoutTop")->isEnabled());
        QVERIFY(!session.child<QWidget>("widgetLayoutBottom")->isEnabled());
        QVERIFY(session.window->findChild<QDialog *>(QStringLiteral("WaitDialog"))->isVisible());
    }

    void onePageDocumentDisablesBothPageButtons()
    {
        Session session = openOnFirstPage(true, 1);
        QVERIFY(!session.button("btnPreviousPage")->isEnabled());
        QVERIFY(!session.button("btnNextPage")->isEnabled());
        QCOMPARE(session.pageField()->text(), QStringLiteral("1"));
        QCOMPARE(session.child<QLabel>("lblTotalPages")->text(), QStringLiteral("1"));
    }

    void typedPageNumberMustExist_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("zero") << QStringLiteral("0");
        QTest::newRow("not a number") << QStringLiteral("abc");
        QTest::newRow("past the end") << QStringLiteral("4");
    }

    void typedPageNumberMustExist()
    {
        QFETCH(QString, typed);
        Session session = openOnFirstPage(true);
        MessageBoxReader box;
        session.pageField()->setText(typed);
        QTest::keyClick(session.pageField(), Qt::Key_Return);
        QTRY_VERIFY(box.seen());
        QCOMPARE(box.text, QStringLiteral("Page %1 does not exist.").arg(typed));
        QCOMPARE(session.pageField()->text(), QStringLiteral("1"));
        QCOMPARE(session.page->pageRequests, QList<int>{1});
    }

    void typedPageNumberChangesThePage()
    {
        Session session = openOnFirstPage(true);
        session.pageField()->setText(QStringLiteral("3"));
        QTest::keyClick(session.pageField(), Qt::Key_Return);
        QTRY_COMPARE(session.page->pageRequests, (QList<int>{1, 3}));

        // Return on an unchanged number only focuses the page.
        QTRY_VERIFY(session.child<QWidget>("widgetLayoutTop")->isEnabled());
        MessageBoxReader noBox;
        QTest::keyClick(session.pageField(), Qt::Key_Return);
        QTest::qWait(100);
        QVERIFY(!noBox.seen());
        QCOMPARE(session.page->pageRequests, (QList<int>{1, 3}));
    }

    void zoomButtonsStepThroughTheLevels()
    {
        Session session = openOnFirstPage(true);
        session.button("btnZoomIn")->click();
        QCOMPARE(session.zoomBox()->currentIndex(), 5);
        QCOMPARE(session.zoomBox()->currentText(), QStringLiteral("125.00%"));
        QCOMPARE(session.scale(), 1.25);
        session.button("btnZoomOut")->click();
        session.button("btnZoomOut")->click();
        QCOMPARE(session.zoomBox()->currentText(), QStringLiteral("75.00%"));
        QCOMPARE(session.scale(), 0.75);
        session.button("btnZoomOut")->click();
        QCOMPARE(session.scale(), 0.5);

        session.zoomBox()->setCurrentIndex(13);
        QCOMPARE(session.scale(), 64.0);
        session.button("btnZoomIn")->click();
        QCOMPARE(session.scale(), 64.0);
        session.zoomBox()->setCurrentIndex(0);
        QCOMPARE(session.scale(), 0.1);
        session.button("btnZoomOut")->click();
        QCOMPARE(session.scale(), 0.1);
        QCOMPARE(session.zoomBox()->currentText(), QStringLiteral("10.00%"));
    }

    void zoomStepsOnFromAFit()
    {
        Session session = openOnFirstPage(true);
        session.zoomBox()->setCurrentIndex(0);
        session.button("btnZoomPage")->click();
        const double fitted = session.scale();
        QVERIFY(fitted > 0.1 && fitted < 1.0);
        // The combo still sits on 10 %; stepping down to it must still zoom.
        session.button("btnZoomOut")->click();
        QVERIFY(session.button("btnZoomOut")->isEnabled());
        const double below = session.scale();
        QVERIFY2(below < fitted, qPrintable(QString::number(below)));
        QVERIFY(!session.button("btnZoomPage")->isChecked());
    }

    void typedZoomIsClampedAndChecked()
    {
        Session session = openOnFirstPage(true);
        typeZoom(session, QStringLiteral("5%"));
        QCOMPARE(session.scale(), 0.1);
        QCOMPARE(session.zoomBox()->currentText(), QStringLiteral("10.00%"));
        typeZoom(session, QStringLiteral("100000"));
        QCOMPARE(session.scale(), 64.0);
        QCOMPARE(session.zoomBox()->currentText(), QStringLiteral("6400.00%"));
        typeZoom(session, QStringLiteral("abc"));
        QCOMPARE(session.scale(), 64.0);
        QCOMPARE(session.zoomBox()->currentText(), QStringLiteral("6400.00%"));
        typeZoom(session, QStringLiteral("33.5 %"));
        QCOMPARE(session.scale(), 0.335);
        QCOMPARE(session.zoomBox()->currentText(), QStringLiteral("33.50%"));
        // The buttons step on from the typed value.
        session.button("btnZoomIn")->click();
        QCOMPARE(session.scale(), 0.5);
    }

    void fitButtonsExcludeEachOther()
    {
        Session session = openOnFirstPage(true);
        QPushButton *width = session.button("btnZoomWidth");
        QPushButton *page = session.button("btnZoomPage");
        const QSize viewport = session.viewer()->viewport()->size();
        const QSize image(793, 1123);

        width->click();
        QVERIFY(width->isChecked());
        QCOMPARE(session.scale(), double(viewport.width()) / image.width());
        page->click();
        QVERIFY(page->isChecked());
        QVERIFY(!width->isChecked());
        QCOMPARE(session.scale(), qMin(double(viewport.width()) / image.width(),
                                       double(viewport.height()) / image.height()));
        // A fit stays on for the next page and on resize.
        session.button("btnNextPage")->click();
        QTRY_VERIFY(session.child<QWidget>("widgetLayoutTop")->isEnabled());
        session.window->resize(900, 600);
        QTRY_COMPARE(session.scale(), qMin(double(session.viewer()->viewport()->width()) / image.width(),
                                           double(session.viewer()->viewport()->height()) / image.height()));
        session.button("btnDefaultSize")->click();
        QCOMPARE(session.scale(), 1.0);
        QVERIFY(!page->isChecked());
        QCOMPARE(session.zoomBox()->currentText(), QStringLiteral("100.00%"));
    }

    void zoomBeforeAnyPageDoesNothing()
    {
        Session session = open(true);
        session.page->answering = false;
        QTRY_COMPARE(session.page->infoRequests, 1);
        session.zoomBox()->setCurrentIndex(8);
        QCOMPARE(session.scale(), 1.0);
    }

    void viewOnlyClosesWithoutAsking()
    {
        Session session = openOnFirstPage(true);
        ModalProbe<CloseDialog> question([](CloseDialog *dialog) { dialog->reject(); }, 300);
        session.button("btnClose")->click();
        QVERIFY(!question.seen());
        QCOMPARE(session.finished->count(), 1);
        QCOMPARE(session.finished->first().first().toBool(), false);
        QVERIFY(!session.window->isVisible());
        // Closing again tells the page nothing new.
        session.window->close();
        QCOMPARE(session.finished->count(), 1);
    }

    void signingWindowAsksBeforeClosing()
    {
        Session session = openOnFirstPage(false);
        {
            ModalProbe<CloseDialog> no([](CloseDialog *dialog) {
                dialog->findChild<QPushButton *>(QStringLiteral("btnNo"))->click();
            });
            session.window->close();
            QTRY_VERIFY(no.seen());
        }
        QVERIFY(session.window->isVisible());
        QCOMPARE(session.finished->count(), 0);
        {
            ModalProbe<CloseDialog> yes([](CloseDialog *dialog) {
                dialog->findChild<QPushButton *>(QStringLiteral("btnYes"))->click();
            });
            session.window->close();
            QTRY_VERIFY(yes.seen());
        }
        QCOMPARE(session.finished->count(), 1);
        QCOMPARE(session.finished->first().first().toBool(), false);
        QVERIFY(!session.window->isVisible());
    }

    void aboutBoxNamesVersionAndWordSize()
    {
        Session session = openOnFirstPage(true);
        MessageBoxReader box;
        session.button("btnInfo")->click();
        QTRY_VERIFY(box.seen());
        QVERIFY2(box.text.startsWith(QStringLiteral("Quillmark\nVersion 1.0.7 (%1-bit)").arg(QSysInfo::WordSize)),
                 qPrintable(box.text));
    }

    void screenshots()
    {
        Session session = openOnFirstPage(true);
        saveScreenshot(session, QStringLiteral("mainwindow-100.png"));
        session.button("btnZoomPage")->click();
        saveScreenshot(session, QStringLiteral("mainwindow-fit-page.png"));
        session.zoomBox()->setCurrentIndex(13);
        QCOMPARE(session.scale(), 64.0);
        // Into the heading, where the pixels of the letters show.
        session.viewer()->horizontalScrollBar()->setValue(196 * 64);
        session.viewer()->verticalScrollBar()->setValue(124 * 64);
        saveScreenshot(session, QStringLiteral("mainwindow-6400.png"));

        Session signing = openOnFirstPage(false);
        signing.button("btnZoomWidth")->click();
        saveScreenshot(signing, QStringLiteral("mainwindow-signing-fit-width.png"));
    }

private:
    DocumentAnswers m_answers;
    QTranslator m_translator;
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
