#include "trustedsignercache.h"

#include <QMutexLocker>

TrustedSignerCache &TrustedSignerCache::instance()
{
    static TrustedSignerCache cache;
    return cache;
}

std::optional<TrustedSignerCache::Entry> TrustedSignerCache::find(const QByteArray &der) const
{
    QMutexLocker lock(&m_mutex);
    if (m_entry && !der.isEmpty() && m_entry->der == der)
        return m_entry;
    return std::nullopt;
}

std::optional<TrustedSignerCache::Entry>
TrustedSignerCache::find(const X509Certificate2Ultra &certificate) const
{
    QMutexLocker lock(&m_mutex);
    if (m_entry && !certificate.isNull() && m_entry->certificate == certificate)
        return m_entry;
    return std::nullopt;
}

void TrustedSignerCache::remember(const Entry &entry)
{
    QMutexLocker lock(&m_mutex);
    m_entry = entry;
}
