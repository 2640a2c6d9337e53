#pragma once

#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

// Answers, from the GUI thread, the PIN dialogs and message boxes that token
// code opens while a worker thread waits for them, the way a user would:
// typing into the PIN field and pressing the buttons. Answers are given in
// the order queued; a PIN dialog with no answer left is cancelled and counted
// as unexpected. Works in any event loop, also the dialogs' own.
class TokenDialogDriver : public QObject
{
    Q_OBJECT

public:
    TokenDialogDriver();

    void typePin(const QString &pin);
    void pressCancel();
    void pressEscape();
    // The next PIN dialog stays open; whenShown runs once it is on screen
    // (from the dialog's own event loop) and may close it from outside.
    void leaveOpen(const std::function<void()> &whenShown);

    int pinDialogsSeen() const;
    int unexpectedPinDialogs() const;
    // Texts of the message boxes closed so far, in order.
    QStringList messagesSeen() const;
    // The label text of the PIN dialogs seen so far.
    QStringList pinPromptsSeen() const;

private:
    enum class Action { TypePin, Cancel, Escape, LeaveOpen };
    struct Answer
    {
        Action action;
        QString pin;
        std::function<void()> whenShown;
    };

    void poll();
    void answerPinDialog(QWidget *dialog);
    void closeMessageBox(QWidget *box);

    QTimer m_timer;
    QPointer<QWidget> m_leftOpen;
    QQueue<Answer> m_answers;
    int m_pinDialogs = 0;
    int m_unexpected = 0;
    QStringList m_messages;
    QStringList m_prompts;
};
