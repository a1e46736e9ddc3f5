#include "driverbuilder.h"

#include "mapvalidation.h"
#include "model/fingerprint.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace {

// Long enough to be unique in an image of megabytes, short enough to stay clear of the maps.
constexpr int SignatureLength = 16;
constexpr int AnchorLength = 16;
// How far from a map its anchors may lie: the code and structure right around a table tend to
// move with it from one software version to the next, bytes far off much less.
constexpr qint64 AnchorReach = 1024;
// Anchors per side: the confidence counts up to four anchor votes.
constexpr int AnchorsPerSide = 2;
// Axis signatures are whole axes up to this many bytes (their points rarely change).
constexpr int AxisSignatureLimit = 64;

struct Layout
{
    qint64 z = -1;
    int rows = 0;
    int columns = 0;
    int zSize = 2;
    bool littleEndian = true;
    // Axis with `columns` points (X) and with `rows` points (Y) of the row-by-row view.
    qint64 x = -1, y = -1;
    int xSize = 2, ySize = 2;
    int zKind = ValueUnsigned, xKind = ValueUnsigned, yKind = ValueUnsigned;
    double zFactor = 1, zOffset = 0, xFactor = 1, xOffset = 0, yFactor = 1, yOffset = 0;
};

bool storedAxis(int source, int offset, int elementSize)
{
    return source == 1 && offset >= 0 && (elementSize == 1 || elementSize == 2 || elementSize == 4);
}

// The driver sees every map stored row by row. A column-major table is the row-major table of
// its transpose, so its rows and columns, and with them its X and Y axes, trade places.
Layout layoutOf(const MapDefinition &map)
{
    Layout l;
    l.z = map.mapOffset;
    l.zSize = map.zElementSize;
    // A 16-bit element's byte order is in its code, a 32-bit one's in the flag.
    l.littleEndian = map.zElementSize == 4 ? map.littleEndian
                                           : map.zElementSize != 2
                                                 || map.dataType != Organisation16BitHiLo;
    const auto kindOfSize = [](int size, int kind) {
        return effectiveValueKind(size == 4 ? Organisation32Bit : Organisation8Bit, kind);
    };
    l.zKind = kindOfSize(map.zElementSize, map.zValueKind);
    const bool hasX = storedAxis(map.xAxisSource, map.xAxisOffset, map.xElementSize);
    const bool hasY = storedAxis(map.yAxisSource, map.yAxisOffset, map.yElementSize);
    l.rows = map.rows;
    l.columns = map.columns;
    l.x = hasX ? map.xAxisOffset : -1;
    l.y = hasY ? map.yAxisOffset : -1;
    l.xSize = map.xElementSize;
    l.ySize = map.yElementSize;
    l.xKind = hasX ? kindOfSize(map.xElementSize, map.xValueKind) : ValueUnsigned;
    l.yKind = hasY ? kindOfSize(map.yElementSize, map.yValueKind) : ValueUnsigned;
    l.xFactor = map.xFactor;
    l.xOffset = map.xOffsetFactor;
    l.yFactor = map.yFactor;
    l.yOffset = map.yOffsetFactor;
    if (map.zColumnMajor) {
        std::swap(l.rows, l.columns);
        std::swap(l.x, l.y);
        std::swap(l.xSize, l.ySize);
        std::swap(l.xKind, l.yKind);
        std::swap(l.xFactor, l.yFactor);
        std::swap(l.xOffset, l.yOffset);
    }
    l.zFactor = map.factor;
    l.zOffset = map.offset;
    return l;
}

bool fits(const QByteArray &image, qint64 address, qint64 length)
{
    return address >= 0 && length >= 0 && address <= image.size()
           && length <= image.size() - address;
}

QList<double> axisValues(
    const QByteArray &image, qint64 address, int count, int size, bool littleEndian, int kind)
{
    QList<double> values;
    for (int i = 0; i < count; ++i)
        values.append(readTypedValue(image, address + qint64(i) * size, size, littleEndian, kind));
    return values;
}

