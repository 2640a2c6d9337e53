#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <mutex>
#include <string>

// What the demo server remembers per browser, found again by a cookie: the
// signing configuration that quillmark asks the page to keep, and the state
// of the browser's current workflow.
class BrowserSessions
{
public:
    static const QByteArray cookieName;

    struct State
    {
        // Base64 configuration text, stored and returned unchanged.
        QString configuration;
        // Fixed by each document-information answer.
        QString sessionId;
        // Certificate that came with the sign-init request.
        QByteArray signerPem;
        // Set once a sign-finish signature has been verified.
        QByteArray verifiedSignature;
    };

    // The browser named by the Cookie header, or a new one (isNew true).
    QString identify(const std::string &cookieHeader, bool *isNew);

    template <typename Function>
    auto with(const QString &browser, Function function)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return function(m_states[browser]);
    }

private:
    std::mutex m_mutex;
    QHash<QString, State> m_states;
};
