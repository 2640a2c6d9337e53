#pragma once

#include <QByteArray>
#include <QDateTime>

// The expiry that the release tooling writes into the version document
// before signing it: an "expires" element, ISO 8601 in UTC
// (2027-01-31T12:00:00Z), inside the "Quillmark" element. Updaters refuse a
// document whose expiry has passed, so a replayed old one hides a newer
// release only until then; older updaters skip the element.
class VersionDocumentExpiry
{
public:
    static constexpr int defaultValidDays = 30;

    // True for an XML document whose root element is "Quillmark".
    static bool isVersionDocument(const QByteArray &document);
    // document with its expiry set to expires (an earlier one replaced).
    static QByteArray stamped(const QByteArray &document, const QDateTime &expires);
};
