#include "movemodel.h"

#include "recognition/patternindex.h"

#include <QHash>

#include <algorithm>
#include <map>

namespace {

// Addresses and deltas come from a file: a sum is only taken when both are of a size an image
// can have, which keeps it far inside qint64.
constexpr qint64 farAway = qint64(1) << 40;

bool sane(qint64 value)
{
    return value > -farAway && value < farAway;
}

// Filler (a run of one or two byte values) occurs anywhere and proves nothing.
bool distinctive(const QByteArray &pattern)
{
    if (pattern.size() < MoveModel::MinimumPatternLength)
        return false;
    bool seen[256] = {};
    int distinct = 0;
    for (char c : pattern) {
        if (!seen[uchar(c)]) {
            seen[uchar(c)] = true;
            if (++distinct >= 3)
                return true;
        }
    }
    return false;
}

struct Named
{
    QByteArray pattern;
    qint64 reference;
    int owner;
    bool data; // the map's own values, not bytes around them
};

qint64 zBytesOf(const DriverMap &map)
{
    if (map.rows < 1 || map.columns < 1 || map.zElementSize < 1 || map.rows > 65536
        || map.columns > 65536 || map.zElementSize > 8)
        return -1;
    return qint64(map.rows) * map.columns * map.zElementSize;
}

} // namespace

MoveModel::MoveModel(const QByteArray &image, const Driver &driver, const PatternIndex &patterns)
{
    std::vector<Named> named;
    for (int i = 0; i < driver.maps.size(); ++i) {
        const DriverMap &map = driver.maps.at(i);
        const qint64 z = map.zAddress;
        if (!sane(z) || z < 0)
            continue;
        const auto add = [&](const QByteArray &pattern, qint64 reference, bool data = false) {
            if (distinctive(pattern) && sane(reference) && reference >= 0)
                named.push_back({pattern, reference, i, data});
        };
        for (const DriverAnchor &anchor : map.anchors)
            if (sane(anchor.delta))
                add(anchor.pattern, z - anchor.delta);
        if (map.useXAnchor && sane(map.xAnchorDelta))
            add(map.xAnchorSignature, z - map.xAnchorDelta);
        if (map.useYAnchor && sane(map.yAnchorDelta))
            add(map.yAnchorSignature, z - map.yAnchorDelta);
        add(map.zSignature, z, true);
        const qint64 zBytes = zBytesOf(map);
        if (zBytes >= map.zTailSignature.size() && map.zTailSignature.size() < zBytes)
            add(map.zTailSignature, z + zBytes - map.zTailSignature.size(), true);
        if (map.hasXAxis)
            add(map.xAxisSignature, map.xAddress);
        if (map.hasYAxis)
            add(map.yAxisSignature, map.yAddress);
    }

    // A pattern named at two places of the reference cannot say which of them moved where.
    QHash<QByteArray, qint64> placeOf;
    QHash<QByteArray, bool> ambiguous;
    for (const Named &n : named) {
        const auto known = placeOf.constFind(n.pattern);
        if (known == placeOf.cend())
            placeOf.insert(n.pattern, n.reference);
        else if (*known != n.reference)
            ambiguous.insert(n.pattern, true);
    }
    std::vector<bool> hasPatterns(size_t(driver.maps.size()), false);
    struct Span
    {
        qint64 reference, length;
        int owner;
        bool data;
    };
    std::map<qint64, std::vector<Span>> byMove; // reference spans per move, for the agreement
    std::vector<bool> dataEvidence;
    for (const Named &n : named) {
        hasPatterns[size_t(n.owner)] = true;
        if (ambiguous.contains(n.pattern))
            continue;
        const QList<qint64> hits = patterns.hits(n.pattern, 2);
        if (hits.size() != 1)
            continue;
        m_evidence.push_back({n.reference, hits.first() - n.reference, n.owner, false});
        dataEvidence.push_back(n.data);
        byMove[hits.first() - n.reference].push_back(
            {n.reference, n.pattern.size(), n.owner, n.data});
    }
    for (auto &[move, spans] : byMove)
        std::sort(spans.begin(), spans.end(),
                  [](const Span &a, const Span &b) { return a.reference < b.reference; });

    // Agreement: another stretch of bytes, not overlapping this one, moved by as much nearby.
    // The start and the end of one map's values do not confirm each other: values that repeat
    // with a period shift both alike.
    std::vector<bool> anchored(size_t(driver.maps.size()), false);
    for (size_t k = 0; k < m_evidence.size(); ++k) {
        Evidence &e = m_evidence[k];
        const std::vector<Span> &spans = byMove[e.move];
        auto it = std::lower_bound(spans.begin(), spans.end(), e.reference - RegionReach,
                                   [](const Span &s, qint64 value) { return s.reference < value; });
        qint64 ownLength = 0;
        for (auto own = it; own != spans.end() && own->reference <= e.reference; ++own)
            if (own->reference == e.reference)
                ownLength = std::max(ownLength, own->length);
        for (; it != spans.end() && it->reference <= e.reference + RegionReach; ++it) {
            const bool apart = it->reference >= e.reference + ownLength
                               || it->reference + it->length <= e.reference;
            const bool sameValues = it->owner == e.owner && it->data && dataEvidence[k];
            if (apart && !sameValues) {
                e.consistent = true;
                break;
            }
        }
        if (e.consistent) {
            anchored[size_t(e.owner)] = true;
            m_consistent.push_back(e);
        }
    }
    std::sort(m_consistent.begin(), m_consistent.end(),
              [](const Evidence &a, const Evidence &b) { return a.reference < b.reference; });
    m_consistent.erase(std::unique(m_consistent.begin(), m_consistent.end(),
                                   [](const Evidence &a, const Evidence &b) {
                                       return a.reference == b.reference && a.move == b.move;
                                   }),
                       m_consistent.end());
    m_mapsWithPatterns = int(std::count(hasPatterns.begin(), hasPatterns.end(), true));
    m_anchoredMaps = int(std::count(anchored.begin(), anchored.end(), true));
}

