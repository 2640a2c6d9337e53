#pragma once

#include <QImage>
#include <QList>
#include <QMap>

#include <optional>

// Decoded page images of one document, bounded by their total size in KiB and
// evicting the least recently used page first. Images are handed out as
// implicitly shared copies, so a page that is being cut out on a pool thread
// stays alive even when the cache drops it meanwhile.
class PageCache
{
public:
    // A larger capacity asked for (the page may ask for up to 2 TiB) is cut
    // to this, 1 GiB: room for two pages of the largest size a page image may
    // have, and still well inside a desktop's memory.
    static constexpr int maxCapacity = 1024 * 1024;

    explicit PageCache(int maxCost);
    ~PageCache();

    PageCache(const PageCache &) = delete;
    PageCache &operator=(const PageCache &) = delete;

    void insert(int page, const QImage &image);
    // Marks the page as the most recently used one.
    std::optional<QImage> object(int page);
    bool contains(int page) const;
    bool isEmpty() const;
    void clear();
    void evictOldest();

    qint64 totalCost() const;
    int maxCost() const;
    // Size of an image in KiB, truncated.
    static qint64 costOf(const QImage &image);

private:
    QMap<int, QImage> m_entries;
    QList<int> m_usage;
    qint64 m_totalCost = 0;
    const int m_maxCost;
};
