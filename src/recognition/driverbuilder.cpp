#include "driverbuilder.h"

#include "mapvalidation.h"
#include "model/fingerprint.h"

#include <QSet>

#include <algorithm>

namespace {

// Long enough to be unique in an image of megabytes, short enough to stay clear of the maps.
constexpr int SignatureLength = 16;
constexpr int AnchorLength = 16;
// How far from a map its anchors may lie: inside the narrow neighbourhood the scanner searches
// around an anchor's vote, so that a vote always lands within reach of the map.
constexpr qint64 AnchorReach = 1024;
// Anchors per side; each vote adds to the confidence up to four votes.
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
    l.littleEndian = map.zElementSize != 2 || map.dataType != Organisation16BitHiLo;
    const bool hasX = storedAxis(map.xAxisSource, map.xAxisOffset, map.xElementSize);
    const bool hasY = storedAxis(map.yAxisSource, map.yAxisOffset, map.yElementSize);
    if (!map.zColumnMajor) {
        l.rows = map.rows;
        l.columns = map.columns;
        l.x = hasX ? map.xAxisOffset : -1;
        l.y = hasY ? map.yAxisOffset : -1;
        l.xSize = map.xElementSize;
        l.ySize = map.yElementSize;
        l.xFactor = map.xFactor;
        l.xOffset = map.xOffsetFactor;
        l.yFactor = map.yFactor;
        l.yOffset = map.yOffsetFactor;
    } else {
        l.rows = map.columns;
        l.columns = map.rows;
        l.x = hasY ? map.yAxisOffset : -1;
        l.y = hasX ? map.xAxisOffset : -1;
        l.xSize = map.yElementSize;
        l.ySize = map.xElementSize;
        l.xFactor = map.yFactor;
        l.xOffset = map.yOffsetFactor;
        l.yFactor = map.xFactor;
        l.yOffset = map.xOffsetFactor;
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

QList<double> axisValues(const QByteArray &image, qint64 address, int count, int size,
                         bool littleEndian)
{
    QList<double> values;
    for (int i = 0; i < count; ++i)
        values.append(readValue(image, address + qint64(i) * size, size, littleEndian));
    return values;
}

// A pattern worth voting with: not filler (a few distinct byte values at least) and found
// once only in the image, so that each of its hits means this map.
bool goodAnchor(const QByteArray &image, const QByteArray &pattern)
{
    const QSet<char> distinct(pattern.cbegin(), pattern.cend());
    return distinct.size() >= 3 && findAll(image, pattern, 2).size() == 1;
}

// Anchors come from bytes that no map covers: calibration values change from one software
// version to the next, the code and structure around the tables much less.
QList<DriverAnchor> chooseAnchors(const QByteArray &image, qint64 z, qint64 lowest,
                                  qint64 highest, const QList<ByteRange> &covered, int direction)
{
    QList<DriverAnchor> anchors;
    const auto free = [&](qint64 start) {
        for (const ByteRange &range : covered)
            if (start <= range.end && range.start <= start + AnchorLength - 1)
                return false;
        return true;
    };
    for (qint64 step = 0; step <= AnchorReach && anchors.size() < AnchorsPerSide; step += 4) {
        const qint64 start = direction < 0 ? lowest - AnchorLength - step : highest + 1 + step;
        if (!fits(image, start, AnchorLength) || !free(start))
            continue;
        const QByteArray pattern = image.mid(start, AnchorLength);
        if (!goodAnchor(image, pattern))
            continue;
        DriverAnchor anchor;
        anchor.pattern = pattern;
        anchor.delta = z - start;
        anchor.divisor = 1;
        anchors.append(anchor);
        step += AnchorLength - 4; // the next anchor does not overlap this one
    }
    return anchors;
}

QList<ByteRange> coveredRanges(const QList<MapDefinition> &maps)
{
    QList<ByteRange> ranges;
    for (const MapDefinition &map : maps) {
        const MapRanges r = mapRanges(map);
        for (const ByteRange &range : {r.data, r.xAxis, r.yAxis, r.header})
            if (range.isValid())
                ranges.append(range);
    }
    return ranges;
}

QString nameOf(const MapDefinition &map)
{
    return map.name.isEmpty() ? QStringLiteral("0x%1").arg(map.mapOffset, 0, 16) : map.name;
}

bool describe(const QByteArray &image, const MapDefinition &map, const QList<ByteRange> &covered,
              DriverMap &d, QString *reason)
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
    const ZStatistics stats = zStatistics(image, l.z, count, l.zSize, l.littleEndian);
    // A single value, or a table of one value throughout, has no shape to recognise: it would
    // fit every flat stretch of the image as well as its own place.
    if (stats.min == stats.max)
        return refuse(QStringLiteral("valori tutti uguali, non riconoscibile dal contenuto"));

    d = DriverMap();
    d.mapKey = map.name.isEmpty() ? QStringLiteral("MAP_%1").arg(l.z, 8, 16, QLatin1Char('0')).toUpper()
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
    d.byteOrder = l.littleEndian ? 1 : 2;
    d.zFactor = l.zFactor;
    d.zOffset = l.zOffset;
    const qint64 signatureLength = std::min<qint64>(SignatureLength, zLength);
    d.zSignature = image.mid(l.z, signatureLength);
    d.zTailSignature = image.mid(l.z + zLength - signatureLength, signatureLength);
    d.zFingerprint = fingerprint(image, l.z, zLength, l.zSize, l.littleEndian);
    d.rowProfile = rowProfile(image, l.z, l.rows, l.columns, l.zSize, l.littleEndian);
    d.columnProfile = columnProfile(image, l.z, l.rows, l.columns, l.zSize, l.littleEndian);
    d.zMin = stats.min;
    d.zMax = stats.max;
    d.zMean = stats.mean;
    d.zZeroRatio = stats.zeroRatio;

    qint64 lowest = l.z, highest = l.z + zLength - 1;
    const auto axis = [&](qint64 address, int points, int size, double factor, double offset,
                          bool &has, qint64 &where, qint64 &delta, qint32 &elementSize,
                          QByteArray &signature, QByteArray &print, double &lo, double &hi,
                          qint32 &mode, bool &check, bool &rawEnabled, QList<double> &raw,
                          double &rawFactor, double &rawOffset, double &axisFactor,
                          double &axisOffset) {
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
        print = fingerprint(image, address, length, size, l.littleEndian);
        const ZStatistics s = zStatistics(image, address, points, size, l.littleEndian);
        lo = s.min;
        hi = s.max;
        mode = monotonicKind(image, address, points, size, l.littleEndian);
        check = true;
        raw = axisValues(image, address, points, size, l.littleEndian);
        // Axis points as a last resort for finding the map: only a strictly ordered axis of a
        // few points is distinctive enough to be searched for through the whole image.
        rawEnabled = points >= 3 && mode != 0;
        rawFactor = factor;
        rawOffset = offset;
        lowest = std::min(lowest, address);
        highest = std::max(highest, address + length - 1);
    };
    axis(l.x, l.columns, l.xSize, l.xFactor, l.xOffset, d.hasXAxis, d.xAddress, d.xAxisDelta,
         d.xElementSize, d.xAxisSignature, d.xFingerprint, d.xMin, d.xMax, d.xAxisMode,
         d.checkXAxis, d.rawXEnabled, d.rawXValues, d.rawXFactor, d.rawXOffset, d.xFactor,
         d.xOffset);
    axis(l.y, l.rows, l.ySize, l.yFactor, l.yOffset, d.hasYAxis, d.yAddress, d.yAxisDelta,
         d.yElementSize, d.yAxisSignature, d.yFingerprint, d.yMin, d.yMax, d.yAxisMode,
         d.checkYAxis, d.rawYEnabled, d.rawYValues, d.rawYFactor, d.rawYOffset, d.yFactor,
         d.yOffset);
    // The check axes are a manual setting; the fingerprints already have the axes validated.
    d.checkXAxis = d.checkYAxis = false;
    // Both axes running on in their direction would have the reference itself refused as a
    // larger table; one axis without a preferred direction switches that test off.
    if (d.hasXAxis && d.hasYAxis && d.xAxisMode != 0 && d.yAxisMode != 0
        && monotonicKind(image, d.xAddress, d.columns + 2, d.xElementSize, l.littleEndian)
               == d.xAxisMode
        && monotonicKind(image, d.yAddress, d.rows + 2, d.yElementSize, l.littleEndian)
               == d.yAxisMode)
        d.yAxisMode = 0;

    const QList<DriverAnchor> before = chooseAnchors(image, l.z, lowest, highest, covered, -1);
    const QList<DriverAnchor> after = chooseAnchors(image, l.z, lowest, highest, covered, +1);
    // The nearest anchor of each side is the side's signature, the others vote as anchors.
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

    // The physical ranges of the reference, for an author who turns the manual profile on;
    // they take no part in the search until then.
    const auto physical = [](double lo, double hi, double factor, double offset, bool &has,
                             double &a, double &b) {
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

bool buildDriverMap(const QByteArray &image, const MapDefinition &map, DriverMap &result,
                    QString *reason)
{
    return describe(image, map, coveredRanges({map}), result, reason);
}

DriverBuildResult buildDriver(const QByteArray &image, const QList<MapDefinition> &maps)
{
    DriverBuildResult result;
    const QList<ByteRange> covered = coveredRanges(maps);
    for (const MapDefinition &map : maps) {
        DriverMap driverMap;
        QString reason;
        if (describe(image, map, covered, driverMap, &reason))
            result.driver.maps.append(driverMap);
        else
            result.skipped.append(QStringLiteral("%1: %2").arg(nameOf(map), reason));
    }
    return result;
}

void describeBuiltDriver(Driver &driver, const QString &imageFileName, const QByteArray &image)
{
    driver.text1 = imageFileName;
    driver.text2 = QStringLiteral("Tessamorvandi");
    driver.text3 = imageFingerprint(image);
    driver.number = image.size();
}
