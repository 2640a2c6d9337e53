// The real quillmark as a person who cannot use a mouse or see the screen
// meets it: every step of a signing and of a viewing is a key press sent
// from outside (xdotool), and what a screen reader would say is read from
// the AT-SPI accessibility bus (pyatspi), in English and in Slovak.
#include "desktopdriver.h"
#include "fixturepaths.h"
#include "testhome.h"
#include "testsigningpage.h"
#include "tokentestbed.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

namespace {

const QString pin = QStringLiteral("Qm7-A11y-5173");
const QString mainWindowTitle = QStringLiteral("^Quillmark - ");
const QString pinFormTitle = QStringLiteral("^Varnek Quillmark$");
const QString messageBoxTitle = QStringLiteral("^Quillmark$");

// One object as AT-SPI shows it.
struct Accessible
{
    QString window;
    QString role;
    QString name;
    QString keyBinding;
    double value = 0;
    bool focusable = false;
    bool focused = false;
};

using Tree = QList<Accessible>;

Tree readTree(qint64 pid)
{
    QProcess reader;
    reader.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(QUILLMARK_SOURCE_DIR "/tests/accessibility/atspitree.py"), QString::number(pid)});
    if (!reader.waitForFinished(DesktopDriver::defaultTimeout))
        return {};
    Tree tree;
    for (const QJsonValue &entry : QJsonDocument::fromJson(reader.readAllStandardOutput()).array()) {
        const QJsonObject object = entry.toObject();
        tree.append({object.value(QStringLiteral("window")).toString(), object.value(QStringLiteral("role")).toString(),
                     object.value(QStringLiteral("name")).toString(),
                     object.value(QStringLiteral("keyBinding")).toString(),
                     object.value(QStringLiteral("value")).toDouble(), object.value(QStringLiteral("focusable")).toBool(),
                     object.value(QStringLiteral("focused")).toBool()});
    }
    return tree;
}

// Controls a screen reader could only call by their kind.
QStringList unnamedControls(const Tree &tree)
{
    QStringList unnamed;
    for (const Accessible &object : tree) {
        if (object.focusable && object.name.trimmed().isEmpty())
            unnamed.append(object.role + QStringLiteral(" in ") + object.window);
    }
    return unnamed;
}

// The innermost object with the focus: Qt 6 calls a view focused as well as
// the row in it that has the focus, Qt 5 only the row; the tree lists an
// object before what it contains.
const Accessible *focusedIn(const Tree &tree, const QString &window)
{
    const Accessible *innermost = nullptr;
    for (const Accessible &object : tree) {
        if (object.focused && object.window == window && object.role != QLatin1String("dialog")
            && object.role != QLatin1String("frame"))
            innermost = &object;
    }
    return innermost;
}

const Accessible *named(const Tree &tree, const QString &name)
{
    for (const Accessible &object : tree) {
        if (object.name == name)
            return &object;
    }
    return nullptr;
}

// The texts a screen reader says in each language.
struct Spoken
{
    QString certFormTitle;
    QString certificateButton;
    QString certificateTree;
    QString signKey;
    QString firstPage;
    QString signed_;
};

} // namespace

Q_DECLARE_METATYPE(Spoken)

class TestAccessibility : public QObject
{
    Q_OBJECT

private:
    QString log() const
    {
        QFile file(m_home->logFile(QStringLiteral("quillmarklog.txt")));
        file.open(QIODevice::ReadOnly);
        return QString::fromUtf8(file.readAll());
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment environment = m_home->environment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.insert(QStringLiteral("SOFTHSM2_CONF"), m_tokens->fixture().configPath());
        // What a desktop with a screen reader running sets up.
        environment.insert(QStringLiteral("QT_ACCESSIBILITY"), QStringLiteral("1"));
        environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
        return environment;
    }

