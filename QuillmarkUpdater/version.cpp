#include "version.h"

#include <QStringList>

#include <algorithm>

Version::Version(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('.'), Qt::KeepEmptyParts);
    for (const QString &part : parts) {
        bool isNumber = false;
        const int value = part.toInt(&isNumber, 10);
        m_components.append(isNumber ? value : 0);
    }
}

QString Version::toString(int count) const
{
    const int written = count < 0 ? m_components.size() : count;
    QStringList parts;
    for (int position = 0; position < written; ++position)
        parts.append(QString::number(m_components.value(position, 0)));
    return parts.join(QLatin1Char('.'));
}

QList<int> Version::components() const
{
    return m_components;
}

bool Version::operator<(const Version &other) const
{
    return std::lexicographical_compare(m_components.cbegin(), m_components.cend(),
                                        other.m_components.cbegin(), other.m_components.cend());
}
