#include "driverscanner.h"

#include "recognition/mapvalidation.h"
#include "recognition/patternindex.h"
#include "recognition/valueindex.h"

#include <QByteArrayView>
#include <QElapsedTimer>
#include <QHash>
#include <QScopeGuard>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <vector>

Q_LOGGING_CATEGORY(lcDriverScanner, "tessa.recognition.scanner")

namespace {

// Addresses and deltas come from a file; anything beyond this is nonsense, and keeping sums
// below it keeps every sum of two of them inside qint64.
constexpr qint64 farAway = qint64(1) << 62;

// a + b, or -1 (outside every image) when either is absurd.
qint64 shifted(qint64 a, qint64 b)
{
    if (a < -farAway || a > farAway || b < -farAway || b > farAway)
        return -1;
    return a + b;
}

qint64 shiftedBack(qint64 a, qint64 b)
{
    if (b < -farAway || b > farAway)
        return -1;
    return shifted(a, -b);
}

// Bytes of a block of a × b elements of size bytes; -1 when a factor is below 1 or the block
// is too large for any image.
qint64 blockBytes(qint64 a, qint64 b, qint64 size)
{
    if (a < 1 || b < 1 || size < 1 || a > farAway / b)
        return -1;
    const qint64 elements = a * b;
    if (elements > farAway / size)
        return -1;
    return elements * size;
}

bool fitsInside(qint64 address, qint64 bytes, qint64 imageSize)
{
    return address >= 0 && bytes >= 1 && bytes <= imageSize && address <= imageSize - bytes;
}

QString hexAddress(qint64 address)
{
    return address < 0 ? QStringLiteral("-1") : QString::number(address, 16);
}

QString oneDecimal(double value)
{
    return QString::number(value, 'f', 1);
}

void appendStatus(DriverMapMatch &match, const QString &text)
{
    if (!match.status.isEmpty())
        match.status += QStringLiteral(" | ");
    match.status += text;
}

// Z blocks taken during this scan, as disjoint closed intervals keyed by their start; an
// earlier map keeps a contested block.
class ClaimedRegions
{
public:
    bool overlaps(qint64 start, qint64 end) const
    {
        auto it = m_regions.upper_bound(end);
        if (it == m_regions.begin())
            return false;
        --it;
        return it->second >= start;
    }
    void claim(qint64 start, qint64 end)
    {
        auto it = m_regions.upper_bound(end);
        while (it != m_regions.begin()) {
            auto previous = std::prev(it);
            if (previous->second < start)
                break;
            start = std::min(start, previous->first);
            end = std::max(end, previous->second);
            it = m_regions.erase(previous);
        }
        m_regions.emplace(start, end);
    }

private:
    std::map<qint64, qint64> m_regions;
};

// The candidate list of the AUTO search: a vote for an offset already listed joins its entry.
class CandidateList
{
public:
    void vote(qint64 offset, int anchorVotes, int axisVotes, double weight)
    {
        if (offset < -farAway || offset > farAway)
            return;
        const auto known = m_index.constFind(offset);
        if (known != m_index.constEnd()) {
            Candidate &candidate = m_candidates[*known];
            candidate.anchorVotes += anchorVotes;
            candidate.axisVotes += axisVotes;
            candidate.score += weight;
            return;
        }
        m_index.insert(offset, int(m_candidates.size()));
        m_candidates.push_back(Candidate{offset, anchorVotes, axisVotes, weight});
    }
    // Best first: anchors count twice as much as axes; ties go to the heavier votes.
    std::vector<Candidate> ordered() const
    {
        std::vector<Candidate> list = m_candidates;
        std::stable_sort(list.begin(), list.end(), [](const Candidate &a, const Candidate &b) {
            const int rankA = 2 * a.anchorVotes + a.axisVotes;
            const int rankB = 2 * b.anchorVotes + b.axisVotes;
            if (rankA != rankB)
                return rankA > rankB;
            return a.score > b.score;
        });
        return list;
    }
    bool isEmpty() const { return m_candidates.empty(); }

private:
    std::vector<Candidate> m_candidates;
    QHash<qint64, int> m_index;
};

double voteWeight(qint32 divisor)
{
    return divisor > 0 ? 1.0 / divisor : 1.0;
}

// What a path found for one map: the addresses and scores, and the shape when the path gives
// one of its own.
struct Found
{
    QString path;
    Evaluation at;
    qint32 rows = 0;
    qint32 columns = 0;
};

// A raw axis sequence found in the image.
struct RawHit
{
    qint64 position = -1;
    bool xRole = true;
    int points = 0;
    double match = 0.0;
};

// Below these similarities the validation refuses a position whatever else it finds (AUTO runs
// with the built-in thresholds), so the costlier checks are skipped there.
constexpr double autoMinimumZFingerprint = 68.0;
constexpr double autoMinimumProfile = 58.0;
constexpr double autoMinimumConfidence = 74.0;
constexpr double autoEarlyStopConfidence = 96.0;
constexpr double rawMinimumMatch = 70.0;
constexpr qint64 signatureAxisReach = 1024;

QList<QByteArray> searchedPatterns(const Driver &driver);

class Scanner
{
public:
    Scanner(const QByteArray &image, const Driver &driver, DriverScanTimings *timings)
        : m_image(image)
        , m_size(image.size())
        , m_timings(timings)
        , m_patterns(image, searchedPatterns(driver), 128)
    {
    }

