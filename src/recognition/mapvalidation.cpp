#include "mapvalidation.h"

#include <QByteArrayMatcher>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

bool validSize(int size)
{
    return size == 1 || size == 2 || size == 4;
}

// count elements of size bytes from address lie wholly inside the image; no overflow for any
// count or size a hostile driver may carry.
bool blockFits(const QByteArray &image, qint64 address, qint64 count, int size)
{
    if (address < 0 || count < 0 || size < 1 || address > image.size())
        return false;
    return count <= (image.size() - address) / size;
}

// A score that cannot be computed (a driver's NaN or infinite factor or range reaches it)
// counts as no evidence: left as NaN it would pass every "refuse below" test.
double clampScore(double value)
{
    return std::isfinite(value) ? std::clamp(value, 0.0, 100.0) : 0.0;
}

// Fingerprint of n values given one by one: at most 128 evenly spread samples, each scaled to
// 0..15 between the smallest and the largest sample.
template<typename ValueAt>
QByteArray fingerprintOf(qint64 n, ValueAt valueAt)
{
    const qint64 k = std::min<qint64>(n, 128);
    quint32 samples[128];
    for (qint64 j = 0; j < k; ++j)
        samples[j] = valueAt(k == 1 ? 0 : j * (n - 1) / (k - 1));
    const auto [lo, hi] = std::minmax_element(samples, samples + k);
    QByteArray result(k, char(8));
    if (*lo == *hi)
        return result;
    const quint64 low = *lo, width = quint64(*hi) - low;
    for (qint64 j = 0; j < k; ++j)
        result[j] = char(std::min<quint64>(15, ((samples[j] - low) * 15 + width / 2) / width));
    return result;
}

// +1 rising, -1 falling, 0 flat or both, of count values given one by one.
template<typename ValueAt>
int kindOf(int count, ValueAt valueAt)
{
    bool rise = false, fall = false;
    quint32 previous = valueAt(0);
    for (int i = 1; i < count; ++i) {
        const quint32 value = valueAt(i);
        rise = rise || value > previous;
        fall = fall || value < previous;
        previous = value;
    }
    if (rise == fall)
        return 0;
    return rise ? 1 : -1;
}

quint32 decode(const uchar *p, int size, bool littleEndian)
{
    quint32 value = 0;
    for (int i = 0; i < size; ++i)
        value |= quint32(p[i]) << (8 * (littleEndian ? i : size - 1 - i));
    return value;
}

int organisationOfSize(int size)
{
    return size == 1 ? Organisation8Bit : size == 4 ? Organisation32Bit : Organisation16BitLoHi;
}

// The true value of raw bits of a kind.
double typedValue(quint32 raw, int size, int kind)
{
    if (kind == ValueUnsigned)
        return double(raw);
    switch (effectiveValueKind(organisationOfSize(size), kind)) {
    case ValueSigned:
        return size == 1   ? double(qint8(raw))
               : size == 2 ? double(qint16(raw))
                           : double(qint32(raw));
    case ValueFloat: {
        uchar bytes[4] = {uchar(raw), uchar(raw >> 8), uchar(raw >> 16), uchar(raw >> 24)};
        return decodeValue(bytes, 4, 0, Organisation32Bit, true, ValueFloat);
    }
    default:
        return double(raw);
    }
}

// Value scores of rawMatch for lists of equal length.
double alignedRawMatch(const QList<double> &expected,
                       const QList<double> &read,
                       double fraction,
                       qsizetype skipExpected,
                       qsizetype skipRead)
{
    int positive = 0;
    double sum = 0;
    qsizetype n = 0;
    qsizetype j = 0;
    for (qsizetype i = 0; i < expected.size(); ++i) {
        if (i == skipExpected)
            continue;
        if (j == skipRead)
            ++j;
        if (j >= read.size())
            break;
        const double e = expected.at(i);
        const double v = read.at(j++);
        const double tolerance = std::abs(e) * fraction;
        const double score = clampScore(tolerance > 1 ? 100 - 100 * std::abs(v - e) / tolerance
                                                      : 100 - 100 * std::abs(v - e));
        if (score > 0)
            ++positive;
        sum += score;
        ++n;
    }
    if (n == 0)
        return 0;
    return std::min(100.0, 70.0 * positive / n + 0.3 * (sum / n));
}

