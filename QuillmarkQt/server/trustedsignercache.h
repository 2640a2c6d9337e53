#pragma once

#include "x509certificate2ultra.h"

#include <QByteArray>
#include <QMutex>
#include <QStringList>

#include <optional>

// The last server certificate that the trust table accepted, with the log
// lines of the table entries that refused it before one accepted it.
// Whether a certificate is trusted depends on its bytes alone (validity
// dates play no part), and one server signs every answer of a session; so
// every answer after the first skips parsing the certificate again and
// checking it against the CAs, which costs several times the CMS check.
// Shared by the GUI thread and the pool thread of the signing task.
class TrustedSignerCache
{
public:
    struct Entry
    {
        QByteArray der;
        X509Certificate2Ultra certificate;
        QStringList refusals;
    };

    static TrustedSignerCache &instance();

    // By the certificate's DER bytes, as the CMS carries it.
    std::optional<Entry> find(const QByteArray &der) const;
    // By a certificate value: instant for a copy of the remembered one.
    std::optional<Entry> find(const X509Certificate2Ultra &certificate) const;
    void remember(const Entry &entry);

private:
    TrustedSignerCache() = default;

    mutable QMutex m_mutex;
    std::optional<Entry> m_entry;
};