    DriverScanResult run(const Driver &driver);

private:
    bool autoSearch(const DriverMap &map, Found &found, QString &why) const;
    double confidenceBound(const DriverMap &map,
                           qint64 position,
                           const Candidate &candidate,
                           bool littleEndian,
                           double needed) const;
    bool outcomeAt(const DriverMap &map,
                   qint64 position,
                   const Candidate &candidate,
                   double needed,
                   bool strictly,
                   Evaluation &evaluation) const;
    bool rawSearch(const DriverMap &map, Found &found, QString &message) const;
    void searchRawRole(const DriverMap &map, bool xRole, RawHit &best, int &count) const;
    bool rawCandidates(const QList<double> &expected,
                       int points,
                       int size,
                       bool littleEndian,
                       double fraction,
                       int allowedMisses,
                       std::vector<qint64> &positions) const;
    bool manualAbsolute(const DriverMap &map, Found &found) const;
    bool anchorFallback(const DriverMap &map, Found &found) const;
    bool signatureFallback(const DriverMap &map, Found &found) const;
    bool placeSignatureAxes(
        const DriverMap &map, qint64 z, qint64 &x, qint64 &y, double &axisPoints) const;
    double signatureScore(const DriverMap &map, qint64 z, qint64 &x, qint64 &y) const;
    bool zBlockFree(const DriverMap &map, qint64 z, qint32 rows, qint32 columns) const;
    void accept(const DriverMap &map, DriverMapMatch &match, const Found &found);
    static void logNotFound(const DriverMapMatch &match);
    void addTime(qint64 DriverScanTimings::*field, const QElapsedTimer &timer) const
    {
        if (m_timings)
            m_timings->*field += timer.nsecsElapsed();
    }

