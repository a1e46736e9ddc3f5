#include "driver.h"

#include <cstring>

namespace {

// Bit for bit, so that -0.0 and NaN survive a round-trip check as themselves.
bool sameDouble(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool sameDoubles(const QList<double> &a, const QList<double> &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (!sameDouble(a.at(i), b.at(i)))
            return false;
    return true;
}

// Null and empty differ in the file, so they differ here too.
bool sameText(const QString &a, const QString &b)
{
    return a.isNull() == b.isNull() && a == b;
}

bool sameBytes(const QByteArray &a, const QByteArray &b)
{
    return a.isNull() == b.isNull() && a == b;
}

} // namespace

bool DriverAnchor::operator==(const DriverAnchor &other) const
{
    return sameBytes(pattern, other.pattern) && delta == other.delta && divisor == other.divisor
           && reserved == other.reserved;
}

bool DriverMap::operator==(const DriverMap &o) const
{
    return sameText(mapKey, o.mapKey) && sameText(description, o.description)
           && sameText(unit, o.unit) && sameText(compuMethod, o.compuMethod)
           && sameText(displayName, o.displayName) && category == o.category && enabled == o.enabled
           && excluded == o.excluded && sameText(remark, o.remark) && zAddress == o.zAddress
           && xAddress == o.xAddress && yAddress == o.yAddress && xAxisDelta == o.xAxisDelta
           && yAxisDelta == o.yAxisDelta && hasXAxis == o.hasXAxis && hasYAxis == o.hasYAxis
           && rows == o.rows && columns == o.columns && zElementSize == o.zElementSize
           && xElementSize == o.xElementSize && yElementSize == o.yElementSize
           && sameBytes(zSignature, o.zSignature) && sameBytes(zTailSignature, o.zTailSignature)
           && sameBytes(xAxisSignature, o.xAxisSignature)
           && sameBytes(yAxisSignature, o.yAxisSignature)
           && sameBytes(xAnchorSignature, o.xAnchorSignature)
           && sameBytes(yAnchorSignature, o.yAnchorSignature) && xAnchorDelta == o.xAnchorDelta
           && yAnchorDelta == o.yAnchorDelta && useXAnchor == o.useXAnchor
           && useYAnchor == o.useYAnchor && sameBytes(zFingerprint, o.zFingerprint)
           && sameBytes(xFingerprint, o.xFingerprint) && sameBytes(yFingerprint, o.yFingerprint)
           && xAnchorDivisor == o.xAnchorDivisor && yAnchorDivisor == o.yAnchorDivisor
           && byteOrder == o.byteOrder && sameDouble(zFactor, o.zFactor)
           && sameDouble(zOffset, o.zOffset) && sameDouble(xFactor, o.xFactor)
           && sameDouble(xOffset, o.xOffset) && sameDouble(yFactor, o.yFactor)
           && sameDouble(yOffset, o.yOffset) && anchors == o.anchors
           && sameBytes(rowProfile, o.rowProfile) && sameBytes(columnProfile, o.columnProfile)
           && sameDouble(zMin, o.zMin) && sameDouble(zMax, o.zMax) && sameDouble(zMean, o.zMean)
           && sameDouble(zZeroRatio, o.zZeroRatio) && sameDouble(xMin, o.xMin)
           && sameDouble(xMax, o.xMax) && sameDouble(yMin, o.yMin) && sameDouble(yMax, o.yMax)
           && xAxisMode == o.xAxisMode && yAxisMode == o.yAxisMode && autoEnabled == o.autoEnabled
           && manualProfile == o.manualProfile && matchLevel == o.matchLevel
           && checkXAxis == o.checkXAxis && checkYAxis == o.checkYAxis
           && minAnchorHits == o.minAnchorHits && neighbourhood == o.neighbourhood
           && axisWindow == o.axisWindow && sameDouble(minZFingerprint, o.minZFingerprint)
           && sameDouble(minRowProfile, o.minRowProfile)
           && sameDouble(minColumnProfile, o.minColumnProfile)
           && sameDouble(minAxisScore, o.minAxisScore) && sameDouble(minConfidence, o.minConfidence)
           && hasZRange == o.hasZRange && sameDouble(zRangeA, o.zRangeA)
           && sameDouble(zRangeB, o.zRangeB) && hasXRange == o.hasXRange
           && sameDouble(xRangeA, o.xRangeA) && sameDouble(xRangeB, o.xRangeB)
           && hasYRange == o.hasYRange && sameDouble(yRangeA, o.yRangeA)
           && sameDouble(yRangeB, o.yRangeB) && sameDouble(rangeTolerance, o.rangeTolerance)
           && rawXEnabled == o.rawXEnabled && sameDoubles(rawXValues, o.rawXValues)
           && sameDouble(rawXFactor, o.rawXFactor) && sameDouble(rawXOffset, o.rawXOffset)
           && sameDouble(rawXTolerance, o.rawXTolerance) && rawYEnabled == o.rawYEnabled
           && sameDoubles(rawYValues, o.rawYValues) && sameDouble(rawYFactor, o.rawYFactor)
           && sameDouble(rawYOffset, o.rawYOffset) && sameDouble(rawYTolerance, o.rawYTolerance)
           && manualAbsolute == o.manualAbsolute && absZAddress == o.absZAddress
           && absXAddress == o.absXAddress && absYAddress == o.absYAddress && absRows == o.absRows
           && absColumns == o.absColumns && sameDouble(minScore, o.minScore)
           && signatureValid == o.signatureValid;
}

bool Driver::operator==(const Driver &o) const
{
    return sameText(text1, o.text1) && sameText(text2, o.text2) && sameText(text3, o.text3)
           && sameText(text4, o.text4) && sameText(text5, o.text5) && number == o.number
           && maps == o.maps;
}

namespace {

// The kinds packed into byteOrder, or -1 for a value that packs none.
int packedKinds(qint32 byteOrder)
{
    const qint32 order = byteOrder & 0xF;
    const qint32 kinds = byteOrder >> 4;
    if (byteOrder < 16 || (order != 1 && order != 2) || kinds >= 27)
        return -1;
    return kinds;
}

int kindAt(qint32 byteOrder, int power)
{
    const int kinds = packedKinds(byteOrder);
    return kinds < 0 ? 0 : (kinds / power) % 3;
}

} // namespace

bool DriverMap::littleEndian() const
{
    return packedKinds(byteOrder) < 0 ? byteOrder != 2 : (byteOrder & 0xF) != 2;
}

int DriverMap::zValueKind() const
{
    return kindAt(byteOrder, 1);
}

int DriverMap::xValueKind() const
{
    return kindAt(byteOrder, 3);
}

int DriverMap::yValueKind() const
{
    return kindAt(byteOrder, 9);
}

qint32 DriverMap::byteOrderFor(bool littleEndian, int zKind, int xKind, int yKind)
{
    const auto valid = [](int kind) { return kind >= 0 && kind <= 2 ? kind : 0; };
    return (littleEndian ? 1 : 2) + 16 * (valid(zKind) + 3 * valid(xKind) + 9 * valid(yKind));
}
