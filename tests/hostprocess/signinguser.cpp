#include "signinguser.h"

#include "desktopdriver.h"
#include "signingwindows.h"
#include "testhome.h"
#include "testsigningpage.h"

#include <QFile>

const QString SigningUser::mainWindowTitle = QStringLiteral("^Quillmark - ");
const QString SigningUser::certFormTitle = QStringLiteral("^Select signing certificate$");
const QString SigningUser::pinFormTitle = QStringLiteral("^Varnek Quillmark$");
const QString SigningUser::messageBoxTitle = QStringLiteral("^Quillmark$");

namespace {

const QString listingDone = QStringLiteral("Populating tree view of cert containers");

} // namespace

SigningUser::SigningUser(TestSigningPage &page, const TestHome &home, Hands hands)
    : m_page(page), m_home(home), m_hands(hands)
{
}

QString SigningUser::logOf(const TestHome &home)
{
    QFile file(home.logFile(QStringLiteral("quillmarklog.txt")));
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll());
}

QString SigningUser::log() const
{
    return logOf(m_home);
}

int SigningUser::logCount(const QString &line) const
{
    return log().count(line);
}

QString SigningUser::mainWindow() const
{
    return m_mainWindow;
}

bool SigningUser::openSigningWindow(const QString &stores)
{
    const int pagesShown = logCount(QStringLiteral("Show page 1"));
    if (!m_page.open(stores))
        return false;
    const bool pageShown = m_page.serveUntil([&]() {
        return m_page.eventCount(QStringLiteral("NeedGetDocumentPageEvent")) == 1
               && logCount(QStringLiteral("Show page 1")) > pagesShown;
    });
    m_mainWindow = DesktopDriver::waitForWindow(mainWindowTitle);
    return pageShown && !m_mainWindow.isEmpty();
}

bool SigningUser::openRefusedSigningWindow(const QString &stores)
{
    if (!m_page.open(stores) || !closeMessageBox(QString()))
        return false;
    // The close question bears the program's name, as the PIN dialog does.
    const QString question = DesktopDriver::waitForWindow(pinFormTitle);
    if (question.isEmpty())
        return false;
    DesktopDriver::key(question, QStringLiteral("Escape"));
    if (!m_page.serveUntil([&]() { return DesktopDriver::visibleWindows(pinFormTitle).isEmpty(); }))
        return false;
    m_mainWindow = DesktopDriver::waitForWindow(mainWindowTitle);
    return !m_mainWindow.isEmpty();
}

void SigningUser::clickMain(const char *objectName)
{
    DesktopDriver::click(m_mainWindow,
                         SigningWindows::mainWindowControl(objectName, DesktopDriver::windowSize(m_mainWindow)));
}

void SigningUser::pressMain(const char *objectName)
{
    if (m_hands == Hands::PointerAndKeys) {
        clickMain(objectName);
        return;
    }
    const QString keys = SigningWindows::mainWindowKeys(objectName);
    if (keys.isEmpty())
        qWarning() << "The keyboard does not reach" << objectName;
    else if (hasKeyboard(m_mainWindow))
        DesktopDriver::key(m_mainWindow, keys);
}

bool SigningUser::hasKeyboard(const QString &window)
{
    if (m_hands == Hands::PointerAndKeys || !DesktopDriver::windowManagerRunning())
        return true;
    const bool focused =
        m_page.serveUntil([&]() { return DesktopDriver::activeWindow() == window; });
    if (!focused)
        qWarning() << "The window" << window << "never got the keyboard; it went to"
                   << DesktopDriver::activeWindow();
    return focused;
}

bool SigningUser::pressSign()
{
    for (int attempt = 0; attempt < 10; ++attempt) {
        pressMain("btnSign");
        if (m_page.eventArrivesWithin(QStringLiteral("NeedSignInitEvent"), 300))
            return true;
    }
    return false;
}

bool SigningUser::answerPin(const QString &typed)
{
    QString dialog;
    m_page.serveUntil([&]() { return !(dialog = DesktopDriver::visibleWindows(pinFormTitle).value(0)).isEmpty(); });
    if (dialog.isEmpty() || !hasKeyboard(dialog))
        return false;
    if (typed.isEmpty()) {
        DesktopDriver::key(dialog, QStringLiteral("Escape"));
    } else {
        DesktopDriver::type(dialog, typed);
        DesktopDriver::key(dialog, QStringLiteral("Return"));
    }
    return m_page.serveUntil([&]() { return DesktopDriver::visibleWindows(pinFormTitle).isEmpty(); });
}

bool SigningUser::closeMessageBox(const QString &text)
{
    QString box;
    const bool shown = m_page.serveUntil([&]() {
        box = DesktopDriver::visibleWindows(messageBoxTitle).value(0);
        return !box.isEmpty() && log().section(QStringLiteral("Closing MsgBox"), -1).contains(text);
    });
    if (!shown || !hasKeyboard(box))
        return false;
    DesktopDriver::key(box, QStringLiteral("Return"));
    return m_page.serveUntil([&]() { return DesktopDriver::visibleWindows(messageBoxTitle).isEmpty(); });
}

QString SigningUser::openCertForm(const QString &pin)
{
    const int listings = logCount(listingDone);
    pressMain("btnChangeCert");
    const QString form = DesktopDriver::waitForWindow(certFormTitle);
    if (form.isEmpty() || !answerPin(pin))
        return {};
    return waitForListing(listings) ? form : QString();
}

bool SigningUser::chooseCertificate(const QString &pin)
{
    const QString clicked = QStringLiteral("Certificate was clicked");
    const int clicksBefore = logCount(clicked);
    const QString form = openCertForm(pin);
    if (form.isEmpty())
        return false;
    if (m_hands == Hands::PointerAndKeys) {
        DesktopDriver::doubleClick(
            form, SigningWindows::certFormTreeRow(1, DesktopDriver::windowSize(form)));
    } else {
        // The focus is on the token's row, or on the certificate when it is
        // the only one; Down reaches the first certificate either way, which
        // is taken as a click takes it before Return chooses it.
        if (!hasKeyboard(form))
            return false;
        DesktopDriver::key(form, QStringLiteral("Down"));
        if (!m_page.serveUntil([&]() { return logCount(clicked) > clicksBefore; }))
            return false;
        DesktopDriver::key(form, QStringLiteral("Return"));
    }
    return m_page.serveUntil([&]() { return m_page.saveCount() == 1; });
}

void SigningUser::clickCertForm(const QString &form, const char *objectName)
{
    DesktopDriver::click(form, SigningWindows::certFormControl(objectName, DesktopDriver::windowSize(form)));
}

void SigningUser::clickCertFormRow(const QString &form, int row)
{
    DesktopDriver::click(form, SigningWindows::certFormTreeRow(row, DesktopDriver::windowSize(form)));
}

bool SigningUser::waitForListing(int listingsBefore)
{
    return m_page.serveUntil([&]() { return logCount(listingDone) > listingsBefore; });
}

bool SigningUser::closeHost()
{
    const bool ended = m_page.host().closeInputAndWait();
    m_standardErrors += m_page.host().standardError();
    if (!ended || m_page.host().process().exitCode() != 0)
        qWarning() << "quillmark ended:" << ended << m_page.host().process().exitCode()
                   << m_page.host().standardError().right(2000);
    return ended && m_page.host().process().exitCode() == 0;
}

QByteArray SigningUser::standardErrors() const
{
    return m_standardErrors;
}