// Score of a candidate physical interval against the reference one (axis locator).
double physicalScore(double referenceMin,
                     double referenceMax,
                     double candidateMin,
                     double candidateMax,
                     double factor,
                     double offset)
{
    double r0 = referenceMin * factor + offset, r1 = referenceMax * factor + offset;
    double c0 = candidateMin * factor + offset, c1 = candidateMax * factor + offset;
    if (r0 > r1)
        std::swap(r0, r1);
    if (c0 > c1)
        std::swap(c0, c1);
    const double wr = r1 - r0, wc = c1 - c0;
    if (wr <= 0)
        return wc <= 0 ? 100 : 0;
    const double ratio = wc / wr;
    if (ratio < 0.1 || ratio > 10)
        return 0;
    const double span = ratio <= 1 ? 100 * ratio : 100 / ratio;
    const double referenceCentre = (r0 + r1) / 2;
    const double shift = (c0 + c1) / 2 - referenceCentre;
    const double scale = std::max({wr, std::abs(referenceCentre), 1.0});
    const double position = std::clamp(100 - 55 * std::abs(shift) / scale, 0.0, 100.0);
    return 0.6 * span + 0.4 * position;
}

// The physical interval of a block lies wholly outside [a, b] widened by the tolerance.
bool outsideRange(double rawMin,
                  double rawMax,
                  double factor,
                  double offset,
                  double a,
                  double b,
                  double tolerancePercent)
{
    const double lo = std::min(a, b), hi = std::max(a, b);
    const double tolerance = std::max(hi - lo, 1.0) * std::max(tolerancePercent, 0.0) / 100;
    double p0 = rawMin * factor + offset, p1 = rawMax * factor + offset;
    if (p0 > p1)
        std::swap(p0, p1);
    return p1 < lo - tolerance || p0 > hi + tolerance;
}

// A threshold: the manual one when the profile is manual and it is set, else the built-in one
// of the strictness level.
double threshold(const DriverMap &map, double manual, double normal, double level2, double level3)
{
    if (map.manualProfile && manual >= 0)
        return manual;
    if (map.matchLevel == 2)
        return level2;
    if (map.matchLevel == 3)
        return level3;
    return normal;
}

bool overlaps(qint64 aStart, qint64 aLength, qint64 bStart, qint64 bLength)
{
    return aStart < bStart + bLength && bStart < aStart + aLength;
}

Evaluation refuse(Evaluation evaluation, const char *reason)
{
    evaluation.reason = QString::fromUtf8(reason);
    evaluation.accepted = false;
    return evaluation;
}

// What validation needs of one axis, X or Y.
struct AxisRole
{
    bool has;
    bool checked;
    qint64 delta;
    int count;
    int size;
    const QByteArray &fingerprint;
    double referenceMin, referenceMax, factor, offset;
    int mode;
    bool rawEnabled;
    const QList<double> &rawValues;
    double rawTolerance;
    bool hasRange;
    double rangeA, rangeB;
    const char *mismatch;
    const char *outOfRange;
    int kind;
};

AxisRole axisRole(const DriverMap &m, bool x)
{
    if (x)
        return {m.hasXAxis,
                m.checkXAxis || !m.xFingerprint.isEmpty(),
                m.xAxisDelta,
                m.columns,
                m.xElementSize,
                m.xFingerprint,
                m.xMin,
                m.xMax,
                m.xFactor,
                m.xOffset,
                m.xAxisMode,
                m.rawXEnabled,
                m.rawXValues,
                m.rawXTolerance,
                m.hasXRange,
                m.xRangeA,
                m.xRangeB,
                "asse X incompatibile",
                "range fisico X fuori profilo manuale",
                m.xValueKind()};
    return {m.hasYAxis,
            m.checkYAxis || !m.yFingerprint.isEmpty(),
            m.yAxisDelta,
            m.rows,
            m.yElementSize,
            m.yFingerprint,
            m.yMin,
            m.yMax,
            m.yFactor,
            m.yOffset,
            m.yAxisMode,
            m.rawYEnabled,
            m.rawYValues,
            m.rawYTolerance,
            m.hasYRange,
            m.yRangeA,
            m.yRangeB,
            "asse Y incompatibile",
            "range fisico Y fuori profilo manuale",
            m.yValueKind()};
}

