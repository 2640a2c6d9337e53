#include "textexcerpt.h"

QString TextExcerpt::of(const QString &text, int limit)
{
    if (text.size() <= limit)
        return text;
    // A character outside the BMP is not split in half.
    const int kept = text.at(limit - 1).isHighSurrogate() ? limit - 1 : limit;
    return text.left(kept) + QStringLiteral(" \u2026 (%1 characters)").arg(text.size());
}

QJsonValue TextExcerpt::of(const QJsonValue &value, int limit)
{
    return value.isString() ? QJsonValue(of(value.toString(), limit)) : value;
}
