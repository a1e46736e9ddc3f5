#include "patternindex.h"

#include "recognition/mapvalidation.h"

#include <QSet>

#include <cstring>
#include <unordered_map>
#include <vector>

namespace {

constexpr int prefixLength = 4;
constexpr int filterBits = 20;

quint32 prefixAt(const char *p)
{
    quint32 value;
    std::memcpy(&value, p, prefixLength);
    return value;
}

quint32 filterSlot(quint32 prefix)
{
    return (prefix * 2654435761u) >> (32 - filterBits);
}

} // namespace

PatternIndex::PatternIndex(const QByteArray &image, const QList<QByteArray> &patterns, int maxHits)
    : m_image(image)
    , m_maxHits(maxHits)
{
    if (maxHits < 1)
        return;
    // Patterns by their first bytes; a bit filter turns most positions away before the map.
    std::vector<QByteArray> indexed;
    std::unordered_map<quint32, std::vector<int>> byPrefix;
    std::vector<bool> filter(size_t(1) << filterBits, false);
    QSet<QByteArray> seen;
    for (const QByteArray &pattern : patterns) {
        if (pattern.isEmpty() || seen.contains(pattern))
            continue;
        seen.insert(pattern);
        if (pattern.size() < prefixLength) {
            m_hits.insert(pattern, findAll(image, pattern, maxHits));
            continue;
        }
        const quint32 prefix = prefixAt(pattern.constData());
        byPrefix[prefix].push_back(int(indexed.size()));
        filter[filterSlot(prefix)] = true;
        indexed.push_back(pattern);
        m_hits.insert(pattern, {});
    }
    if (indexed.empty())
        return;

    std::vector<QList<qint64> *> lists;
    lists.reserve(indexed.size());
    for (const QByteArray &pattern : indexed)
        lists.push_back(&m_hits[pattern]);
    const char *data = image.constData();
    const qint64 size = image.size();
    for (qint64 i = 0; i + prefixLength <= size; ++i) {
        const quint32 prefix = prefixAt(data + i);
        if (!filter[filterSlot(prefix)])
            continue;
        const auto entry = byPrefix.find(prefix);
        if (entry == byPrefix.end())
            continue;
        for (int id : entry->second) {
            QList<qint64> &list = *lists[size_t(id)];
            const QByteArray &pattern = indexed[size_t(id)];
            if (list.size() < maxHits && pattern.size() <= size - i
                && std::memcmp(data + i, pattern.constData(), size_t(pattern.size())) == 0)
                list.append(i);
        }
    }
}

QList<qint64> PatternIndex::hits(const QByteArray &pattern, int maxHits) const
{
    const auto known = m_hits.constFind(pattern);
    if (known == m_hits.cend() || maxHits > m_maxHits)
        return findAll(m_image, pattern, maxHits);
    return known->mid(0, std::max(0, maxHits));
}