// The first two rules: a Z block of a sound shape, wholly inside the image.
const char *zBlockRefusal(const QByteArray &image, const DriverMap &map, qint64 zAddress)
{
    if (zAddress < 0 || map.rows < 1 || map.columns < 1 || map.zElementSize < 1)
        return "geometria Z non valida";
    if (!blockFits(image, zAddress, qint64(map.rows) * map.columns, map.zElementSize))
        return "Z fuori firmware";
    return nullptr;
}

// Finds or places one axis for validateCandidate; returns whether the locator found it.
bool placeAxis(const QByteArray &image,
               const DriverMap &map,
               qint64 z,
               bool littleEndian,
               const AxisRole &axis,
               qint64 &address,
               double &score)
{
    address = -1;
    score = 0;
    if (!axis.has)
        return false;
    if (!axis.checked) {
        // Not validated, but kept where the reference layout puts it.
        const qint64 expected = z + axis.delta;
        if (expected >= 0 && expected < image.size())
            address = expected;
        return false;
    }
    qint64 window = 96;
    if (map.manualProfile && map.axisWindow >= 0)
        window = map.axisWindow;
    else if (map.matchLevel == 3)
        window = 48;
    else if (map.matchLevel == 4)
        window = 384;
    const bool useRaw = map.manualProfile && axis.rawEnabled && !axis.rawValues.isEmpty();
    const AxisLocation location = locateAxis(
        image, z + axis.delta, axis.count, axis.size, axis.fingerprint, axis.referenceMin,
        axis.referenceMax, axis.factor, axis.offset, axis.mode, littleEndian, window,
        useRaw ? axis.rawValues : QList<double>(), axis.rawTolerance, axis.kind);
    address = location.address;
    score = location.score;
    return location.address >= 0;
}

// Places one axis and applies its two rules (values, then manual physical range); the reason
// of a refusal, or null.
const char *checkAxis(const QByteArray &image,
                      const DriverMap &map,
                      qint64 z,
                      bool littleEndian,
                      const AxisRole &axis,
                      double axisThreshold,
                      qint64 &address,
                      double &score,
                      bool &found)
{
    found = placeAxis(image, map, z, littleEndian, axis, address, score);
    if (axis.has && axis.checked && score < axisThreshold)
        return axis.mismatch;
    if (map.manualProfile && axis.hasRange && found) {
        const ZStatistics values = zStatistics(image, address, axis.count, std::max(axis.size, 1),
                                               littleEndian, axis.kind);
        if (outsideRange(values.min, values.max, axis.factor, axis.offset, axis.rangeA, axis.rangeB,
                         map.rangeTolerance))
            return axis.outOfRange;
    }
    return nullptr;
}

} // namespace

quint32 readValue(const QByteArray &image, qint64 address, int size, bool littleEndian)
{
    if (!validSize(size) || !blockFits(image, address, 1, size))
        return 0;
    return decode(reinterpret_cast<const uchar *>(image.constData()) + address, size, littleEndian);
}

double
readTypedValue(const QByteArray &image, qint64 address, int size, bool littleEndian, int kind)
{
    return typedValue(readValue(image, address, size, littleEndian), size, kind);
}

quint32 orderKey(quint32 raw, int size, int kind)
{
    if (kind == ValueUnsigned)
        return raw;
    switch (effectiveValueKind(organisationOfSize(size), kind)) {
    case ValueSigned:
        return raw ^ (1u << (8 * size - 1));
    case ValueFloat: {
        // Bits of a float that is not a number sort as the zero it reads as.
        if (std::isnan(typedValue(raw, size, kind)))
            raw = 0;
        return (raw & 0x80000000u) ? ~raw : raw | 0x80000000u;
    }
    default:
        return raw;
    }
}