    // One quillmark serves every document here: the accessibility registry
    // of this Debian takes no new application once one has left its bus.
    bool openDocument(const QString &language, bool viewOnly)
    {
        m_page->setLanguage(language);
        m_page->setViewOnly(viewOnly);
        m_page->setStoredConfiguration(QString());
        const QString stores = QStringLiteral("SoftHSM|") + TokenTestBed::softHsmModule();
        if (m_started)
            return m_page->openNext(stores);
        m_started = m_page->open(stores);
        return m_started;
    }

    // Runs the step and serves the page until the log has one more line
    // holding the text. Reading the tree takes a while and the page is
    // served only between readings, so exchanges are awaited here.
    bool logGrows(const QString &text, const std::function<void()> &step = [] {})
    {
        const int before = log().count(text);
        step();
        return m_page->serveUntil([&]() { return log().count(text) > before; });
    }

    // Serves the page until the accessibility tree of quillmark satisfies
    // the condition; the tree last read is kept in m_tree.
    bool treeShows(const std::function<bool(const Tree &)> &condition)
    {
        const qint64 pid = m_page->host().process().processId();
        return m_page->serveUntil([&]() {
            m_tree = readTree(pid);
            return condition(m_tree);
        });
    }

    // Tabs through the window as a screen-reader user does, listening to
    // the name of each control, until the control of that name has focus.
    bool tabTo(const QString &window, const QString &windowName, const QString &name)
    {
        for (int presses = 0; presses < 25; ++presses) {
            m_tree = readTree(m_page->host().process().processId());
            const Accessible *focused = focusedIn(m_tree, windowName);
            if (focused && focused->name == name)
                return true;
            DesktopDriver::key(window, QStringLiteral("Tab"));
        }
        return false;
    }