// Byte ranges that maps cover, merged and in order, so that a window is checked against them
// by one binary search however many maps there are.
class CoveredBytes
{
public:
    explicit CoveredBytes(const QList<MapDefinition> &maps)
    {
        for (const MapDefinition &map : maps) {
            const MapRanges r = mapRanges(map);
            for (const ByteRange &range : {r.data, r.xAxis, r.yAxis, r.header})
                if (range.isValid())
                    m_ranges.append(range);
        }
        std::sort(m_ranges.begin(), m_ranges.end(),
                  [](const ByteRange &a, const ByteRange &b) { return a.start < b.start; });
        QList<ByteRange> merged;
        for (const ByteRange &range : std::as_const(m_ranges)) {
            if (!merged.isEmpty() && range.start <= merged.last().end + 1)
                merged.last().end = std::max(merged.last().end, range.end);
            else
                merged.append(range);
        }
        m_ranges = merged;
    }
    bool isFree(qint64 start, qint64 end) const
    {
        // The first range ending at or after start is the only one that can overlap.
        const auto it = std::lower_bound(
            m_ranges.cbegin(), m_ranges.cend(), start,
            [](const ByteRange &range, qint64 value) { return range.end < value; });
        return it == m_ranges.cend() || it->start > end;
    }

private:
    QList<ByteRange> m_ranges;
};

// Candidate anchor windows of one map, nearest first on each side.
struct AnchorCandidates
{
    qint64 z = -1;
    QList<qint64> before;
    QList<qint64> after;
};

// Not filler: a few distinct byte values at least.
bool varied(const char *bytes)
{
    quint64 seen[4] = {};
    int distinct = 0;
    for (int i = 0; i < AnchorLength && distinct < 3; ++i) {
        const uchar b = uchar(bytes[i]);
        if (!(seen[b >> 6] & (quint64(1) << (b & 63)))) {
            seen[b >> 6] |= quint64(1) << (b & 63);
            ++distinct;
        }
    }
    return distinct >= 3;
}

// Anchors come from bytes that no map covers: calibration values change from one software
// version to the next, the code and structure around the tables much less.
AnchorCandidates anchorCandidates(
    const QByteArray &image, qint64 z, qint64 lowest, qint64 highest, const CoveredBytes &covered)
{
    // Enough to get past a few repeated patterns near a map; most maps need the first only.
    constexpr int PerSide = 12;
    AnchorCandidates c;
    c.z = z;
    for (int direction : {-1, +1}) {
        QList<qint64> &list = direction < 0 ? c.before : c.after;
        for (qint64 step = 0; step <= AnchorReach && list.size() < PerSide; step += 4) {
            const qint64 start = direction < 0 ? lowest - AnchorLength - step : highest + 1 + step;
            if (fits(image, start, AnchorLength) && covered.isFree(start, start + AnchorLength - 1)
                && varied(image.constData() + start))
                list.append(start);
        }
    }
    return c;
}

// How often each candidate window's bytes occur in the image (counted up to 2), found in one
// pass over the image for all maps together rather than one search per window.
class OccurrenceCounter
{
public:
    OccurrenceCounter(const QByteArray &image, const QList<AnchorCandidates> &candidates)
    {
        for (const AnchorCandidates &c : candidates)
            for (const QList<qint64> *list : {&c.before, &c.after})
                for (qint64 start : *list)
                    m_counts.emplace(keyAt(image.constData() + start), 0);
        if (m_counts.empty())
            return;
        const char *data = image.constData();
        for (qint64 p = 0; p + AnchorLength <= image.size(); ++p) {
            const auto it = m_counts.find(keyAt(data + p));
            if (it != m_counts.end() && it->second < 2)
                ++it->second;
        }
    }
    bool unique(const QByteArray &image, qint64 start) const
    {
        const auto it = m_counts.find(keyAt(image.constData() + start));
        return it != m_counts.end() && it->second == 1;
    }

private:
    struct Key
    {
        quint64 low, high;
        bool operator==(const Key &o) const { return low == o.low && high == o.high; }
    };
    struct KeyHash
    {
        size_t operator()(const Key &k) const
        {
            return size_t((k.low * 0x9E3779B97F4A7C15ull) ^ (k.high + (k.low >> 29)));
        }
    };
    static Key keyAt(const char *bytes)
    {
        Key key;
        std::memcpy(&key.low, bytes, 8);
        std::memcpy(&key.high, bytes + 8, 8);
        return key;
    }
    std::unordered_map<Key, int, KeyHash> m_counts;
};