ZStatistics zStatistics(
    const QByteArray &image, qint64 address, qint64 count, int size, bool littleEndian, int kind)
{
    ZStatistics statistics;
    if (!validSize(size) || count < 1 || address < 0 || address >= image.size())
        return statistics;
    // Values past the end are zeros; counting them without reading keeps a hostile count cheap.
    const qint64 inside = std::min(count, (image.size() - address) / size);
    double sum = 0;
    qint64 zeros = count - inside;
    // Zeros past the end take part in the range; an unsigned range always starts at 0 or more.
    double lo = zeros > 0 ? 0.0 : std::numeric_limits<double>::infinity();
    double hi = kind == ValueUnsigned || zeros > 0 ? 0.0 : -std::numeric_limits<double>::infinity();
    const auto *data = reinterpret_cast<const uchar *>(image.constData()) + address;
    for (qint64 i = 0; i < inside; ++i) {
        const double value = typedValue(decode(data + i * size, size, littleEndian), size, kind);
        lo = std::min(lo, value);
        hi = std::max(hi, value);
        sum += value;
        if (value == 0)
            ++zeros;
    }
    if (inside == 0)
        lo = 0;
    statistics.min = lo;
    statistics.max = hi;
    statistics.mean = sum / double(count);
    statistics.zeroRatio = double(zeros) / double(count);
    statistics.valid = true;
    return statistics;
}

QByteArray fingerprint(const QByteArray &image,
                       qint64 address,
                       qint64 byteLength,
                       int size,
                       bool littleEndian,
                       int kind)
{
    if (!validSize(size) || byteLength < size)
        return {};
    const qint64 n = byteLength / size;
    if (!blockFits(image, address, n, size))
        return {};
    return fingerprintOf(n, [&](qint64 index) {
        return orderKey(readValue(image, address + index * size, size, littleEndian), size, kind);
    });
}

double similarity(const QByteArray &a, const QByteArray &b)
{
    if (a.isEmpty() || b.isEmpty() || a.size() != b.size())
        return 0;
    qint64 sum = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        sum += std::abs(int(uchar(a.at(i))) - int(uchar(b.at(i))));
    return clampScore((1.0 - double(sum) / (15.0 * double(a.size()))) * 100.0);
}

namespace {

QByteArray profileOfMeans(const double *means, qsizetype count)
{
    if (count < 1)
        return {};
    const auto [lo, hi] = std::minmax_element(means, means + count);
    QByteArray result(count, char(8));
    if (*lo == *hi)
        return result;
    char *out = result.data();
    for (qsizetype i = 0; i < count; ++i)
        out[i] = char(std::clamp(std::lround((means[i] - *lo) / (*hi - *lo) * 15), 0L, 15L));
    return result;
}

QByteArray profileOfMeans(const QList<double> &means)
{
    return profileOfMeans(means.constData(), means.size());
}

// Row and column means over the block; values past the end count as 0. A grid with more cells
// than the image has bytes cannot be a map of it, which also bounds the work.
bool gridMeans(const QByteArray &image,
               qint64 address,
               int rows,
               int columns,
               int size,
               bool littleEndian,
               int kind,
               QList<double> &rowMeans,
               QList<double> &columnMeans)
{
    if (rows < 1 || columns < 1 || !validSize(size) || address < 0
        || qint64(rows) * columns > image.size())
        return false;
    rowMeans.fill(0.0, rows);
    columnMeans.fill(0.0, columns);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            const double value = orderKey(
                readValue(image, address + (qint64(r) * columns + c) * size, size, littleEndian),
                size, kind);
            rowMeans[r] += value;
            columnMeans[c] += value;
        }
    }
    for (double &mean : rowMeans)
        mean /= columns;
    for (double &mean : columnMeans)
        mean /= rows;
    return true;
}

} // namespace

GridProfiles gridProfiles(const QByteArray &image,
                          qint64 address,
                          int rows,
                          int columns,
                          int size,
                          bool littleEndian,
                          int kind)
{
    QList<double> rowMeans, columnMeans;
    if (!gridMeans(image, address, rows, columns, size, littleEndian, kind, rowMeans, columnMeans))
        return {};
    return {profileOfMeans(rowMeans), profileOfMeans(columnMeans)};
}