    const QByteArray &m_image;
    const qint64 m_size;
    DriverScanTimings *m_timings;
    const PatternIndex m_patterns;
    // Built on first use by the raw axis search: [size - 1][little-endian].
    mutable std::unique_ptr<ValueIndex> m_valueIndexes[2][2];
    // What confidenceBound weighs at a position in one byte order, apart from the candidate's
    // votes. The search windows of a map's candidates overlap, and a position is weighed for
    // every candidate whose window holds it; these are kept for the rest of the map's search.
    struct PositionWeights
    {
        double zfp = NotWeighed; // the fingerprint similarity, once a minimum let it be known
        double zfpRefusedAt = std::numeric_limits<double>::infinity(); // and any minimum above
        double row = NotWeighed; // the two profiles' similarities, weighed together
        double column = NotWeighed;
        ZStatistics stats;
        bool haveStats = false;
    };
    static constexpr double NotWeighed = -2.0;
    // Bounded, so that a search over a large image cannot hold one entry per byte.
    static constexpr qsizetype MaxWeighedPositions = 1 << 18;
    mutable QHash<qint64, PositionWeights> m_weights;
    // The profiles of the candidate window being searched, in each byte order: taken once the
    // positions weighed one by one would have cost as much, so a window where few positions
    // need their profiles is not charged for them all.
    struct WindowProfiles
    {
        GridSpanProfiles span;
        qint64 demand = 0; // values walked for this window's profiles so far
    };
    GridProfiles profilesAt(const DriverMap &map, qint64 position, bool littleEndian) const;
    void searchWindow(qint64 from, qint64 to) const;
    // Two arrays of 8 bytes a value: at most 32 MiB for one window.
    static constexpr qint64 MaxWindowValues = qint64(1) << 21;
    mutable qint64 m_windowFrom = 0;
    mutable qint64 m_windowTo = -1;
    mutable WindowProfiles m_windowProfiles[2];
    ClaimedRegions m_claims;
    double m_confidenceSum = 0.0;
    int m_recognised = 0;
};

// Every byte pattern a scan of driver may look for, so that one walk finds them all.
QList<QByteArray> searchedPatterns(const Driver &driver)
{
    QList<QByteArray> patterns;
    for (const DriverMap &map : driver.maps) {
        for (const DriverAnchor &anchor : map.anchors)
            patterns.append(anchor.pattern);
        if (map.useXAnchor)
            patterns.append(map.xAnchorSignature);
        if (map.useYAnchor)
            patterns.append(map.yAnchorSignature);
        if (map.hasXAxis)
            patterns.append(map.xAxisSignature);
        if (map.hasYAxis)
            patterns.append(map.yAxisSignature);
        if (map.signatureValid && map.zSignature.size() >= 8)
            patterns.append(map.zSignature);
    }
    return patterns;
}

DriverMap withoutManualSettings(DriverMap map)
{
    map.manualProfile = false;
    map.checkXAxis = false;
    map.checkYAxis = false;
    map.matchLevel = 0;
    map.minAnchorHits = -1;
    map.neighbourhood = -1;
    map.axisWindow = -1;
    map.minZFingerprint = -1.0;
    map.minRowProfile = -1.0;
    map.minColumnProfile = -1.0;
    map.minAxisScore = -1.0;
    map.minConfidence = -1.0;
    map.hasZRange = false;
    map.hasXRange = false;
    map.hasYRange = false;
    return map;
}

DriverMapMatch initialMatch(const DriverMap &map)
{
    DriverMapMatch match;
    match.mapKey = map.mapKey;
    match.description = map.description;
    match.unit = map.unit;
    match.compuMethod = map.compuMethod;
    match.displayName = map.displayName;
    match.category = map.category;
    match.enabled = map.enabled;
    match.excluded = map.excluded;
    match.refZAddress = map.zAddress;
    match.refXAddress = map.xAddress;
    match.refYAddress = map.yAddress;
    match.rows = map.rows;
    match.columns = map.columns;
    match.zElementSize = map.zElementSize;
    match.xElementSize = map.xElementSize;
    match.yElementSize = map.yElementSize;
    return match;
}

bool autoReady(const DriverMap &map)
{
    return map.autoEnabled && !map.zFingerprint.isEmpty() && !map.rowProfile.isEmpty()
           && !map.columnProfile.isEmpty();
}

bool rawXUsable(const DriverMap &map)
{
    return map.rawXEnabled && !map.rawXValues.isEmpty();
}

bool rawYUsable(const DriverMap &map)
{
    return map.rawYEnabled && !map.rawYValues.isEmpty();
}

bool manualReady(const DriverMap &map)
{
    return map.manualAbsolute && map.absZAddress >= 0;
}

bool xAnchorUsable(const DriverMap &map)
{
    return map.useXAnchor && !map.xAnchorSignature.isEmpty();
}

bool yAnchorUsable(const DriverMap &map)
{
    return map.useYAnchor && !map.yAnchorSignature.isEmpty();
}

QString nameOf(const DriverMapMatch &match)
{
    return match.displayName.isEmpty() ? match.mapKey : match.displayName;
}

DriverScanResult Scanner::run(const Driver &driver)
{
    DriverScanResult result;
    result.mapCount = qint32(driver.maps.size());
    if (m_image.isEmpty() || driver.maps.isEmpty())
        return result;

    result.matches.reserve(driver.maps.size());
    std::vector<bool> autoWasReady(driver.maps.size(), false);
    for (qsizetype i = 0; i < driver.maps.size(); ++i) {
        const DriverMap &map = driver.maps.at(i);
        DriverMapMatch match = initialMatch(map);
        const bool autoPath = autoReady(map);
        autoWasReady[i] = autoPath;
        if (!autoPath && !rawXUsable(map) && !rawYUsable(map) && !manualReady(map)) {
            match.status = QStringLiteral("Nessun percorso di riconoscimento disponibile");
            logNotFound(match);
            result.matches.append(match);
            continue;
        }

        Found found;
        bool accepted = false;
        if (autoPath) {
            QElapsedTimer timer;
            timer.start();
            QString why;
            accepted = autoSearch(withoutManualSettings(map), found, why);
            match.status = accepted ? QStringLiteral("AUTO: mappa riconosciuta")
                                    : QStringLiteral("AUTO: fallito");
            if (!accepted)
                qCDebug(lcDriverScanner).noquote()
                    << QStringLiteral("[DriverScanner V8] %1 AUTO: %2").arg(nameOf(match), why);
            addTime(&DriverScanTimings::autoNs, timer);
        }
        if (!accepted) {
            QElapsedTimer timer;
            timer.start();
            QString message;
            accepted = rawSearch(map, found, message);
            appendStatus(match, message);
            addTime(&DriverScanTimings::rawNs, timer);
        }
        if (!accepted && manualReady(map)) {
            QElapsedTimer timer;
            timer.start();
            accepted = manualAbsolute(map, found);
            if (accepted)
                appendStatus(match, QStringLiteral("MANUAL_ABSOLUTE: ACCETTATA"));
            addTime(&DriverScanTimings::manualNs, timer);
        }
        if (accepted)
            accept(map, match, found);
        else
            logNotFound(match);
        result.matches.append(match);
    }

    for (qsizetype i = 0; i < driver.maps.size(); ++i) {
        const DriverMap &map = driver.maps.at(i);
        DriverMapMatch &match = result.matches[i];
        if (match.recognised || autoWasReady[i] || !map.signatureValid || map.zFingerprint.isEmpty()
            || !(xAnchorUsable(map) || yAnchorUsable(map)))
            continue;
        QElapsedTimer timer;
        timer.start();
        Found found;
        if (anchorFallback(map, found)) {
            appendStatus(match, QStringLiteral("ANCHOR_FALLBACK: ACCETTATA"));
            accept(map, match, found);
        } else {
            appendStatus(match, QStringLiteral("ANCHOR_FALLBACK: fallito"));
        }
        addTime(&DriverScanTimings::anchorFallbackNs, timer);
    }

    for (qsizetype i = 0; i < driver.maps.size(); ++i) {
        const DriverMap &map = driver.maps.at(i);
        DriverMapMatch &match = result.matches[i];
        const bool anchorTried
            = !map.zFingerprint.isEmpty() && (xAnchorUsable(map) || yAnchorUsable(map));
        if (match.recognised || autoWasReady[i] || anchorTried || !map.signatureValid
            || map.zSignature.isEmpty())
            continue;
        QElapsedTimer timer;
        timer.start();
        Found found;
        if (signatureFallback(map, found)) {
            appendStatus(match, QStringLiteral("SIGNATURE_FALLBACK: ACCETTATA"));
            accept(map, match, found);
        } else {
            appendStatus(match, QStringLiteral("SIGNATURE_FALLBACK: fallito"));
        }
        addTime(&DriverScanTimings::signatureFallbackNs, timer);
    }

    result.recognisedCount = m_recognised;
    result.averageConfidence = m_recognised > 0 ? m_confidenceSum / m_recognised : 0.0;
    return result;
}

void Scanner::accept(const DriverMap &map, DriverMapMatch &match, const Found &found)
{
    match.zAddress = found.at.zAddress;
    match.xAddress = found.at.xAddress;
    match.yAddress = found.at.yAddress;
    match.confidence = found.at.confidence;
    if (found.rows >= 1)
        match.rows = found.rows;
    if (found.columns >= 1)
        match.columns = found.columns;
    match.zFound = found.at.zAddress >= 0;
    match.xFound = map.hasXAxis && found.at.xAddress >= 0;
    match.yFound = map.hasYAxis && found.at.yAddress >= 0;
    match.recognised = true;
    if (match.status.isEmpty())
        match.status = QStringLiteral("%1: ACCETTATA").arg(found.path);
    const qint64 bytes = blockBytes(match.rows, match.columns, std::max(1, map.zElementSize));
    if (found.at.zAddress >= 0 && bytes > 0)
        m_claims.claim(found.at.zAddress, found.at.zAddress + bytes - 1);
    m_confidenceSum += found.at.confidence;
    ++m_recognised;
    qCInfo(lcDriverScanner).noquote()
        << QStringLiteral("[DriverScanner V8] %1 -> OK | Z=0x%2 X=0x%3 Y=0x%4 conf=%5 zfp=%6 "
                          "row=%7 col=%8 x=%9 y=%10")
               .arg(nameOf(match), hexAddress(found.at.zAddress), hexAddress(found.at.xAddress),
                    hexAddress(found.at.yAddress), oneDecimal(found.at.confidence),
                    oneDecimal(found.at.zfp), oneDecimal(found.at.rowScore),
                    oneDecimal(found.at.columnScore), oneDecimal(found.at.xScore))
               .arg(oneDecimal(found.at.yScore));
}

void Scanner::logNotFound(const DriverMapMatch &match)
{
    qCInfo(lcDriverScanner).noquote()
        << QStringLiteral("[DriverScanner V8] %1 -> NON TROVATA").arg(nameOf(match));
}

bool Scanner::zBlockFree(const DriverMap &map, qint64 z, qint32 rows, qint32 columns) const
{
    const qint64 bytes = blockBytes(rows, columns, std::max(1, map.zElementSize));
    return fitsInside(z, bytes, m_size) && !m_claims.overlaps(z, z + bytes - 1);
}

inline quint32 valueAt(const uchar *p, int size, bool littleEndian)
{
    switch (size) {
    case 1:
        return p[0];
    case 2:
        return littleEndian ? quint32(p[0] | p[1] << 8) : quint32(p[0] << 8 | p[1]);
    case 4:
        return littleEndian
                   ? quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24
                   : quint32(p[3]) | quint32(p[2]) << 8 | quint32(p[1]) << 16 | quint32(p[0]) << 24;
    default:
        return 0;
    }
}

// The value's order key for its kind, as fingerprints take it (mapvalidation's orderKey).
inline quint32 keyAt(const uchar *p, int size, bool littleEndian, int kind)
{
    const quint32 raw = valueAt(p, size, littleEndian);
    return kind == ValueUnsigned ? raw : orderKey(raw, size, kind);
}

// The similarity of the Z fingerprint at position with the driver's, as
// similarity(reference, fingerprint(...)) gives it, without their allocations; -1 as soon as the
// distance shows it stays below minimum. The neighbourhood search asks this of thousands of
// positions per map.
double fingerprintSimilarity(const QByteArray &image,
                             qint64 position,
                             qint64 count,
                             int size,
                             bool littleEndian,
                             int kind,
                             const QByteArray &reference,
                             double minimum)
{
    if ((size != 1 && size != 2 && size != 4) || count < 1 || position < 0
        || count > (image.size() - position) / size)
        return -1.0;
    const qint64 k = std::min<qint64>(count, 128);
    if (reference.size() != k)
        return -1.0;
    const uchar *data = reinterpret_cast<const uchar *>(image.constData()) + position;
    quint32 samples[128];
    for (qint64 j = 0; j < k; ++j) {
        const qint64 index = k == 1 ? 0 : j * (count - 1) / (k - 1);
        samples[j] = keyAt(data + index * size, size, littleEndian, kind);
    }
    const auto [lo, hi] = std::minmax_element(samples, samples + k);
    const quint64 low = *lo, width = quint64(*hi) - low;
    const double budget = (1.0 - minimum / 100.0) * 15.0 * double(k) + 1.0;
    qint64 sum = 0;
    for (qint64 j = 0; j < k; ++j) {
        const int scaled
            = width == 0
                  ? 8
                  : int(std::min<quint64>(15, ((samples[j] - low) * 15 + width / 2) / width));
        sum += std::abs(int(uchar(reference.at(j))) - scaled);
        if (sum > budget)
            return -1.0;
    }
    const double result = std::clamp((1.0 - double(sum) / (15.0 * double(k))) * 100.0, 0.0, 100.0);
    return result >= minimum ? result : -1.0;
}

// The highest confidence the validation could give a position in one byte order, from all it
// weighs but the axes (which add at most 10 each); -1 when the fingerprint or a profile
// already refuses it, or the fingerprint keeps it below needed. Far cheaper than the
// validation, which searches for the axes.
double Scanner::confidenceBound(const DriverMap &map,
                                qint64 position,
                                const Candidate &candidate,
                                bool littleEndian,
                                double needed) const
{
    const int size = map.zElementSize;
    const qint64 count = qint64(map.rows) * map.columns;
    // With every other term at its best, the fingerprint alone must bring the rest.
    const double votes
        = std::min(2 * candidate.anchorVotes, 8) + std::min(2 * candidate.axisVotes, 4);
    const double zfpNeeded
        = std::max(autoMinimumZFingerprint, (needed - 1e-6 - 20.0 - votes - 38.0) / 0.34);
    if (m_weights.size() >= MaxWeighedPositions)
        m_weights.clear();
    PositionWeights &weighed = m_weights[2 * position + (littleEndian ? 1 : 0)];
    // The similarity stops early once it cannot reach its minimum; a refusal at one minimum
    // holds for every higher one, and a similarity computed whole holds for any.
    if (weighed.zfp == NotWeighed && zfpNeeded < weighed.zfpRefusedAt) {
        const double similarity
            = fingerprintSimilarity(m_image, position, count, size, littleEndian, map.zValueKind(),
                                    map.zFingerprint, zfpNeeded);
        if (similarity < 0)
            weighed.zfpRefusedAt = zfpNeeded;
        else
            weighed.zfp = similarity;
    }
    if (weighed.zfp == NotWeighed || weighed.zfp < zfpNeeded)
        return -1.0;
    const double zfp = weighed.zfp;
    if (weighed.row == NotWeighed) {
        const GridProfiles profiles = profilesAt(map, position, littleEndian);
        weighed.row = similarity(map.rowProfile, profiles.rows);
        weighed.column = similarity(map.columnProfile, profiles.columns);
    }
    const double row = weighed.row;
    if (row < autoMinimumProfile)
        return -1.0;
    const double column = weighed.column;
    if (column < autoMinimumProfile)
        return -1.0;
    if (!weighed.haveStats) {
        weighed.stats = zStatistics(m_image, position, count, size, littleEndian, map.zValueKind());
        weighed.haveStats = true;
    }
    const ZStatistics &stats = weighed.stats;
    const double bound = 0.08 * spanScore(map.zMin, map.zMax, stats.min, stats.max) + 0.34 * zfp
                         + 0.15 * row + 0.15 * column + 10.0 + 10.0
                         + std::min(2 * candidate.anchorVotes, 8)
                         + std::min(2 * candidate.axisVotes, 4)
                         - std::min(20 * std::abs(map.zZeroRatio - stats.zeroRatio), 10.0);
    // A hair of room for sums taken in another order.
    return std::min(bound, 100.0) + 1e-9;
}

void Scanner::searchWindow(qint64 from, qint64 to) const
{
    m_windowFrom = from;
    m_windowTo = to;
    for (WindowProfiles &profiles : m_windowProfiles)
        profiles = {};
}

GridProfiles Scanner::profilesAt(const DriverMap &map, qint64 position, bool littleEndian) const
{
    const int size = map.zElementSize;
    WindowProfiles &window = m_windowProfiles[littleEndian ? 1 : 0];
    if (!window.span.covers(position) && position >= m_windowFrom && position <= m_windowTo) {
        const qint64 blockValues = qint64(map.rows) * map.columns;
        const qint64 spanValues = (m_windowTo - m_windowFrom) / size + blockValues;
        window.demand += blockValues;
        if (window.demand >= spanValues)
            window.span = GridSpanProfiles(m_image, m_windowFrom, m_windowTo, map.rows, map.columns,
                                           size, littleEndian, MaxWindowValues, map.zValueKind());
    }
    if (window.span.covers(position))
        return window.span.at(position);
    return gridProfiles(m_image, position, map.rows, map.columns, size, littleEndian,
                        map.zValueKind());
}

// The outcome at one position as the validation gives it (the map's byte order, and the other
// one when that is refused), or nothing when neither order can come to `needed`: a position
// that cannot change the search's result is not validated. strictly: needed must be exceeded.
bool Scanner::outcomeAt(const DriverMap &map,
                        qint64 position,
                        const Candidate &candidate,
                        double needed,
                        bool strictly,
                        Evaluation &evaluation) const
{
    const bool littleEndian = map.littleEndian();
    const bool twoOrders = map.zElementSize > 1;
    double bound = confidenceBound(map, position, candidate, littleEndian, needed);
    const double otherBound
        = twoOrders ? confidenceBound(map, position, candidate, !littleEndian, needed) : -1.0;
    const auto reaches = [&](double value) { return strictly ? value > needed : value >= needed; };
    if (!reaches(bound) && !reaches(otherBound))
        return false;
    // The other order counts only when the map's own is refused, which must then be known.
    if (!reaches(bound))
        bound = confidenceBound(map, position, candidate, littleEndian, autoMinimumConfidence);
    if (bound >= autoMinimumConfidence) {
        evaluation = validateCandidate(m_image, map, position, candidate, littleEndian);
        if (evaluation.accepted)
            return true;
    }
    if (otherBound >= autoMinimumConfidence) {
        evaluation = validateCandidate(m_image, map, position, candidate, !littleEndian);
        return evaluation.accepted;
    }
    return false;
}

bool Scanner::autoSearch(const DriverMap &map, Found &found, QString &why) const
{
    m_weights.clear(); // weights belong to one map
    const auto forget = qScopeGuard([this] {
        m_weights.clear();
        searchWindow(0, -1);
    });
    if (!map.signatureValid) {
        why = QStringLiteral("firma driver non valida");
        return false;
    }
    if (!map.autoEnabled) {
        why = QStringLiteral("dati V5 incompleti: anchor=%1 row=%2 col=%3 zfp=%4")
                  .arg(map.anchors.size())
                  .arg(map.rowProfile.size())
                  .arg(map.columnProfile.size())
                  .arg(map.zFingerprint.size());
        return false;
    }
    if (map.rows < 1 || map.columns < 1) {
        why = QStringLiteral("dimensioni mappa non valide");
        return false;
    }

    CandidateList candidates;
    for (const DriverAnchor &anchor : map.anchors) {
        if (anchor.pattern.isEmpty())
            continue;
        for (qint64 hit : m_patterns.hits(anchor.pattern, 48))
            candidates.vote(shifted(hit, anchor.delta), 1, 0, voteWeight(anchor.divisor));
    }
    if (xAnchorUsable(map)) {
        for (qint64 hit : m_patterns.hits(map.xAnchorSignature, 48))
            candidates.vote(shifted(hit, map.xAnchorDelta), 1, 0, voteWeight(map.xAnchorDivisor));
    }
    if (yAnchorUsable(map)) {
        for (qint64 hit : m_patterns.hits(map.yAnchorSignature, 48))
            candidates.vote(shifted(hit, map.yAnchorDelta), 1, 0, voteWeight(map.yAnchorDivisor));
    }
    if (map.hasXAxis && !map.xAxisSignature.isEmpty()) {
        for (qint64 hit : m_patterns.hits(map.xAxisSignature, 64))
            candidates.vote(shiftedBack(hit, map.xAxisDelta), 0, 1, 0.0);
    }
    if (map.hasYAxis && !map.yAxisSignature.isEmpty()) {
        for (qint64 hit : m_patterns.hits(map.yAxisSignature, 64))
            candidates.vote(shiftedBack(hit, map.yAxisDelta), 0, 1, 0.0);
    }
    if (map.zAddress >= 0 && map.zAddress < m_size)
        candidates.vote(map.zAddress, 0, 0, 0.0);
    if (candidates.isEmpty()) {
        why = QStringLiteral("nessuna regione candidata dagli anchor/assi");
        return false;
    }

    why = QStringLiteral("nessun candidato ha superato la validazione V5");
    const qint64 zBytes = blockBytes(map.rows, map.columns, map.zElementSize);
    // The window keeps a row and a column of room after the block; a block that cannot fit at
    // all is refused at every position, so it is not searched.
    const qint64 room = blockBytes(qint64(map.rows) + 1, qint64(map.columns) + 1, map.zElementSize);
    if (zBytes < 0 || zBytes > m_size || room < 0)
        return false;
    const qint64 lastPosition = m_size - room;
    const int size = map.zElementSize;
    const qint64 step = size < 2 ? 1 : size;

    for (const Candidate &candidate : candidates.ordered()) {
        qint64 radius = candidate.anchorVotes > 0 ? 2304 : 1280;
        if (map.manualProfile) {
            const bool wide = map.minAnchorHits < 0 ? candidate.anchorVotes > 0
                                                    : candidate.anchorVotes >= map.minAnchorHits;
            if (map.neighbourhood >= 0)
                radius = map.neighbourhood;
            else if (wide)
                radius = map.matchLevel == 4 ? 6144 : 2304;
            else
                radius = map.matchLevel == 4 ? 4096 : 1280;
        }
        qint64 from = std::max<qint64>(0, candidate.offset - std::min(radius, farAway));
        from -= from % size;
        const qint64 to
            = std::min(shifted(candidate.offset, std::min(radius, farAway)), lastPosition);
        searchWindow(from, to);
        // Positions are taken in ascending order: the first to reach 96 wins, else the best.
        // The candidate's own position is the likeliest; when it reaches 96, only an earlier
        // position that also reaches 96 can take its place, and the rest need no validation.
        Evaluation best;
        Evaluation strong;
        const bool candidateVisited
            = candidate.offset >= from && candidate.offset <= to
              && (candidate.offset - from) % step == 0
              && !m_claims.overlaps(candidate.offset, candidate.offset + zBytes - 1);
        const bool candidateStrong = candidateVisited
                                     && outcomeAt(map, candidate.offset, candidate,
                                                  autoEarlyStopConfidence, false, strong);
        for (qint64 position = from; position <= to; position += step) {
            if (candidateStrong && position == candidate.offset) {
                best = strong;
                break;
            }
            if (m_claims.overlaps(position, position + zBytes - 1))
                continue;
            Evaluation evaluation;
            const bool accepted
                = candidateStrong ? outcomeAt(map, position, candidate, autoEarlyStopConfidence,
                                              false, evaluation)
                  : best.accepted
                      ? outcomeAt(map, position, candidate, best.confidence, true, evaluation)
                      : outcomeAt(map, position, candidate, autoMinimumConfidence, false,
                                  evaluation);
            if (accepted && (!best.accepted || evaluation.confidence > best.confidence)) {
                best = evaluation;
                if (best.confidence >= autoEarlyStopConfidence)
                    break;
            }
        }
        if (best.accepted) {
            found.path = QStringLiteral("AUTO");
            found.at = best;
            return true;
        }
    }
    return false;
}

// A read value counts towards a raw match only within the tolerance of an expected one.
inline bool withinTolerance(double value, double expected, double fraction)
{
    const double tolerance = std::abs(expected) * fraction;
    return std::abs(value - expected) < (tolerance > 1.0 ? tolerance : 1.0);
}

void Scanner::searchRawRole(const DriverMap &map, bool xRole, RawHit &best, int &count) const
{
    const QList<double> &expected = xRole ? map.rawXValues : map.rawYValues;
    const int points = xRole ? map.columns : map.rows;
    const double tolerancePercent = xRole ? map.rawXTolerance : map.rawYTolerance;
    const int size = std::max(1, xRole ? map.xElementSize : map.yElementSize);
    const qint64 bytes = blockBytes(points, 1, size);
    if (points < 1 || std::abs(expected.size() - points) > 1 || !fitsInside(0, bytes, m_size)
        || (size != 1 && size != 2 && size != 4))
        return;
    // A tolerance that is not a number (a damaged driver) allows only the values themselves.
    const double fraction
        = std::isnan(tolerancePercent) ? 0.000001 : std::max(tolerancePercent / 100.0, 0.000001);
    const bool littleEndian = map.littleEndian();
    const int kind = xRole ? map.xValueKind() : map.yValueKind();
    const auto typedAt
        = [&](qint64 at) { return readTypedValue(m_image, at, size, littleEndian, kind); };
    const bool aligned = expected.size() == points;
    // A match of 70 needs at least 70 % of the values within tolerance; with one point skipped
    // a value may meet its neighbour's expectation, so only the neighbours are tried then.
    const int allowedMisses = points - int(std::ceil(0.7 * points)) + (aligned ? 0 : 1);
    QList<double> read(points);
    const auto rate = [&](qint64 position) {
        int misses = 0;
        for (int i = 0; i < points && misses <= allowedMisses; ++i) {
            const double value = typedAt(position + qint64(i) * size);
            bool near = false;
            for (int j = aligned ? i : i - 1; j <= (aligned ? i : i + 1) && !near; ++j) {
                if (j >= 0 && j < expected.size())
                    near = withinTolerance(value, expected.at(j), fraction);
            }
            if (!near)
                ++misses;
        }
        if (misses > allowedMisses)
            return;
        for (int i = 0; i < points; ++i)
            read[i] = typedAt(position + qint64(i) * size);
        const double match = rawMatch(expected, read, tolerancePercent);
        if (match < rawMinimumMatch)
            return;
        ++count;
        if (match > best.match) {
            best.position = position;
            best.xRole = xRole;
            best.points = points;
            best.match = match;
        }
    };

    std::vector<qint64> positions;
    // The value index holds unsigned values: other kinds rate every position.
    if (kind == ValueUnsigned
        && rawCandidates(expected, points, size, littleEndian, fraction, allowedMisses,
                         positions)) {
        for (qint64 position : positions)
            rate(position);
        return;
    }
    for (qint64 position = 0; position <= m_size - bytes; position += size)
        rate(position);
}

// A position can match only when at most allowedMisses of its values miss their expectation,
// so among any allowedMisses + 1 of its points one at least holds a value near its expected
// one (or a neighbour's, with a point skipped). The points whose values are rarest in the
// image name every position worth rating, in ascending order. False when that would not save
// work over rating every position.
bool Scanner::rawCandidates(const QList<double> &expected,
                            int points,
                            int size,
                            bool littleEndian,
                            double fraction,
                            int allowedMisses,
                            std::vector<qint64> &positions) const
{
    if (size != 1 && size != 2)
        return false;
    std::unique_ptr<ValueIndex> &index = m_valueIndexes[size - 1][littleEndian ? 1 : 0];
    if (!index)
        index = std::make_unique<ValueIndex>(m_image, size, littleEndian);
    if (!index->isValid())
        return false;
    const bool aligned = expected.size() == points;
    const auto rangeOf = [&](int j, int &lo, int &hi) {
        const double e = expected.at(j);
        if (!std::isfinite(e)) {
            lo = 1;
            hi = 0;
            return;
        }
        const double reach = std::max(std::abs(e) * fraction, 1.0);
        lo = int(std::clamp(std::floor(e - reach) + 1.0, -1.0, double(index->maxValue() + 1)));
        hi = int(std::clamp(std::ceil(e + reach) - 1.0, -1.0, double(index->maxValue() + 1)));
    };
    struct Point
    {
        int i;
        qint64 elements;
    };
    std::vector<Point> byRarity;
    for (int i = 0; i < points; ++i) {
        qint64 elements = 0;
        for (int j = aligned ? i : i - 1; j <= (aligned ? i : i + 1); ++j) {
            if (j < 0 || j >= expected.size())
                continue;
            int lo, hi;
            rangeOf(j, lo, hi);
            elements += index->countIn(lo, hi);
        }
        byRarity.push_back({i, elements});
    }
    std::stable_sort(byRarity.begin(), byRarity.end(),
                     [](const Point &a, const Point &b) { return a.elements < b.elements; });
    const int chosen = std::min(points, allowedMisses + 1);
    qint64 total = 0;
    for (int k = 0; k < chosen; ++k)
        total += byRarity[size_t(k)].elements;
    if (total > m_size / size / 4)
        return false;

    const qint64 last = m_size - qint64(points) * size;
    std::vector<qint64> hits;
    for (int k = 0; k < chosen; ++k) {
        const int i = byRarity[size_t(k)].i;
        for (int j = aligned ? i : i - 1; j <= (aligned ? i : i + 1); ++j) {
            if (j < 0 || j >= expected.size())
                continue;
            int lo, hi;
            rangeOf(j, lo, hi);
            hits.clear();
            index->appendIn(lo, hi, hits);
            for (qint64 q : hits) {
                const qint64 position = q - qint64(i) * size;
                if (position >= 0 && position <= last)
                    positions.push_back(position);
            }
        }
    }
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    return true;
}

bool Scanner::rawSearch(const DriverMap &map, Found &found, QString &message) const
{
    if (!rawXUsable(map) && !rawYUsable(map)) {
        message = QStringLiteral("MANUAL_AXIS: nessuna firma RAW X/Y configurata");
        return false;
    }
    RawHit hit;
    int count = 0;
    if (rawXUsable(map) && map.hasXAxis)
        searchRawRole(map, true, hit, count);
    if (rawYUsable(map) && map.hasYAxis)
        searchRawRole(map, false, hit, count);
    if (count == 0) {
        message = QStringLiteral("MANUAL_AXIS: firma RAW NON trovata nel firmware");
        return false;
    }

    // The axis found fixes Z through its delta, and Z the other axis; a few element steps
    // around that Z are tried, since an axis stored with a header of its own may sit a little
    // off its reference delta.
    const QString role = hit.xRole ? QStringLiteral("X") : QStringLiteral("Y");
    const int zSize = std::max(1, map.zElementSize);
    const qint64 deterministicZ
        = shiftedBack(hit.position, hit.xRole ? map.xAxisDelta : map.yAxisDelta);
    const qint64 zBytes = blockBytes(map.rows, map.columns, zSize);
    const int axisSize = std::max(1, hit.xRole ? map.xElementSize : map.yElementSize);
    const qint64 axisEnd = hit.position + qint64(hit.points) * axisSize - 1;
    qint64 chosenZ = -1;
    double chosenZfp = -1.0;
    for (int step : {0, -1, 1, -2, 2, -3, 3, -4, 4}) {
        const qint64 z = shifted(deterministicZ, qint64(step) * zSize);
        if (zBytes < 0 || !zBlockFree(map, z, map.rows, map.columns)
            || (z <= axisEnd && hit.position <= z + zBytes - 1))
            continue;
        const double zfp
            = map.zFingerprint.isEmpty()
                  ? 0.0
                  : similarity(map.zFingerprint, fingerprint(m_image, z, zBytes, zSize,
                                                             map.littleEndian(), map.zValueKind()));
        if (zfp > chosenZfp) {
            chosenZ = z;
            chosenZfp = zfp;
        }
    }
    const QString matchText = oneDecimal(hit.match);
    if (chosenZ < 0) {
        message = QStringLiteral("RAW_ASSISTITO: sequenza RAW TROVATA a 0x%1 (ruolo provato=%2, "
                                 "match=%3%), ma il layout X/Y/Z deterministico non e' stato "
                                 "costruito")
                      .arg(QString::number(hit.position, 16), role, matchText);
        return false;
    }

    found.path = QStringLiteral("RAW_ASSISTITO");
    found.at.zAddress = chosenZ;
    const auto otherAxis = [&](bool has, qint64 delta, int elementSize, int points) -> qint64 {
        if (!has)
            return -1;
        const qint64 address = shifted(chosenZ, delta);
        return fitsInside(address, blockBytes(points, 1, std::max(1, elementSize)), m_size)
                   ? address
                   : -1;
    };
    if (hit.xRole) {
        found.at.xAddress = hit.position;
        found.at.yAddress = otherAxis(map.hasYAxis, map.yAxisDelta, map.yElementSize, map.rows);
        found.at.xScore = hit.match;
    } else {
        found.at.yAddress = hit.position;
        found.at.xAddress = otherAxis(map.hasXAxis, map.xAxisDelta, map.xElementSize, map.columns);
        found.at.yScore = hit.match;
    }
    found.rows = map.rows;
    found.columns = map.columns;
    found.at.confidence = std::clamp(97.0 + 0.02 * hit.match, 95.0, 99.0);
    found.at.zfp = std::max(0.0, chosenZfp);
    message
        = QStringLiteral("RAW_ASSISTITO: sequenza RAW TROVATA a 0x%1 (ruolo reale=%2, punti "
                         "asse=%3, match=%4%, candidati RAW=%9). Z deterministica=0x%5, Z "
                         "scelta=0x%6, geometria=%7x%8, byte Z=%10. ACCETTATA")
              .arg(QString::number(hit.position, 16), role, QString::number(hit.points), matchText,
                   hexAddress(deterministicZ), QString::number(chosenZ, 16),
                   QString::number(map.rows), QString::number(map.columns), QString::number(count))
              .arg(zSize);
    return true;
}

bool Scanner::manualAbsolute(const DriverMap &map, Found &found) const
{
    const qint32 rows = map.absRows >= 1 ? map.absRows : map.rows;
    const qint32 columns = map.absColumns >= 1 ? map.absColumns : map.columns;
    if (!zBlockFree(map, map.absZAddress, rows, columns))
        return false;
    if (map.absXAddress >= 0
        && !fitsInside(map.absXAddress, blockBytes(columns, 1, std::max(1, map.xElementSize)),
                       m_size))
        return false;
    if (map.absYAddress >= 0
        && !fitsInside(map.absYAddress, blockBytes(rows, 1, std::max(1, map.yElementSize)), m_size))
        return false;
    found.path = QStringLiteral("MANUAL_ABSOLUTE");
    found.at.zAddress = map.absZAddress;
    found.at.xAddress = map.absXAddress;
    found.at.yAddress = map.absYAddress;
    found.rows = rows;
    found.columns = columns;
    found.at.confidence = 100.0;
    return true;
}

bool Scanner::anchorFallback(const DriverMap &map, Found &found) const
{
    const auto addresses = [&](const QByteArray &signature, qint64 delta) {
        QList<qint64> list;
        for (qint64 hit : m_patterns.hits(signature, 64)) {
            const qint64 address = shifted(hit, delta);
            if (address >= 0 && address < m_size)
                list.append(address);
        }
        std::sort(list.begin(), list.end());
        list.erase(std::unique(list.begin(), list.end()), list.end());
        return list;
    };
    const bool viaX = xAnchorUsable(map);
    const bool viaY = yAnchorUsable(map);
    QList<qint64> candidates;
    if (viaX && viaY) {
        const QList<qint64> xSet = addresses(map.xAnchorSignature, map.xAnchorDelta);
        const QList<qint64> ySet = addresses(map.yAnchorSignature, map.yAnchorDelta);
        std::set_intersection(xSet.begin(), xSet.end(), ySet.begin(), ySet.end(),
                              std::back_inserter(candidates));
    } else if (viaX) {
        candidates = addresses(map.xAnchorSignature, map.xAnchorDelta);
    } else {
        candidates = addresses(map.yAnchorSignature, map.yAnchorDelta);
    }

    Evaluation best;
    bool haveBest = false;
    for (qint64 address : candidates) {
        if (!zBlockFree(map, address, map.rows, map.columns))
            continue;
        const Evaluation evaluation = evaluateAt(m_image, map, address, viaX, viaY);
        if (evaluation.accepted && (!haveBest || evaluation.confidence > best.confidence)) {
            best = evaluation;
            haveBest = true;
        }
    }
    if (!haveBest)
        return false;
    const bool both = viaX && viaY;
    const double minimumScore = both ? 72.0 : 82.0;
    const double minimumZfp = both ? 72.0 : 86.0;
    if (best.confidence < minimumScore || best.zfp < minimumZfp || best.zAddress < 0
        || best.confidence < 65.0)
        return false;
    found.path = QStringLiteral("ANCHOR_FALLBACK");
    found.at = best;
    return true;
}

// Finds the axes of a Z position by their reference bytes: at their reference delta, or else
// nearby. axisPoints gets 10 per axis found (or without bytes to look for), 5 per axis found
// only nearby.
bool Scanner::placeSignatureAxes(
    const DriverMap &map, qint64 z, qint64 &x, qint64 &y, double &axisPoints) const
{
    axisPoints = 0.0;
    const auto place = [&](bool has, const QByteArray &signature, qint64 delta, qint64 &axis) {
        axis = -1;
        if (signature.isEmpty()) {
            axisPoints += 10.0;
            return true;
        }
        const qint64 exact = shifted(z, delta);
        if (has && bytesAt(m_image, exact, signature)) {
            axis = exact;
            axisPoints += 10.0;
            return true;
        }
        const qint64 from = std::max<qint64>(0, z - signatureAxisReach);
        const qint64 end = std::min(m_size, z + signatureAxisReach + signature.size());
        if (end - from < signature.size())
            return false;
        const qsizetype at = QByteArrayView(m_image).sliced(from, end - from).indexOf(signature);
        if (at < 0)
            return false;
        axis = from + at;
        axisPoints += 5.0;
        return true;
    };
    return place(map.hasXAxis, map.xAxisSignature, map.xAxisDelta, x)
           && place(map.hasYAxis, map.yAxisSignature, map.yAxisDelta, y);
}

// 0..100: the Z signature in place gives 60; its tail, the axes and the Z fingerprint add up
// to 10 each, so that only a copy with all of them in place reaches 100.
double Scanner::signatureScore(const DriverMap &map, qint64 z, qint64 &x, qint64 &y) const
{
    const int size = std::max(1, map.zElementSize);
    const qint64 zBytes = blockBytes(map.rows, map.columns, size);
    double axisPoints = 0.0;
    if (!zBlockFree(map, z, map.rows, map.columns) || !bytesAt(m_image, z, map.zSignature)
        || !placeSignatureAxes(map, z, x, y, axisPoints))
        return -1.0;
    double score = 60.0 + axisPoints;
    const QByteArray &tail = map.zTailSignature;
    if (tail.isEmpty()
        || (tail.size() <= zBytes && bytesAt(m_image, z + zBytes - tail.size(), tail)))
        score += 10.0;
    if (map.zFingerprint.isEmpty())
        score += 10.0;
    else
        score += 0.1
                 * similarity(map.zFingerprint, fingerprint(m_image, z, zBytes, size,
                                                            map.littleEndian(), map.zValueKind()));
    return std::min(score, 100.0);
}

bool Scanner::signatureFallback(const DriverMap &map, Found &found) const
{
    constexpr double minimumScore = 70.0;
    qint64 bestZ = -1, bestX = -1, bestY = -1;
    double bestScore = -1.0;
    if (map.zAddress >= 0) {
        bestScore = signatureScore(map, map.zAddress, bestX, bestY);
        bestZ = map.zAddress;
    }
    if (bestScore < minimumScore && map.zSignature.size() >= 8) {
        bestScore = -1.0;
        for (qint64 hit : m_patterns.hits(map.zSignature, 128)) {
            qint64 x = -1, y = -1;
            const double score = signatureScore(map, hit, x, y);
            if (score > bestScore) {
                bestScore = score;
                bestZ = hit;
                bestX = x;
                bestY = y;
                if (score >= 100.0)
                    break;
            }
        }
    }
    if (bestScore < minimumScore)
        return false;
    found.path = QStringLiteral("SIGNATURE_FALLBACK");
    found.at.zAddress = bestZ;
    found.at.xAddress = map.xAxisSignature.isEmpty() ? -1 : bestX;
    found.at.yAddress = map.yAxisSignature.isEmpty() ? -1 : bestY;
    found.at.confidence = bestScore;
    return true;
}

} // namespace

DriverScanResult
scanDriver(const QByteArray &firmwareBytes, const Driver &driver, DriverScanTimings *timings)
{
    Scanner scanner(firmwareBytes, driver, timings);
    return scanner.run(driver);
}