// The nearest unique windows of each side, not overlapping one another. The nearest anchor of
// a side becomes the side's signature, the others vote in the anchor list.
void placeAnchors(const QByteArray &image,
                  const AnchorCandidates &c,
                  const OccurrenceCounter &counter,
                  DriverMap &d)
{
    const auto pick = [&](const QList<qint64> &list) {
        QList<DriverAnchor> chosen;
        qint64 last = -AnchorLength;
        for (qint64 start : list) {
            if (chosen.size() == AnchorsPerSide)
                break;
            if (!chosen.isEmpty() && std::abs(start - last) < AnchorLength)
                continue;
            if (!counter.unique(image, start))
                continue;
            chosen.append({image.mid(start, AnchorLength), c.z - start, 1, 0});
            last = start;
        }
        return chosen;
    };
    const QList<DriverAnchor> before = pick(c.before);
    const QList<DriverAnchor> after = pick(c.after);
    if (!before.isEmpty()) {
        d.xAnchorSignature = before.first().pattern;
        d.xAnchorDelta = before.first().delta;
        d.xAnchorDivisor = 1;
        d.useXAnchor = true;
        d.anchors += before.mid(1);
    }
    if (!after.isEmpty()) {
        d.yAnchorSignature = after.first().pattern;
        d.yAnchorDelta = after.first().delta;
        d.yAnchorDivisor = 1;
        d.useYAnchor = true;
        d.anchors += after.mid(1);
    }
}

QString nameOf(const MapDefinition &map)
{
    return map.name.isEmpty() ? QStringLiteral("0x%1").arg(map.mapOffset, 0, 16) : map.name;
}