GridSpanProfiles::GridSpanProfiles(const QByteArray &image,
                                   qint64 first,
                                   qint64 last,
                                   int rows,
                                   int columns,
                                   int size,
                                   bool littleEndian,
                                   qint64 maxValues,
                                   int kind)
{
    if (rows < 1 || columns < 1 || !validSize(size) || first < 0 || last < first
        || qint64(rows) * columns > image.size())
        return;
    const qint64 positions = (last - first) / size + 1;
    const qint64 values = positions - 1 + qint64(rows) * columns;
    if (values > maxValues)
        return;
    m_first = first;
    m_positions = positions;
    m_rows = rows;
    m_columns = columns;
    m_size = size;
    m_running.assign(values + 1, 0);
    m_columnRunning.assign(values, 0);
    // Whole sums: a difference of two is the block's exact sum, as a walk over it adds it up.
    for (qint64 i = 0; i < values; ++i) {
        const quint64 value
            = orderKey(readValue(image, first + i * size, size, littleEndian), size, kind);
        m_running[i + 1] = m_running[i] + value;
        m_columnRunning[i] = value + (i >= columns ? m_columnRunning[i - columns] : 0);
    }
}

bool GridSpanProfiles::covers(qint64 address) const
{
    return m_positions > 0 && address >= m_first && (address - m_first) % m_size == 0
           && (address - m_first) / m_size < m_positions;
}

GridProfiles GridSpanProfiles::at(qint64 address) const
{
    if (!covers(address))
        return {};
    const qint64 start = (address - m_first) / m_size;
    const qint64 columns = m_columns;
    std::vector<double> rowMeans(m_rows), columnMeans(m_columns);
    const quint64 *running = m_running.data() + start;
    for (qint64 r = 0; r < m_rows; ++r)
        rowMeans[r] = double(running[(r + 1) * columns] - running[r * columns]) / double(columns);
    const quint64 *lastRow = m_columnRunning.data() + start + (qint64(m_rows) - 1) * columns;
    for (qint64 c = 0; c < columns; ++c) {
        const quint64 above = start + c >= columns ? m_columnRunning[start + c - columns] : 0;
        columnMeans[c] = double(lastRow[c] - above) / double(m_rows);
    }
    return {profileOfMeans(rowMeans.data(), m_rows), profileOfMeans(columnMeans.data(), columns)};
}

QByteArray rowProfile(
    const QByteArray &image, qint64 address, int rows, int columns, int size, bool littleEndian)
{
    return gridProfiles(image, address, rows, columns, size, littleEndian).rows;
}

QByteArray columnProfile(
    const QByteArray &image, qint64 address, int rows, int columns, int size, bool littleEndian)
{
    return gridProfiles(image, address, rows, columns, size, littleEndian).columns;
}

int monotonicKind(
    const QByteArray &image, qint64 address, int count, int size, bool littleEndian, int kind)
{
    if (count < 2 || !validSize(size) || !blockFits(image, address, count, size))
        return 0;
    return kindOf(count, [&](int i) {
        return orderKey(readValue(image, address + qint64(i) * size, size, littleEndian), size,
                        kind);
    });
}

double spanScore(double referenceMin, double referenceMax, double candidateMin, double candidateMax)
{
    const double reference = referenceMax - referenceMin;
    const double candidate = candidateMax - candidateMin;
    if (reference <= 0)
        return candidate <= 0 ? 100 : 0;
    if (candidate <= 0)
        return 0;
    const double ratio = candidate / reference;
    if (ratio < 0.08 || ratio > 12)
        return 0;
    return ratio < 1 ? ratio * 100 : 100 / ratio;
}

double rawMatch(const QList<double> &expected, const QList<double> &read, double tolerancePercent)
{
    if (expected.isEmpty() || read.isEmpty())
        return 0;
    const double fraction = std::max(tolerancePercent / 100, 0.000001);
    const qsizetype k = expected.size(), n = read.size();
    if (k == n)
        return alignedRawMatch(expected, read, fraction, -1, -1);
    if (std::abs(k - n) != 1)
        return 0;
    // One point more on one side: skip it wherever the rest fits best.
    double best = 0;
    const qsizetype longer = std::max(k, n);
    for (qsizetype skip = 0; skip < longer; ++skip)
        best = std::max(best, k > n ? alignedRawMatch(expected, read, fraction, skip, -1)
                                    : alignedRawMatch(expected, read, fraction, -1, skip));
    return best;
}

bool bytesAt(const QByteArray &image, qint64 address, const QByteArray &pattern)
{
    if (pattern.isEmpty() || !blockFits(image, address, pattern.size(), 1))
        return false;
    return std::memcmp(image.constData() + address, pattern.constData(), size_t(pattern.size()))
           == 0;
}

