#include "scriptedpinprompt.h"

#include <QMutexLocker>

namespace {
std::atomic<ScriptedPinPrompt *> newest{nullptr};
}

ScriptedPinPrompt::ScriptedPinPrompt() : m_listed(true), m_previous(newest.exchange(this))
{
}

ScriptedPinPrompt::ScriptedPinPrompt(Unlisted) : m_listed(false), m_previous(nullptr)
{
}

ScriptedPinPrompt::~ScriptedPinPrompt()
{
    if (m_listed)
        newest = m_previous;
}

ScriptedPinPrompt &ScriptedPinPrompt::current()
{
    if (ScriptedPinPrompt *prompt = newest.load())
        return *prompt;
    static ScriptedPinPrompt withoutAnswers{Unlisted()};
    return withoutAnswers;
}

void ScriptedPinPrompt::typePin(const QString &pin)
{
    QMutexLocker locker(&m_mutex);
    // What an empty PIN field gives: an empty text, not a missing one.
    m_answers.enqueue({Action::TypePin, pin.isNull() ? QStringLiteral("") : pin});
}

void ScriptedPinPrompt::cancel()
{
    QMutexLocker locker(&m_mutex);
    m_answers.enqueue({Action::Cancel, QString()});
}

void ScriptedPinPrompt::withdrawWhileAsked()
{
    QMutexLocker locker(&m_mutex);
    m_answers.enqueue({Action::Withdraw, QString()});
}

int ScriptedPinPrompt::questionsAsked() const
{
    QMutexLocker locker(&m_mutex);
    return m_asked;
}

int ScriptedPinPrompt::unexpectedQuestions() const
{
    QMutexLocker locker(&m_mutex);
    return m_unexpected;
}

QStringList ScriptedPinPrompt::refusalsReported() const
{
    QMutexLocker locker(&m_mutex);
    return m_refusals;
}

QString ScriptedPinPrompt::askForPin(const Pkcs11SlotInfo &, const Pkcs11TokenInfo &)
{
    if (isWithdrawn())
        return QString();
    QMutexLocker locker(&m_mutex);
    ++m_asked;
    if (m_answers.isEmpty()) {
        ++m_unexpected;
        return QString();
    }
    const Answer answer = m_answers.dequeue();
    if (answer.action == Action::Withdraw)
        m_withdrawn = true;
    return answer.pin;
}

void ScriptedPinPrompt::reportPinRefused(const QString &message)
{
    if (isWithdrawn())
        return;
    QMutexLocker locker(&m_mutex);
    m_refusals.append(message);
}

bool ScriptedPinPrompt::isWithdrawn() const
{
    return m_withdrawn;
}

void ScriptedPinPrompt::withdraw()
{
    m_withdrawn = true;
}
