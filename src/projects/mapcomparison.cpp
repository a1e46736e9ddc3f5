#include "projects/mapcomparison.h"

#include <QJsonArray>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

bool inside(const ByteRange &r, qint64 size)
{
    return r.isValid() && r.end < size;
}

bool rangeDiffers(const ByteRange &r, const uint8_t *ori, const uint8_t *mod)
{
    return std::memcmp(ori + r.start, mod + r.start, size_t(r.end - r.start + 1)) != 0;
}

void cover(std::vector<bool> &covered, const ByteRange &r, qint64 size)
{
    if (!inside(r, size))
        return;
    std::fill(covered.begin() + r.start, covered.begin() + r.end + 1, true);
}

} // namespace

bool MapComparison::isMapChanged(int mapIndex) const
{
    return std::any_of(changedMaps.cbegin(), changedMaps.cend(),
                       [mapIndex](const MapChange &c) { return c.mapIndex == mapIndex; });
}

MapComparison compareMaps(const QList<MapDefinition> &maps, const uint8_t *ori,
                          const uint8_t *mod, qint64 size)
{
    MapComparison result;
    if (size <= 0)
        return result;
    std::vector<bool> covered(size_t(size), false);
    for (qsizetype i = 0; i < maps.size(); ++i) {
        const MapDefinition &map = maps.at(i);
        const MapRanges ranges = mapRanges(map);
        // A map that cannot be read whole is no map of this image.
        if (!inside(ranges.data, size))
            continue;
        for (const ByteRange &r : {ranges.data, ranges.xAxis, ranges.yAxis, ranges.header})
            cover(covered, r, size);

        MapChange change;
        change.mapIndex = int(i);
        change.name = map.name;
        change.cells = qint64(map.rows) * map.columns;
        for (const ByteRange &axis : {ranges.xAxis, ranges.yAxis})
            change.axesChanged |= inside(axis, size) && rangeDiffers(axis, ori, mod);
        if (rangeDiffers(ranges.data, ori, mod)) {
            const auto before = readMapValues(map, ori, size);
            const auto after = readMapValues(map, mod, size);
            for (qsizetype k = 0; k < before.size() && k < after.size(); ++k) {
                if (before.at(k) == after.at(k))
                    continue;
                ++change.changedCells;
                const double a = rawToPhysical(before.at(k), map.factor, map.offset);
                const double b = rawToPhysical(after.at(k), map.factor, map.offset);
                const double delta = std::abs(b - a);
                change.maxAbsoluteChange = std::max(change.maxAbsoluteChange, delta);
                if (a != 0.0)
                    change.maxPercentChange
                        = std::max(change.maxPercentChange, delta * 100.0 / std::abs(a));
            }
        }
        if (change.changedCells > 0 || change.axesChanged)
            result.changedMaps.append(change);
    }

    // Changed bytes outside every map, in blocks of consecutive offsets. Most of an image is
    // unchanged: equal stretches are skipped eight bytes at a time.
    bool inBlock = false;
    qint64 i = 0;
    while (i < size) {
        if (i + 8 <= size && std::memcmp(ori + i, mod + i, 8) == 0) {
            inBlock = false;
            i += 8;
            continue;
        }
        const bool outside = ori[i] != mod[i] && !covered[size_t(i)];
        if (outside) {
            ++result.outsideBytes;
            if (!inBlock) {
                ++result.outsideBlocks;
                if (result.outsideRanges.size() < MapComparison::kMaxOutsideRanges)
                    result.outsideRanges.append({i, i});
            } else if (result.outsideBlocks <= MapComparison::kMaxOutsideRanges) {
                result.outsideRanges.last().end = i;
            }
        }
        inBlock = outside;
        ++i;
    }
    return result;
}

QJsonObject mapComparisonJson(const MapComparison &c)
{
    QJsonArray maps;
    for (const MapChange &m : c.changedMaps)
        maps.append(QJsonObject{{QStringLiteral("name"), m.name},
                                {QStringLiteral("changedCells"), m.changedCells},
                                {QStringLiteral("cells"), m.cells},
                                {QStringLiteral("maxAbsoluteChange"), m.maxAbsoluteChange},
                                {QStringLiteral("maxPercentChange"), m.maxPercentChange},
                                {QStringLiteral("axesChanged"), m.axesChanged}});
    QJsonArray ranges;
    for (const ByteRange &r : c.outsideRanges)
        ranges.append(QJsonObject{{QStringLiteral("start"), r.start}, {QStringLiteral("end"), r.end}});
    return {{QStringLiteral("maps"), maps},
            {QStringLiteral("outsideMaps"),
             QJsonObject{{QStringLiteral("bytes"), c.outsideBytes},
                         {QStringLiteral("blocks"), c.outsideBlocks},
                         {QStringLiteral("ranges"), ranges}}}};
}

QString mapChangeText(const MapChange &m, int decimals)
{
    const QLocale italian(QLocale::Italian);
    QString text = QStringLiteral("%1 celle su %2, max %3 (%4%)")
                       .arg(m.changedCells)
                       .arg(m.cells)
                       .arg(italian.toString(m.maxAbsoluteChange, 'f', qBound(0, decimals, 6)),
                            italian.toString(m.maxPercentChange, 'f', 1));
    if (m.axesChanged)
        text += QStringLiteral(", assi modificati");
    return text;
}

QString mapComparisonText(const MapComparison &c, const QList<MapDefinition> &maps, int maxLines)
{
    QString text = QStringLiteral("Mappe modificate: %1").arg(c.changedMaps.size());
    int shown = 0;
    for (const MapChange &m : c.changedMaps) {
        if (shown++ == maxLines) {
            text += QStringLiteral("\n  … e altre %1").arg(c.changedMaps.size() - maxLines);
            break;
        }
        const int decimals = m.mapIndex >= 0 && m.mapIndex < maps.size()
                                 ? qBound(0, maps.at(m.mapIndex).decimals, 6)
                                 : 2;
        text += QStringLiteral("\n  %1: %2").arg(m.name, mapChangeText(m, decimals));
    }
    text += QStringLiteral("\nByte modificati fuori dalle mappe: %1 in %2 blocchi")
                .arg(c.outsideBytes)
                .arg(c.outsideBlocks);
    for (int k = 0; k < c.outsideRanges.size() && k < 10; ++k)
        text += QStringLiteral("\n  0x%1–0x%2")
                    .arg(c.outsideRanges.at(k).start, 0, 16)
                    .arg(c.outsideRanges.at(k).end, 0, 16)
                    .toUpper()
                    .replace(QLatin1String("0X"), QLatin1String("0x"));
    return text;
}