QList<qint64> findAll(const QByteArray &image, const QByteArray &pattern, int maxHits)
{
    QList<qint64> hits;
    if (pattern.isEmpty() || maxHits < 1)
        return hits;
    const QByteArrayMatcher matcher(pattern);
    qsizetype from = 0;
    while (hits.size() < maxHits) {
        const qsizetype hit = matcher.indexIn(image, from);
        if (hit < 0)
            break;
        hits.append(hit);
        from = hit + 1;
    }
    return hits;
}

AxisLocation locateAxis(const QByteArray &image,
                        qint64 expected,
                        int count,
                        int size,
                        const QByteArray &axisFingerprint,
                        double referenceMin,
                        double referenceMax,
                        double factor,
                        double offset,
                        int mode,
                        bool littleEndian,
                        qint64 window,
                        const QList<double> &rawValues,
                        double rawTolerance,
                        int kind)
{
    AxisLocation best;
    if (count < 1 || !validSize(size) || window < 0 || qint64(count) * size > image.size())
        return best;
    // A position farther than 96 bytes never counts, so no wider window is worth rating; the
    // grid is laid through the expected address so that it is always tried.
    const qint64 reach = std::min<qint64>(window, 96);
    const qint64 first = expected - (std::min(reach, std::max<qint64>(expected, 0)) / size) * size;
    const qint64 last = std::min(expected + reach, image.size() - qint64(count) * size);
    // Each position's values are read once and every measure taken from them.
    // The order keys give the fingerprint and the direction, the true values the ranges (for
    // unsigned values the two are the same, and only the keys are kept).
    const bool keysAreValues = kind == ValueUnsigned;
    std::vector<quint32> values(size_t(count), 0);
    std::vector<double> trueValues(keysAreValues ? 0 : size_t(count), 0.0);
    const auto *data = reinterpret_cast<const uchar *>(image.constData());
    const auto valueAt = [&values](qint64 i) { return values[size_t(i)]; };
    for (qint64 p = std::max<qint64>(first, 0); p <= last; p += size) {
        const qint64 distance = std::abs(p - expected);
        if (distance > 96)
            continue;
        for (int i = 0; i < count; ++i) {
            const quint32 raw = decode(data + p + qint64(i) * size, size, littleEndian);
            values[size_t(i)] = orderKey(raw, size, kind);
            if (!keysAreValues)
                trueValues[size_t(i)] = typedValue(raw, size, kind);
        }
        double low, high;
        if (keysAreValues) {
            const auto [lo, hi] = std::minmax_element(values.cbegin(), values.cend());
            low = *lo;
            high = *hi;
        } else {
            const auto [lo, hi] = std::minmax_element(trueValues.cbegin(), trueValues.cend());
            low = *lo;
            high = *hi;
        }
        const double physical = physicalScore(referenceMin, referenceMax, low, high, factor, offset);
        if (physical < 50)
            continue;
        if (!rawValues.isEmpty()
            && rawMatch(rawValues,
                        keysAreValues ? QList<double>(values.cbegin(), values.cend())
                                      : QList<double>(trueValues.cbegin(), trueValues.cend()),
                        rawTolerance)
                   < 70)
            continue;
        const double range = spanScore(referenceMin, referenceMax, low, high);
        double rating = axisFingerprint.isEmpty()
                            ? 30 + 0.12 * range + 0.16 * physical
                            : 0.65 * similarity(axisFingerprint, fingerprintOf(count, valueAt))
                                  + 0.12 * range + 0.16 * physical;
        if (mode == 0) {
            rating += 8;
        } else {
            const int kind = count < 2 ? 0 : kindOf(count, valueAt);
            if (kind == mode)
                rating += 15;
            else if (kind != 0)
                rating -= 15;
        }
        rating = clampScore(rating);
        const double score = clampScore((1.0 - double(distance) / 96.0) * 18 + 0.82 * rating);
        if (best.address < 0 || score > best.score) {
            best.address = p;
            best.score = score;
        }
    }
    return best;
}

