// The real quillmark in a Wayland session: headless sway started by the
// test as an ordinary user, quillmark started into it as a desktop starts
// programs (no X display, Qt left to choose its platform), and a whole
// viewing and a whole signing with a SoftHSM2 token by the keyboard alone
// (wtype). What the compositor makes of the windows is read from its IPC.
#include "desktopdriver.h"
#include "fixturepaths.h"
#include "signinguser.h"
#include "swaysession.h"
#include "testhome.h"
#include "testsigningpage.h"
#include "tokentestbed.h"

#include <QImage>
#include <QJsonObject>
#include <QScopeGuard>
#include <QSet>
#include <QtTest>

namespace {

const QString pin = QStringLiteral("Qm7-Wl4nd-3906");
const QString screenshotDirectory = QStringLiteral(QUILLMARK_BINARY_DIR "/screenshots/");

// A window the compositor shows but the program never drew is one colour.
int coloursIn(const QImage &image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 4) {
        for (int x = 0; x < image.width(); x += 4)
            colours.insert(image.pixel(x, y));
    }
    return colours.size();
}

} // namespace

class TestWayland : public QObject
{
    Q_OBJECT

private:
    QProcessEnvironment environment() const
    {
        QProcessEnvironment environment = m_session->clientEnvironment(m_home->environment());
        environment.insert(QStringLiteral("SOFTHSM2_CONF"), m_tokens->fixture().configPath());
        return environment;
    }

    // Serves the page until the log has one more line holding the text.
    bool logGrows(TestSigningPage &page, const SigningUser &user, const QString &text,
                  const std::function<void()> &step)
    {
        const int before = user.logCount(text);
        step();
        return page.serveUntil([&]() { return user.logCount(text) > before; });
    }

private slots:
    void initTestCase()
    {
        m_session = std::make_unique<SwaySession>();
        QVERIFY(m_session->isValid());
        m_tokens = std::make_unique<TokenTestBed>(QStringLiteral("tst_wayland"));
        m_tokens->createSigningToken(QStringLiteral("Quillmark Wayland"), pin);
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
        m_session->switchToWorkspace(QStringLiteral("1"));
    }

    void cleanupTestCase() { m_session.reset(); }

    void worksByKeyboardAlone_data()
    {
        QTest::addColumn<bool>("viewOnly");
        QTest::newRow("viewing") << true;
        QTest::newRow("signing") << false;
    }

    void worksByKeyboardAlone()
    {
        QFETCH(bool, viewOnly);
        TestSigningPage page(environment());
        page.setViewOnly(viewOnly);
        SigningUser user(page, *m_home, SigningUser::Hands::KeyboardOnly);
        const auto report = qScopeGuard([&]() {
            if (QTest::currentTestFailed())
                qWarning() << "quillmark:" << page.host().process().state()
                           << page.host().process().exitStatus() << page.host().process().exitCode()
                           << page.host().standardError().right(3000);
        });
        QVERIFY(user.openSigningWindow(QStringLiteral("SoftHSM|") + TokenTestBed::softHsmModule()));
        const QString window = user.mainWindow();

        // A native Wayland window that has the keyboard once it appears,
        // with the page drawn in it.
        QCOMPARE(m_session->windowNode(window).value(QLatin1String("shell")).toString(),
                 QStringLiteral("xdg_shell"));
        QVERIFY(page.serveUntil([&]() { return DesktopDriver::activeWindow() == window; }));
        const QString shot =
            screenshotDirectory + QStringLiteral("wayland-%1.png").arg(QTest::currentDataTag());
        QVERIFY(DesktopDriver::screenshot(window, shot));
        const QImage picture(shot);
        QCOMPARE(picture.size(), DesktopDriver::windowSize(window));
        QVERIFY2(coloursIn(picture) > 32, qPrintable(QString::number(coloursIn(picture))));

        // The page asks for the window while the person works on another
        // workspace. Sway lets no program take the front for itself, nor
        // mark itself urgent without the keyboard: the window stays open
        // where it was, and has the keyboard again when the person goes back.
        QVERIFY(m_session->switchToWorkspace(QStringLiteral("2")));
        QVERIFY(page.serveUntil([&]() { return DesktopDriver::activeWindow().isEmpty(); }));
        const auto brought = page.host().call(QStringLiteral("BringToFront"));
        QVERIFY(brought && brought->value(QLatin1String("error")).isNull());
        QVERIFY(!m_session->windowNode(window).isEmpty());
        QVERIFY(m_session->switchToWorkspace(QStringLiteral("1")));
        QVERIFY(page.serveUntil([&]() { return DesktopDriver::activeWindow() == window; }));

        if (viewOnly) {
            QVERIFY(logGrows(page, user, QStringLiteral("Show page 2"),
                             [&] { DesktopDriver::key(window, QStringLiteral("ctrl+Next")); }));
            QVERIFY(logGrows(page, user, QStringLiteral("Show page 1"),
                             [&] { DesktopDriver::key(window, QStringLiteral("ctrl+Prior")); }));
            QCOMPARE(page.eventCount(QStringLiteral("NeedGetDocumentPageEvent")), 2);
            QVERIFY(logGrows(page, user, QStringLiteral("Zoom level index changed to 5"),
                             [&] { DesktopDriver::key(window, QStringLiteral("ctrl+plus")); }));
            DesktopDriver::key(window, QStringLiteral("ctrl+w"));
            QVERIFY(page.serveUntil([&]() { return page.finished().has_value(); }));
            QCOMPARE(*page.finished(), false);
        } else {
            QVERIFY(user.chooseCertificate(pin));
            // The PIN dialog is the window's child: the compositor floats it
            // over the window instead of tiling it beside.
            QVERIFY(user.pressSign());
            QString dialog;
            QVERIFY(page.serveUntil([&]() {
                return !(dialog = DesktopDriver::visibleWindows(SigningUser::pinFormTitle).value(0))
                            .isEmpty();
            }));
            QCOMPARE(m_session->windowNode(dialog).value(QLatin1String("type")).toString(),
                     QStringLiteral("floating_con"));
            QVERIFY(m_session->windowArea(window).contains(m_session->windowArea(dialog)));
            QVERIFY(user.answerPin(pin));
            QVERIFY(user.closeMessageBox(QStringLiteral("The document was signed successfully.")));
            QVERIFY(page.serveUntil([&]() { return page.finished().has_value(); }));
            QCOMPARE(*page.finished(), true);
            QCOMPARE(page.verifiedSignatures().size(), 1);
        }
        QVERIFY(DesktopDriver::waitUntilGone(SigningUser::mainWindowTitle));
        QVERIFY(page.methodErrors().isEmpty());
        QVERIFY(user.closeHost());
    }

private:
    std::unique_ptr<SwaySession> m_session;
    std::unique_ptr<TokenTestBed> m_tokens;
    std::unique_ptr<TestHome> m_home;
};

QTEST_MAIN(TestWayland)
#include "tst_wayland.moc"
