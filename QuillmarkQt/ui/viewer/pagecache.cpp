#include "pagecache.h"

PageCache::PageCache(int maxCost)
    : m_maxCost(qMin(maxCost, maxCapacity))
{
}

PageCache::~PageCache()
{
    clear();
}

qint64 PageCache::costOf(const QImage &image)
{
    // 64-bit: a large page at 32 bits per pixel overflows int long before
    // the division.
    return qint64(image.width()) * image.height() * image.depth() / 8192;
}

void PageCache::insert(int page, const QImage &image)
{
    if (m_entries.contains(page))
        return;
    // The newcomer's own cost is not counted here, so the cache may exceed
    // its capacity by one image rather than refuse a page the user is looking at.
    while (m_totalCost > m_maxCost && !isEmpty())
        evictOldest();
    m_entries.insert(page, image);
    m_usage.append(page);
    m_totalCost += costOf(image);
}

std::optional<QImage> PageCache::object(int page)
{
    const auto found = m_entries.constFind(page);
    if (found == m_entries.constEnd())
        return std::nullopt;
    m_usage.removeOne(page);
    m_usage.append(page);
    return found.value();
}

bool PageCache::contains(int page) const
{
    return m_entries.contains(page);
}

bool PageCache::isEmpty() const
{
    return m_entries.isEmpty();
}

void PageCache::clear()
{
    while (!isEmpty())
        evictOldest();
}

void PageCache::evictOldest()
{
    if (m_usage.isEmpty())
        return;
    const int page = m_usage.takeFirst();
    m_totalCost -= costOf(m_entries.value(page));
    m_entries.remove(page);
}

qint64 PageCache::totalCost() const
{
    return m_totalCost;
}

int PageCache::maxCost() const
{
    return m_maxCost;
}