// Everything but the anchors, which are chosen for all maps together afterwards.
bool describe(const QByteArray &image,
              const MapDefinition &map,
              const CoveredBytes &covered,
              DriverMap &d,
              AnchorCandidates &anchors,
              QString *reason)
{
    const auto refuse = [reason](const QString &text) {
        if (reason)
            *reason = text;
        return false;
    };
    const Layout l = layoutOf(map);
    if (l.z < 0)
        return refuse(QStringLiteral("nessun indirizzo nel firmware"));
    if (l.rows < 1 || l.columns < 1)
        return refuse(QStringLiteral("dimensioni non valide"));
    if (l.zSize != 1 && l.zSize != 2 && l.zSize != 4)
        return refuse(QStringLiteral("dimensione elemento non valida"));
    const qint64 count = qint64(l.rows) * l.columns;
    if (count > image.size() || !fits(image, l.z, count * l.zSize))
        return refuse(QStringLiteral("dati oltre la fine del firmware"));
    const qint64 zLength = count * l.zSize;
    const ZStatistics stats = zStatistics(image, l.z, count, l.zSize, l.littleEndian, l.zKind);
    // A single value, or a table of one value throughout, has no shape to recognise: it would
    // fit every flat stretch of the image as well as its own place.
    if (stats.min == stats.max)
        return refuse(QStringLiteral("valori tutti uguali, non riconoscibile dal contenuto"));

    d = DriverMap();
    d.mapKey = map.name.isEmpty()
                   ? QStringLiteral("MAP_%1").arg(l.z, 8, 16, QLatin1Char('0')).toUpper()
                   : map.name;
    d.description = map.description;
    d.unit = map.unit;
    d.compuMethod = map.compuMethod;
    d.displayName = map.name;
    // Found maps are loaded by default; the category is left to the classifier.
    d.enabled = true;
    d.zAddress = l.z;
    d.rows = l.rows;
    d.columns = l.columns;
    d.zElementSize = l.zSize;
    d.byteOrder = DriverMap::byteOrderFor(l.littleEndian, l.zKind, l.xKind, l.yKind);
    d.zFactor = l.zFactor;
    d.zOffset = l.zOffset;
    const qint64 signatureLength = std::min<qint64>(SignatureLength, zLength);
    d.zSignature = image.mid(l.z, signatureLength);
    d.zTailSignature = image.mid(l.z + zLength - signatureLength, signatureLength);
    d.zFingerprint = fingerprint(image, l.z, zLength, l.zSize, l.littleEndian, l.zKind);
    const GridProfiles profiles
        = gridProfiles(image, l.z, l.rows, l.columns, l.zSize, l.littleEndian, l.zKind);
    d.rowProfile = profiles.rows;
    d.columnProfile = profiles.columns;
    d.zMin = stats.min;
    d.zMax = stats.max;
    d.zMean = stats.mean;
    d.zZeroRatio = stats.zeroRatio;

    qint64 lowest = l.z, highest = l.z + zLength - 1;
    const auto axis = [&](qint64 address, int points, int size, int kind, double factor,
                          double offset, bool &has, qint64 &where, qint64 &delta, qint32 &elementSize,
                          QByteArray &signature, QByteArray &print, double &lo, double &hi,
                          qint32 &mode, bool &rawEnabled, QList<double> &raw, double &rawFactor,
                          double &rawOffset, double &axisFactor, double &axisOffset) {
        elementSize = size;
        axisFactor = factor;
        axisOffset = offset;
        const qint64 length = qint64(points) * size;
        if (address < 0 || !fits(image, address, length))
            return;
        has = true;
        where = address;
        delta = address - l.z;
        signature = image.mid(address, std::min<qint64>(length, AxisSignatureLimit));
        print = fingerprint(image, address, length, size, l.littleEndian, kind);
        const ZStatistics s = zStatistics(image, address, points, size, l.littleEndian, kind);
        lo = s.min;
        hi = s.max;
        mode = monotonicKind(image, address, points, size, l.littleEndian, kind);
        raw = axisValues(image, address, points, size, l.littleEndian, kind);
        // Axis points as a last resort for finding the map: only a strictly ordered axis of a
        // few points is distinctive enough to be searched for through the whole image.
        rawEnabled = points >= 3 && mode != 0;
        rawFactor = factor;
        rawOffset = offset;
        lowest = std::min(lowest, address);
        highest = std::max(highest, address + length - 1);
    };
    axis(l.x, l.columns, l.xSize, l.xKind, l.xFactor, l.xOffset, d.hasXAxis, d.xAddress,
         d.xAxisDelta, d.xElementSize, d.xAxisSignature, d.xFingerprint, d.xMin, d.xMax,
         d.xAxisMode, d.rawXEnabled, d.rawXValues, d.rawXFactor, d.rawXOffset, d.xFactor,
         d.xOffset);
    axis(l.y, l.rows, l.ySize, l.yKind, l.yFactor, l.yOffset, d.hasYAxis, d.yAddress,
         d.yAxisDelta, d.yElementSize, d.yAxisSignature, d.yFingerprint, d.yMin, d.yMax,
         d.yAxisMode, d.rawYEnabled, d.rawYValues, d.rawYFactor, d.rawYOffset, d.yFactor,
         d.yOffset);
    // checkXAxis / checkYAxis stay off: they are a manual setting, and the axis fingerprints
    // have the axes validated anyway.
    // Both axes running on in their direction would have the reference itself refused as a
    // larger table; one axis without a preferred direction switches that test off.
    if (d.hasXAxis && d.hasYAxis && d.xAxisMode != 0 && d.yAxisMode != 0
        && monotonicKind(image, d.xAddress, d.columns + 2, d.xElementSize, l.littleEndian, l.xKind)
               == d.xAxisMode
        && monotonicKind(image, d.yAddress, d.rows + 2, d.yElementSize, l.littleEndian, l.yKind)
               == d.yAxisMode)
        d.yAxisMode = 0;

    anchors = anchorCandidates(image, l.z, lowest, highest, covered);

    // The physical ranges of the reference, for an author who turns the manual profile on;
    // they take no part in the search until then.
    const auto physical
        = [](double lo, double hi, double factor, double offset, bool &has, double &a, double &b) {
              has = true;
              a = lo * factor + offset;
              b = hi * factor + offset;
          };
    physical(d.zMin, d.zMax, d.zFactor, d.zOffset, d.hasZRange, d.zRangeA, d.zRangeB);
    if (d.hasXAxis)
        physical(d.xMin, d.xMax, d.xFactor, d.xOffset, d.hasXRange, d.xRangeA, d.xRangeB);
    if (d.hasYAxis)
        physical(d.yMin, d.yMax, d.yFactor, d.yOffset, d.hasYRange, d.yRangeA, d.yRangeB);

    d.autoEnabled = true;
    d.signatureValid = true;
    return true;
}

} // namespace

