#include "browsersessions.h"

#include <QList>
#include <QUuid>

const QByteArray BrowserSessions::cookieName = QByteArrayLiteral("quillmark_demo");

namespace {

QString cookieValue(const std::string &header)
{
    const QList<QByteArray> cookies = QByteArray::fromStdString(header).split(';');
    for (const QByteArray &cookie : cookies) {
        const QByteArray trimmed = cookie.trimmed();
        if (trimmed.startsWith(BrowserSessions::cookieName + '='))
            return QString::fromLatin1(trimmed.mid(BrowserSessions::cookieName.size() + 1));
    }
    return {};
}

} // namespace

QString BrowserSessions::identify(const std::string &cookieHeader, bool *isNew)
{
    const QString known = cookieValue(cookieHeader);
    std::lock_guard<std::mutex> lock(m_mutex);
    // Only ids this server handed out count; anything else starts afresh.
    *isNew = known.isEmpty() || !m_states.contains(known);
    if (!*isNew)
        return known;
    const QString browser = QUuid::createUuid().toString(QUuid::WithoutBraces);
    m_states.insert(browser, State());
    return browser;
}