QList<MoveModel::Move> MoveModel::movesNear(qint64 reference, bool *settled) const
{
    // The two nearest on each side: the region the address lies in is bounded by them, and a
    // boundary between two moves shows as a disagreement between the sides.
    constexpr int PerSide = 2;
    QList<Move> moves;
    const auto note = [&](const Evidence &e) {
        const qint64 distance = std::abs(e.reference - reference);
        for (Move &m : moves) {
            if (m.move == e.move) {
                ++m.support;
                m.distance = std::min(m.distance, distance);
                return;
            }
        }
        moves.append({e.move, 1, distance});
    };
    const auto at
        = std::lower_bound(m_consistent.begin(), m_consistent.end(), reference,
                           [](const Evidence &e, qint64 value) { return e.reference < value; });
    auto after = at;
    for (int k = 0; k < PerSide && after != m_consistent.end(); ++k, ++after)
        note(*after);
    auto before = at;
    for (int k = 0; k < PerSide && before != m_consistent.begin(); ++k)
        note(*--before);
    if (settled)
        *settled = at != m_consistent.begin() && at != m_consistent.end() && moves.size() == 1;
    std::stable_sort(moves.begin(), moves.end(), [](const Move &a, const Move &b) {
        return a.distance != b.distance ? a.distance < b.distance : a.support > b.support;
    });
    return moves;
}

QList<MoveModel::Evidence> MoveModel::evidenceOf(int mapIndex) const
{
    const auto [from, to]
        = std::equal_range(m_evidence.begin(), m_evidence.end(), Evidence{-1, 0, mapIndex, false},
                           [](const Evidence &a, const Evidence &b) { return a.owner < b.owner; });
    return QList<Evidence>(from, to);
}

bool MoveModel::looksForeign() const
{
    // Below a handful of maps there is too little to judge an image by. In another version or
    // calibration of the family nearly every map has a confirmed move (95 to 100 % seen); in an
    // image of another family only what shared library code offers (0 to 17 % seen): half
    // lies well between them.
    constexpr int MinimumMaps = 8;
    return m_mapsWithPatterns >= MinimumMaps && m_anchoredMaps * 2 < m_mapsWithPatterns;
}
