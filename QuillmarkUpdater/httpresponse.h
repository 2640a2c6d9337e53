#pragma once

#include "version.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

// The server's version document: the offered version, the website that
// describes it and, from the release tooling, when the document stops being
// valid ("expires", ISO 8601 in UTC, e.g. 2027-01-31T12:00:00Z). The expiry
// bounds how long a replayed old document can hide a newer release.
class HttpResponse
{
public:
    bool deserializeXml(const QByteArray &document);

    Version version() const;
    QString url() const;
    // True when the document's expiry has passed at now, or cannot be read;
    // a document without one is still accepted (logged).
    bool hasExpired(const QDateTime &now) const;

private:
    Version m_version = Version(QStringLiteral("0.0.0"));
    QString m_url;
    QString m_expires;
};