Evaluation validateCandidate(const QByteArray &image,
                             const DriverMap &map,
                             qint64 zAddress,
                             const Candidate &candidate,
                             bool littleEndian)
{
    Evaluation ev;
    ev.zAddress = zAddress;
    if (const char *reason = zBlockRefusal(image, map, zAddress))
        return refuse(ev, reason);
    const qint64 count = qint64(map.rows) * map.columns;
    const qint64 zLength = count * map.zElementSize;

    const int zKind = map.zValueKind();
    const ZStatistics stats
        = zStatistics(image, zAddress, count, map.zElementSize, littleEndian, zKind);
    if (!stats.valid || (map.zZeroRatio < 0.35 && stats.zeroRatio > 0.8)
        || (map.zZeroRatio < 0.15 && stats.zeroRatio > 0.6))
        return refuse(ev, "statistiche Z incompatibili");
    const double referenceSpan = map.zMax - map.zMin;
    const double candidateSpan = stats.max - stats.min;
    if (referenceSpan > 0
        && (candidateSpan <= 0 || candidateSpan / referenceSpan < 0.05
            || candidateSpan / referenceSpan > 20))
        return refuse(ev, "statistiche Z incompatibili");
    if (map.zMean > 0 && stats.mean < 0.015 * map.zMean && candidateSpan < 0.1 * referenceSpan)
        return refuse(ev, "statistiche Z incompatibili");
    ev.rangeScore = spanScore(map.zMin, map.zMax, stats.min, stats.max);

    if (map.manualProfile && map.hasZRange
        && outsideRange(stats.min, stats.max, map.zFactor, map.zOffset, map.zRangeA, map.zRangeB,
                        map.rangeTolerance))
        return refuse(ev, "range fisico Z fuori profilo manuale");

    ev.zfp = similarity(map.zFingerprint, fingerprint(image, zAddress, zLength, map.zElementSize,
                                                      littleEndian, zKind));
    if (!map.zFingerprint.isEmpty() && ev.zfp < threshold(map, map.minZFingerprint, 68, 60, 68))
        return refuse(ev, "fingerprint Z bassa");

    if (!map.rowProfile.isEmpty() || !map.columnProfile.isEmpty()) {
        QList<double> rowMeans, columnMeans;
        gridMeans(image, zAddress, map.rows, map.columns, map.zElementSize, littleEndian, zKind,
                  rowMeans, columnMeans);
        if (!map.rowProfile.isEmpty()) {
            ev.rowScore = similarity(map.rowProfile, profileOfMeans(rowMeans));
            if (ev.rowScore < threshold(map, map.minRowProfile, 58, 48, 58))
                return refuse(ev, "profilo righe Z basso");
        }
        if (!map.columnProfile.isEmpty()) {
            ev.columnScore = similarity(map.columnProfile, profileOfMeans(columnMeans));
            if (ev.columnScore < threshold(map, map.minColumnProfile, 58, 48, 58))
                return refuse(ev, "profilo colonne Z basso");
        }
    }

    const double axisThreshold = threshold(map, map.minAxisScore, 62, 52, 70);
    bool xFound = false, yFound = false;
    if (const char *reason = checkAxis(image, map, zAddress, littleEndian, axisRole(map, true),
                                       axisThreshold, ev.xAddress, ev.xScore, xFound))
        return refuse(ev, reason);
    if (const char *reason = checkAxis(image, map, zAddress, littleEndian, axisRole(map, false),
                                       axisThreshold, ev.yAddress, ev.yScore, yFound))
        return refuse(ev, reason);
    const int xSize = std::max(map.xElementSize, 1);
    const int ySize = std::max(map.yElementSize, 1);

    // Axes that run on past their length in their own direction suggest a larger table than
    // the driver's: both continuing by two more points is taken as the wrong geometry.
    if (map.xAxisMode != 0 && map.yAxisMode != 0 && xFound && yFound
        && monotonicKind(image, ev.xAddress, map.columns + 2, xSize, littleEndian, map.xValueKind())
               == map.xAxisMode
        && monotonicKind(image, ev.yAddress, map.rows + 2, ySize, littleEndian, map.yValueKind())
               == map.yAxisMode)
        return refuse(ev, "geometria 2D oltre +/-1: X e Y piu lunghi di almeno 2 elementi");

    const qint64 xLength = qint64(xSize) * map.columns;
    const qint64 yLength = qint64(ySize) * map.rows;
    if (ev.xAddress >= 0 && ev.yAddress >= 0
        && overlaps(ev.xAddress, xLength, ev.yAddress, yLength))
        return refuse(ev, "assi X/Y sovrapposti");
    if (ev.xAddress >= 0 && overlaps(zAddress, zLength, ev.xAddress, xLength))
        return refuse(ev, "Z sovrapposta all'asse X");
    if (ev.yAddress >= 0 && overlaps(zAddress, zLength, ev.yAddress, yLength))
        return refuse(ev, "Z sovrapposta all'asse Y");
    if (map.xAddress >= 0 && ev.xAddress >= 0
        && (map.xAddress < map.zAddress) != (ev.xAddress < zAddress))
        return refuse(ev, "ordine X/Z incoerente");
    if (map.yAddress >= 0 && ev.yAddress >= 0
        && (map.yAddress < map.zAddress) != (ev.yAddress < zAddress))
        return refuse(ev, "ordine Y/Z incoerente");

    const double confidence = 0.08 * ev.rangeScore + 0.34 * ev.zfp
                              + (map.rowProfile.isEmpty() ? 10 : 0.15 * ev.rowScore)
                              + (map.columnProfile.isEmpty() ? 10 : 0.15 * ev.columnScore)
                              + (xFound ? 0.1 * ev.xScore : 7) + (yFound ? 0.1 * ev.yScore : 7)
                              + std::min(2 * candidate.anchorVotes, 8)
                              + std::min(2 * candidate.axisVotes, 4)
                              - std::min(20 * std::abs(map.zZeroRatio - stats.zeroRatio), 10.0);
    ev.confidence = clampScore(confidence);
    if (ev.confidence < threshold(map, map.minConfidence, 74, 68, 80))
        return refuse(ev, "confidence finale bassa");
    ev.accepted = true;
    return ev;
}

