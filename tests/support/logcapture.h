#pragma once

#include <QMutex>
#include <QStringList>
#include <QtGlobal>

// Collects every message logged in the process, from any thread, while it
// lives; warnings and worse still reach the test output. One at a time.
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();

    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList messages() const;
    QStringList messagesStartingWith(const QString &prefix) const;
    // How many messages contain text.
    int count(const QString &text) const;
    bool contains(const QString &text) const;
    void clear();

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message);

    mutable QMutex m_mutex;
    QStringList m_messages;
    QtMessageHandler m_previous;
};