bool buildDriverMap(const QByteArray &image,
                    const MapDefinition &map,
                    DriverMap &result,
                    QString *reason)
{
    AnchorCandidates anchors;
    if (!describe(image, map, CoveredBytes({map}), result, anchors, reason))
        return false;
    placeAnchors(image, anchors, OccurrenceCounter(image, {anchors}), result);
    return true;
}

DriverBuildResult buildDriver(const QByteArray &image, const QList<MapDefinition> &maps)
{
    DriverBuildResult result;
    const CoveredBytes covered(maps);
    QList<AnchorCandidates> anchors;
    for (const MapDefinition &map : maps) {
        DriverMap driverMap;
        AnchorCandidates candidates;
        QString reason;
        if (describe(image, map, covered, driverMap, candidates, &reason)) {
            result.driver.maps.append(driverMap);
            anchors.append(candidates);
        } else {
            result.skipped.append(QStringLiteral("%1: %2").arg(nameOf(map), reason));
        }
    }
    const OccurrenceCounter counter(image, anchors);
    for (qsizetype i = 0; i < anchors.size(); ++i)
        placeAnchors(image, anchors.at(i), counter, result.driver.maps[i]);
    return result;
}

void describeBuiltDriver(Driver &driver, const QString &imageFileName, const QByteArray &image)
{
    driver.text1 = imageFileName;
    driver.text2 = QStringLiteral("Tessamorvandi");
    driver.text3 = imageFingerprint(image);
    driver.number = image.size();
}

QString proposedDriverFileName(const QString &firmwareFileName)
{
    const QString base = QFileInfo(firmwareFileName).completeBaseName();
    return (base.isEmpty() ? QStringLiteral("Tessamorvandi_Driver") : base)
           + QStringLiteral(".ecudrv");
}

QString withDriverSuffix(const QString &path)
{
    return path.endsWith(QLatin1String(".ecudrv"), Qt::CaseInsensitive)
               ? path
               : path + QStringLiteral(".ecudrv");
}

QString driverCreatedText(const DriverBuildResult &result, const QString &path)
{
    QString text = QStringLiteral("Driver creato:\n%1\n\nMappe nel driver: %2")
                       .arg(QDir::toNativeSeparators(path))
                       .arg(result.driver.maps.size());
    if (!result.skipped.isEmpty())
        text += QStringLiteral("\nMappe escluse: %1\n\n%2")
                    .arg(result.skipped.size())
                    .arg(result.skipped.join(QLatin1Char('\n')));
    return text;
}