Evaluation evaluateAt(const QByteArray &image,
                      const DriverMap &map,
                      qint64 zAddress,
                      bool viaXAnchor,
                      bool viaYAnchor)
{
    Evaluation ev;
    ev.zAddress = zAddress;
    if (const char *reason = zBlockRefusal(image, map, zAddress))
        return refuse(ev, reason);
    const qint64 count = qint64(map.rows) * map.columns;
    const qint64 zLength = count * map.zElementSize;
    const bool littleEndian = map.littleEndian();

    double score = 0;
    if (!map.zFingerprint.isEmpty()) {
        const int kind = map.zValueKind();
        ev.zfp = similarity(map.zFingerprint,
                            fingerprint(image, zAddress, zLength, map.zElementSize, true, kind));
        if (map.zElementSize > 1)
            ev.zfp = std::max(
                ev.zfp, similarity(map.zFingerprint, fingerprint(image, zAddress, zLength,
                                                                 map.zElementSize, false, kind)));
        score += 0.55 * ev.zfp;
    }
    score += (viaXAnchor ? 22.5 : 0) + (viaYAnchor ? 22.5 : 0);

    const auto axisPoints = [&](bool has, qint64 delta, int points, int elementSize, int kind,
                                const QByteArray &axisFingerprint, const QByteArray &signature,
                                qint64 &address, double &axisScore) {
        if (!has)
            return 4.0;
        const int size = std::max(elementSize, 1);
        const qint64 at = zAddress + delta;
        if (!blockFits(image, at, points, size))
            return 0.0;
        address = at;
        if (!axisFingerprint.isEmpty()) {
            axisScore = similarity(axisFingerprint, fingerprint(image, at, qint64(points) * size,
                                                                size, littleEndian, kind));
            return 0.1 * axisScore;
        }
        return bytesAt(image, at, signature) ? 8.0 : 0.0;
    };
    score
        += axisPoints(map.hasXAxis, map.xAxisDelta, map.columns, map.xElementSize, map.xValueKind(),
                      map.xFingerprint, map.xAxisSignature, ev.xAddress, ev.xScore);
    score += axisPoints(map.hasYAxis, map.yAxisDelta, map.rows, map.yElementSize, map.yValueKind(),
                        map.yFingerprint, map.yAxisSignature, ev.yAddress, ev.yScore);
    if (bytesAt(image, zAddress, map.zSignature))
        score += 4;
    if (!map.zTailSignature.isEmpty()
        && bytesAt(image, zAddress + zLength - map.zTailSignature.size(), map.zTailSignature))
        score += 4;
    ev.confidence = clampScore(score);
    ev.accepted = true;
    return ev;
}
