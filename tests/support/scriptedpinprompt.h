#pragma once

#include "pinprompt.h"

#include <QMutex>
#include <QQueue>
#include <QStringList>

#include <atomic>

// The token layer's PIN prompt without a window, for the tests of that layer:
// answers from a script, in the order given, on whichever thread asks. A
// question with no answer left is answered as cancelled and counted as
// unexpected. The newest one alive is current() (one per test).
class ScriptedPinPrompt : public PinPrompt
{
public:
    ScriptedPinPrompt();
    ~ScriptedPinPrompt() override;

    ScriptedPinPrompt(const ScriptedPinPrompt &) = delete;
    ScriptedPinPrompt &operator=(const ScriptedPinPrompt &) = delete;

    // The newest prompt alive, or one without answers when none is.
    static ScriptedPinPrompt &current();

    // The next answers: a PIN typed (an empty one too), or a cancel.
    void typePin(const QString &pin);
    void cancel();
    // The next question is given up while it waits: the prompt is withdrawn
    // and the question gets no PIN.
    void withdrawWhileAsked();

    int questionsAsked() const;
    int unexpectedQuestions() const;
    // The texts of the refusals reported, in order.
    QStringList refusalsReported() const;

    QString askForPin(const Pkcs11SlotInfo &slotInfo, const Pkcs11TokenInfo &tokenInfo) override;
    void reportPinRefused(const QString &message) override;
    bool isWithdrawn() const override;
    void withdraw() override;

private:
    struct Unlisted
    {
    };
    // Never current(): the prompt for when no test has one.
    explicit ScriptedPinPrompt(Unlisted);

    enum class Action { TypePin, Cancel, Withdraw };
    struct Answer
    {
        Action action;
        QString pin;
    };

    mutable QMutex m_mutex;
    QQueue<Answer> m_answers;
    int m_asked = 0;
    int m_unexpected = 0;
    QStringList m_refusals;
    std::atomic_bool m_withdrawn{false};
    bool m_listed;
    ScriptedPinPrompt *m_previous;
};
