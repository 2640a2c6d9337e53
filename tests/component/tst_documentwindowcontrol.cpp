#include "appexception.h"
#include "closedialog.h"
#include "closingflag.h"
#include "fixturepaths.h"
#include "mainwindow.h"
#include "modalprobe.h"
#include "msgbox.h"
#include "quillmark.h"

#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTranslator>
#include <QtTest>

#include <functional>

namespace {

MainWindow *openWindow()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *window = qobject_cast<MainWindow *>(widget); window && window->isVisible())
            return window;
    }
    return nullptr;
}

QString errorOf(const std::function<void()> &operation)
{
    try {
        operation();
    } catch (const AppException &e) {
        return e.message();
    }
    return {};
}

} // namespace

// The component's side of the document window: opening, forwarding and
// ending it, also while the window waits in a dialog of its own.
class TestDocumentWindowControl : public QObject
{
    Q_OBJECT

private:
    // Listens to every event the page must handle.
    struct Page
    {
        explicit Page(Quillmark &component)
            : info(&component, &Quillmark::needGetDocumentInfoEvent)
            , page(&component, &Quillmark::needGetDocumentPageEvent)
            , signInit(&component, &Quillmark::needSignInitEvent)
            , signFinish(&component, &Quillmark::needSignFinishEvent)
            , finished(&component, &Quillmark::signingProcessFinishedEvent)
        {
        }
        QSignalSpy info, page, signInit, signFinish, finished;
    };

private slots:
    void initTestCase()
    {
        QVERIFY(m_translator.load(QStringLiteral(QUILLMARK_STAGE_BIN "/../share/translations/Quillmark_en.qm")));
        QCoreApplication::installTranslator(&m_translator);
    }

    void init() { ClosingFlag::lower(); }

    void opensOneWindowAtATime()
    {
        Quillmark component;
        Page page(component);
        component.viewDocument();
        QPointer<MainWindow> window = openWindow();
        QVERIFY(window);
        QTRY_COMPARE(page.info.count(), 1);
        QCOMPARE(errorOf([&] { component.signDocument(); }), QStringLiteral("The signing window is already open."));
        // Centred on its screen, within the frame that the platform adds.
        const QRect area = window->screen()->availableGeometry();
        const QPoint offset = window->geometry().center() - area.center();
        QVERIFY2(qAbs(offset.x()) <= 4 && qAbs(offset.y()) <= 4, qPrintable(QStringLiteral("%1 %2").arg(offset.x()).arg(offset.y())));
        QVERIFY(window->width() <= area.width() && window->height() <= area.height());

        component.terminate();
        QTRY_VERIFY(window.isNull());
        QCOMPARE(page.finished.count(), 1);
        QCOMPARE(page.finished.first().first().toBool(), false);
        QVERIFY(ClosingFlag::isRaised());

        component.signDocument();
        QVERIFY(!ClosingFlag::isRaised());
        window = openWindow();
        QVERIFY(window);
        // Disposal takes the signing window at once, without a question.
        ModalProbe<CloseDialog> question([](CloseDialog *dialog) { dialog->reject(); }, 1000);
        component.dispose(true);
        QVERIFY(window.isNull());
        QVERIFY(!question.seen());
        QCOMPARE(page.finished.count(), 2);
    }

    void refusesWhenThePageDoesNotListen()
    {
        Quillmark component;
        QCOMPARE(errorOf([&] { component.viewDocument(); }),
                 QStringLiteral("No handler is registered for the event NeedGetDocumentInfoEvent."));
        QVERIFY(!openWindow());
        // Nothing half-made stays behind: with listeners the window opens.
        Page page(component);
        component.viewDocument();
        QVERIFY(openWindow());
        component.dispose(true);
    }

    void answersWithoutWindowAreDropped()
    {
        Quillmark component;
        Page page(component);
        QCOMPARE(errorOf([&] { component.processGetDocumentInfoResponse(QStringLiteral("junk")); }), QString());
        QCOMPARE(errorOf([&] { component.processGetDocumentPageResponse(QStringLiteral("junk")); }), QString());
        QCOMPARE(errorOf([&] { component.bringToFront(); }), QString());
        QCOMPARE(page.finished.count(), 0);
    }

    void bringToFrontRestoresAMinimisedWindow()
    {
        Quillmark component;
        Page page(component);
        component.viewDocument();
        MainWindow *window = openWindow();
        QVERIFY(window);
        window->showMinimized();
        QTRY_VERIFY(window->isMinimized());
        component.bringToFront();
        QVERIFY(!window->isMinimized());
        QCOMPARE(window->windowState(), Qt::WindowNoState);
        QVERIFY(window->isVisible());
        component.dispose(true);
    }

    void terminateAnswersTheCloseQuestionOfTheWindow()
    {
        Quillmark component;
        Page page(component);
        component.signDocument();
        QPointer<MainWindow> window = openWindow();
        QVERIFY(window);
        // The user closes the signing window; while the question is open the
        // page ends the workflow.
        ModalProbe<CloseDialog> question([&](CloseDialog *) { component.terminate(); });
        window->close();
        QTRY_VERIFY(question.seen());
        QTRY_VERIFY(window.isNull());
        QCOMPARE(page.finished.count(), 1);
        QCOMPARE(page.finished.first().first().toBool(), false);
    }

    void refusedSecondWindowKeepsTheTerminateGoing()
    {
        Quillmark component;
        Page page(component);
        component.signDocument();
        QPointer<MainWindow> window = openWindow();
        QVERIFY(window);
        ModalProbe<CloseDialog> question([](CloseDialog *dialog) { dialog->reject(); }, 1000);
        component.terminate();
        QCOMPARE(errorOf([&] { component.signDocument(); }), QStringLiteral("The signing window is already open."));
        QTRY_VERIFY(window.isNull());
        QVERIFY(!question.seen());
        QCOMPARE(page.finished.count(), 1);
    }

    void terminateClosesAnOpenMessageBoxAndTheWindow()
    {
        Quillmark component;
        Page page(component);
        component.viewDocument();
        QPointer<MainWindow> window = openWindow();
        QVERIFY(window);
        QTRY_COMPARE(page.info.count(), 1);
        ModalProbe<MsgBox> about([&](MsgBox *) { component.terminate(); });
        QVERIFY(QMetaObject::invokeMethod(window, "on_btnInfo_clicked"));
        QTRY_VERIFY(about.seen());
        QTRY_VERIFY(window.isNull());
        QVERIFY(!ModalProbe<MsgBox>::visibleWidget());
        QCOMPARE(page.finished.count(), 1);
    }

private:
    QTranslator m_translator;
};

QTEST_MAIN(TestDocumentWindowControl)
#include "tst_documentwindowcontrol.moc"
