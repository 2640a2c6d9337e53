#pragma once

#include <QByteArray>
#include <QString>

class TestHome;
class TestSigningPage;

// A user at the real quillmark's signing windows on the desktop: clicks,
// keys and typed PINs from outside, while the page is served meanwhile.
// Windows are recognised by title, progress by the lines of the diagnostic
// log, which the home's log file must have switched on.
class SigningUser
{
public:
    enum class Hands {
        // The pointer for buttons and rows, the keyboard for PINs and boxes.
        PointerAndKeys,
        // Tab, arrows, Return, space and mnemonics alone. Where a window
        // manager hands out the keyboard, each window must have it when it
        // appears: the user types into no window without it.
        KeyboardOnly,
    };

    static const QString mainWindowTitle;
    static const QString certFormTitle;
    static const QString pinFormTitle;
    static const QString messageBoxTitle;

    SigningUser(TestSigningPage &page, const TestHome &home, Hands hands = Hands::PointerAndKeys);

    static QString logOf(const TestHome &home);
    QString log() const;
    int logCount(const QString &line) const;
    QString mainWindow() const;

    // Starts quillmark for the page and waits for page 1 in the document window.
    bool openSigningWindow(const QString &stores);
    // Starts quillmark for a page whose document information is refused:
    // Return on the error box, Escape on the close question; true once the
    // document window stays open without a document.
    bool openRefusedSigningWindow(const QString &stores);
    void clickMain(const char *objectName);
    // Presses Sign until the page hears of it: the tool strips come back a
    // moment after the box of a failed attempt has gone, as a user notices.
    bool pressSign();
    // Waits for the PIN dialog and types the PIN with Return, or presses
    // Escape for an empty one.
    bool answerPin(const QString &typed);
    // Waits for a message box with this text and closes it with Return.
    bool closeMessageBox(const QString &text);
    // Opens the certificate window and answers the listing's PIN dialog;
    // returns the window once the tree is filled.
    QString openCertForm(const QString &pin);
    // Chooses the first certificate of the first token with a double click
    // (or Down and Return); true once the page has stored the configuration.
    bool chooseCertificate(const QString &pin);
    void clickCertForm(const QString &form, const char *objectName);
    // Clicks a row of the certificate tree: 0 the token, then its certificates.
    void clickCertFormRow(const QString &form, int row);
    // Waits for the next listing to fill the tree.
    bool waitForListing(int listingsBefore);
    // Closes standard input and expects a clean exit; keeps standard error.
    bool closeHost();
    QByteArray standardErrors() const;

private:
    // Clicks a control of the document window or presses its keys.
    void pressMain(const char *objectName);
    bool hasKeyboard(const QString &window);

    TestSigningPage &m_page;
    const TestHome &m_home;
    const Hands m_hands;
    QString m_mainWindow;
    QByteArray m_standardErrors;
};