    bool typePin()
    {
        const bool pinFieldFocused = treeShows([](const Tree &tree) {
            const Accessible *focused = focusedIn(tree, QStringLiteral("Varnek Quillmark"));
            return focused && focused->name == QLatin1String("PIN");
        });
        if (!pinFieldFocused || !unnamedControls(m_tree).isEmpty())
            return false;
        const QString dialog = DesktopDriver::waitForWindow(pinFormTitle);
        DesktopDriver::type(dialog, pin);
        DesktopDriver::key(dialog, QStringLiteral("Return"));
        return m_page->serveUntil([]() { return DesktopDriver::visibleWindows(pinFormTitle).isEmpty(); });
    }

private slots:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs an X display (run under xvfb-run)");
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
            QSKIP("needs a D-Bus session (run under dbus-run-session)");
        m_tokens = std::make_unique<TokenTestBed>(QStringLiteral("tst_accessibility"));
        m_tokens->createSigningToken(QStringLiteral("Quillmark A11y"), pin);
        SoftHsmFixture::ObjectOptions options;
        options.id = QByteArray::fromHex("02");
        options.label = QStringLiteral("Quillmark A11y Second");
        m_tokens->fixture().importCredential(
            QStringLiteral("Quillmark A11y"), pin,
            m_tokens->authority().issue(QStringLiteral("Quillmark A11y Second"), true), options);
        m_home = std::make_unique<TestHome>();
        QVERIFY(m_home->switchLoggingOn(QStringLiteral("quillmarklog.txt")));
        m_page = std::make_unique<TestSigningPage>(environment());
    }

    void cleanup()
    {
        if (QTest::currentTestFailed()) {
            for (const Accessible &object : m_tree)
                qWarning().noquote() << object.window << "|" << object.role << "|" << object.name
                                     << (object.focused ? "(focused)" : "");
            qWarning().noquote() << log().right(3000);
        }
    }

    void cleanupTestCase()
    {
        if (m_started) {
            QVERIFY(m_page->host().closeInputAndWait());
            QCOMPARE(m_page->host().process().exitCode(), 0);
        }
    }

    void signsByKeysAlone_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<Spoken>("spoken");
        QTest::newRow("English") << QStringLiteral("en")
                                 << Spoken{QStringLiteral("Select signing certificate"),
                                           QStringLiteral("Click to choose signing certificate"),
                                           QStringLiteral("Certificates"), QStringLiteral("alt+s"),
                                           QStringLiteral("Page 1 of 3"),
                                           QStringLiteral("The document was signed successfully.")};
        QTest::newRow("Slovak") << QStringLiteral("sk")
                                << Spoken{QStringLiteral("Výber podpisového certifikátu"),
                                          QStringLiteral("Kliknite a vyberte podpisový certifikát"),
                                          QStringLiteral("Certifikáty"), QStringLiteral("alt+p"),
                                          QStringLiteral("Strana 1 z 3"),
                                          QStringLiteral("Dokument bol úspešne podpísaný.")};
    }

    void signsByKeysAlone()
    {
        QFETCH(QString, language);
        QFETCH(Spoken, spoken);
        QVERIFY(logGrows(QStringLiteral("Show page 1"), [&] { QVERIFY(openDocument(language, false)); }));

        // The page image has the focus and says which page it shows.
        QVERIFY(treeShows([&](const Tree &tree) { return named(tree, spoken.firstPage); }));
        const QString windowName = named(m_tree, spoken.firstPage)->window;
        QVERIFY2(unnamedControls(m_tree).isEmpty(), qPrintable(unnamedControls(m_tree).join(QLatin1Char('\n'))));
        const QString mainWindow = DesktopDriver::waitForWindow(mainWindowTitle);
        QVERIFY(!mainWindow.isEmpty());

        // Ctrl+W asks before closing unsigned; Escape keeps the window.
        DesktopDriver::key(mainWindow, QStringLiteral("ctrl+w"));
        QVERIFY(treeShows([](const Tree &tree) { return focusedIn(tree, QStringLiteral("Varnek Quillmark")); }));
        QVERIFY2(unnamedControls(m_tree).isEmpty(), qPrintable(unnamedControls(m_tree).join(QLatin1Char('\n'))));
        DesktopDriver::key(DesktopDriver::waitForWindow(pinFormTitle), QStringLiteral("Escape"));
        QVERIFY(DesktopDriver::waitUntilGone(pinFormTitle));
        QVERIFY(!DesktopDriver::visibleWindows(mainWindowTitle).isEmpty());

        // The certificate window: the token asks its PIN for the listing,
        // then the focus is in the tree; two certificates, none chosen.
        QVERIFY(tabTo(mainWindow, windowName, spoken.certificateButton));
        QVERIFY(logGrows(QStringLiteral("Populating tree view"), [&] {
            DesktopDriver::key(mainWindow, QStringLiteral("space"));
            QVERIFY(typePin());
        }));
        // Without a window manager nobody hands the window the keyboard
        // back when the PIN dialog has gone; the test does.
        const QString form = DesktopDriver::waitForWindow(QLatin1Char('^') + spoken.certFormTitle + QLatin1Char('$'));
        QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("windowfocus"), QStringLiteral("--sync"), form});
        // The focus is in the named tree, on its first row.
        QVERIFY(treeShows([&](const Tree &tree) {
            const Accessible *focused = focusedIn(tree, spoken.certFormTitle);
            return focused && focused->role == QLatin1String("table cell") && named(tree, spoken.certificateTree)
                   && named(tree, spoken.certificateTree)->role == QLatin1String("tree");
        }));
        QVERIFY2(unnamedControls(m_tree).isEmpty(), qPrintable(unnamedControls(m_tree).join(QLatin1Char('\n'))));
        QVERIFY(logGrows(QStringLiteral("Certificate was clicked"),
                         [&] {
                             DesktopDriver::key(form, QStringLiteral("Down"));
                             DesktopDriver::key(form, QStringLiteral("Down"));
                         }));
        DesktopDriver::key(form, QStringLiteral("Return"));
        QVERIFY(m_page->serveUntil([&]() { return m_page->saveCount() == 1; }));
        QVERIFY(DesktopDriver::waitUntilGone(QLatin1Char('^') + spoken.certFormTitle + QLatin1Char('$')));

        // The mnemonic of Sign; the PIN; the news of success has the focus.
        bool signInit = false;
        for (int attempt = 0; attempt < 10 && !signInit; ++attempt) {
            DesktopDriver::key(mainWindow, spoken.signKey);
            signInit = m_page->eventArrivesWithin(QStringLiteral("NeedSignInitEvent"), 300);
        }
        QVERIFY(signInit);
        QVERIFY(typePin());
        QVERIFY(treeShows([&](const Tree &tree) {
            return named(tree, spoken.signed_) && focusedIn(tree, QStringLiteral("Quillmark"));
        }));
        QVERIFY2(unnamedControls(m_tree).isEmpty(), qPrintable(unnamedControls(m_tree).join(QLatin1Char('\n'))));
        DesktopDriver::key(DesktopDriver::waitForWindow(messageBoxTitle), QStringLiteral("Return"));
        QVERIFY(m_page->serveUntil([&]() { return m_page->finished().has_value(); }));
        QCOMPARE(*m_page->finished(), true);
        QCOMPARE(m_page->verifiedSignatures().size(), language == QLatin1String("en") ? 1 : 2);
        QVERIFY(DesktopDriver::waitUntilGone(mainWindowTitle));
    }

    void viewsByKeysAlone()
    {
        QVERIFY(logGrows(QStringLiteral("Show page 1"), [&] { QVERIFY(openDocument(QStringLiteral("en"), true)); }));
        QVERIFY(treeShows([](const Tree &tree) { return named(tree, QStringLiteral("Page 1 of 3")); }));
        QVERIFY2(unnamedControls(m_tree).isEmpty(), qPrintable(unnamedControls(m_tree).join(QLatin1Char('\n'))));
        const QString window = DesktopDriver::waitForWindow(mainWindowTitle);

        // Pages forward and back; the page already seen needs no request.
        QVERIFY(logGrows(QStringLiteral("Show page 2"),
                         [&] { DesktopDriver::key(window, QStringLiteral("ctrl+Next")); }));
        QVERIFY(treeShows([](const Tree &tree) { return named(tree, QStringLiteral("Page 2 of 3")); }));
        QVERIFY(logGrows(QStringLiteral("Show page 1"),
                         [&] { DesktopDriver::key(window, QStringLiteral("ctrl+Prior")); }));
        QVERIFY(treeShows([](const Tree &tree) { return named(tree, QStringLiteral("Page 1 of 3")); }));
        QCOMPARE(m_page->eventCount(QStringLiteral("NeedGetDocumentPageEvent")), 2);

        // Zoom in, out and back to the actual size.
        QVERIFY(logGrows(QStringLiteral("Zoom level index changed to 5"),
                         [&] { DesktopDriver::key(window, QStringLiteral("ctrl+plus")); }));
        QVERIFY(logGrows(QStringLiteral("Zoom level index changed to 4"),
                         [&] { DesktopDriver::key(window, QStringLiteral("ctrl+minus")); }));
        DesktopDriver::key(window, QStringLiteral("ctrl+0"));
        QVERIFY(treeShows([](const Tree &tree) { return named(tree, QStringLiteral("100.00%")); }));

        // The page image scrolls by keys.
        const auto scrolled = [](const Tree &tree) {
            double furthest = 0;
            for (const Accessible &object : tree) {
                if (object.role == QLatin1String("scroll bar"))
                    furthest = std::max(furthest, object.value);
            }
            return furthest;
        };
        QVERIFY(treeShows([&](const Tree &tree) { return scrolled(tree) == 0; }));
        DesktopDriver::key(window, QStringLiteral("Next"));
        QVERIFY(treeShows([&](const Tree &tree) { return scrolled(tree) > 0; }));

        DesktopDriver::key(window, QStringLiteral("ctrl+w"));
        QVERIFY(m_page->serveUntil([&]() { return m_page->finished().has_value(); }));
        QCOMPARE(*m_page->finished(), false);
    }

private:
    std::unique_ptr<TokenTestBed> m_tokens;
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<TestSigningPage> m_page;
    bool m_started = false;
    Tree m_tree;
};

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
