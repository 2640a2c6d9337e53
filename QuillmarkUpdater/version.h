#pragma once

#include <QList>
#include <QString>

// A release number as an ordered list of integers. Parsing never fails: a
// part that is not a decimal number counts as 0, so "1..3" is [1, 0, 3].
class Version
{
public:
    Version() = default;
    explicit Version(const QString &text);

    // The first count components joined with "."; missing positions are
    // written as "0". A count of -1 writes every component.
    QString toString(int count = -1) const;
    QList<int> components() const;

    // Lexicographic; a list that is a prefix of the other is the smaller, so
    // [1, 2] < [1, 2, 0].
    bool operator<(const Version &other) const;

private:
    QList<int> m_components;
};
