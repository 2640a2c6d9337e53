#pragma once

#include <QJsonValue>
#include <QString>

// The head of a text that a page or server supplied, for a log line or an
// answer that names it: such a text may be megabytes long, while a log line
// must stay readable and a browser drops the channel on a message over 1 MiB.
class TextExcerpt
{
public:
    // Characters kept of a longer text where it is named (log lines, error
    // messages).
    static constexpr int maxLength = 4096;
    // Characters kept of an answer's error text, which may already name a cut
    // text. Even if every character needed JSON's six-byte escape, the
    // answer stays far below the browser's limit.
    static constexpr int maxAnswerLength = 64 * 1024;

    // The text itself when it is short enough, else its first `limit`
    // characters followed by " … (N characters)" with its full length.
    static QString of(const QString &text, int limit = maxLength);
    // Strings are cut as above; any other value is returned unchanged.
    static QJsonValue of(const QJsonValue &value, int limit = maxLength);
};
