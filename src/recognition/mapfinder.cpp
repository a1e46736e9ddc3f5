#include "recognition/mapfinder.h"

#include "recognition/codereferences.h"

#include <QtGlobal>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <limits>
#include <map>
#include <numeric>
#include <optional>
#include <tuple>
#include <vector>

// A candidate's element kinds are the value kinds of definitions, number for number.
static_assert(int(FinderElement::Unsigned) == ValueUnsigned
              && int(FinderElement::Signed) == ValueSigned
              && int(FinderElement::Float) == ValueFloat);

namespace {

// Longest axis and largest table the finder proposes: wider axes and larger blocks are not
// calibration tables of the control units this is for, and bounding them bounds the work.
constexpr int MaxAxisPoints = 32;
constexpr int MaxCells = 1024;
constexpr int MinCurvePoints = 6;
// What a name of the code at a block's first value adds to its score: as much as a count and
// axis stored right after its last value do.
constexpr double NamedStartScore = 8.0;
// What a name of the code at a table's stored counts adds: less, since the counts and axes
// already vouch for the table; the name says the code reads it, which short runs of counted
// bytes met by chance in code or data seldom are.
constexpr double NamedHeaderScore = 5.0;
// Widest record of a list of records looked for: records are a few values.
constexpr int MaxRecordColumns = 16;
// Fewest rows or columns of a table the finder proposes without a stored axis.
constexpr int MinTableSide = 4;
// Most rows of a list proposed: the longest side a definition file holds.
constexpr qint64 MaxListRows = 65535;
// Records a list is judged over at a time: as many as the tallest table has rows.
constexpr int RecordWindow = MaxAxisPoints;
// How many of the most frequent axis lengths size the blocks without stored axes.
constexpr int MaxLengths = 10;
// E|X - Y| of two independent draws is 2σ/√π: the mean step of values in no order.
constexpr double RandomStep = 1.1283791670955126;
// The same against the mean distance from the median: 4/3 for uniform values, 1.41 for normal.
constexpr double SpreadStep = 1.37;

quint32 rawAt(const uint8_t *image, qint64 p, int bytes, bool littleEndian)
{
    quint32 v = 0;
    for (int i = 0; i < bytes; ++i) {
        const quint32 b = image[p + (littleEndian ? bytes - 1 - i : i)];
        v = (v << 8) | b;
    }
    return v;
}

// The value of the element at p, NaN for a float that is not a finite number of sane size.
double valueAt(const uint8_t *image, qint64 p, const FinderElement &e)
{
    const quint32 raw = rawAt(image, p, e.size, e.littleEndian);
    if (e.kind == FinderElement::Float) {
        float f;
        std::memcpy(&f, &raw, sizeof f);
        if (!std::isfinite(f) || std::fabs(f) > 1e9f)
            return std::nan("");
        return f;
    }
    if (e.kind == FinderElement::Signed) {
        const int bits = 8 * e.size;
        const qint64 v = raw;
        return double(v >= (qint64(1) << (bits - 1)) ? v - (qint64(1) << bits) : v);
    }
    return double(raw);
}

QString hexAddress(qint64 a)
{
    return QStringLiteral("0x") + QString::number(a, 16).toUpper();
}

// How smooth a block of values is along its rows and down its columns, from 0 (no better than
// values in no order) to 1 (no steps at all), and whether it is worth proposing at all.
struct BlockStats
{
    double rowSmooth = 0.0;
    double columnSmooth = 0.0;
    double smooth = 0.0;
    bool flat = false;      // every value equal, or more than half of them
    bool monotonic = false; // one strictly monotonic run: an axis, not a table
    bool valid = false;     // no unreadable value
};

BlockStats blockStats(const std::vector<double> &v, int rows, int columns)
{
    BlockStats s;
    const qsizetype n = qsizetype(rows) * columns;
    if (n < 2 || qsizetype(v.size()) < n)
        return s;
    double mean = 0.0;
    for (qsizetype i = 0; i < n; ++i) {
        if (std::isnan(v[i]))
            return s;
        mean += v[i];
    }
    s.valid = true;
    mean /= double(n);
    double var = 0.0;
    for (qsizetype i = 0; i < n; ++i)
        var += (v[i] - mean) * (v[i] - mean);
    const double sigma = std::sqrt(var / double(n));
    bool up = true, down = true;
    for (qsizetype i = 1; i < n; ++i) {
        up = up && v[i] > v[i - 1];
        down = down && v[i] < v[i - 1];
    }
    s.monotonic = up || down;
    if (sigma <= 0.0) {
        s.flat = true;
        return s;
    }
    // The scale of the values is their mean distance from the median, which a few values far
    // from the rest (a count after erased bytes) do not inflate as they do the deviation.
    std::vector<double> sorted(v.begin(), v.begin() + n);
    std::nth_element(sorted.begin(), sorted.begin() + n / 2, sorted.end());
    const double median = sorted[size_t(n / 2)];
    double spread = 0.0;
    for (qsizetype i = 0; i < n; ++i)
        spread += std::fabs(v[i] - median);
    spread /= double(n);
    if (spread <= 0.0) {
        // More than half the values are one value: as weak as a table of one value.
        s.flat = true;
        return s;
    }
    const double scale = SpreadStep * spread;
    int parts = 0;
    if (columns >= 2) {
        double sum = 0.0;
        for (int r = 0; r < rows; ++r)
            for (int c = 1; c < columns; ++c)
                sum += std::fabs(v[r * columns + c] - v[r * columns + c - 1]);
        s.rowSmooth = std::clamp(1.0 - sum / (double(rows) * (columns - 1)) / scale, 0.0, 1.0);
        ++parts;
        if (rows == 1 && columns >= 3) {
            // A short curve's steps are large against its spread however smooth it is (a
            // straight line of n points steps by 4 / n of it): there how much each step differs
            // from the one before tells smooth from rough, as values in no order differ by
            // almost twice their step.
            double bend = 0.0;
            for (int c = 2; c < columns; ++c)
                bend += std::fabs(v[c] - 2 * v[c - 1] + v[c - 2]);
            const double bendSmooth
                = std::clamp(1.0 - bend / (columns - 2) / (2.0 * sum / (columns - 1)), 0.0, 1.0);
            s.rowSmooth = std::max(s.rowSmooth, bendSmooth);
        }
    }
    if (rows >= 2) {
        double sum = 0.0;
        for (qsizetype i = columns; i < n; ++i)
            sum += std::fabs(v[i] - v[i - columns]);
        s.columnSmooth = std::clamp(1.0 - sum / double(n - columns) / scale, 0.0, 1.0);
        ++parts;
    }
    s.smooth = (s.rowSmooth + s.columnSmooth) / qMax(parts, 1);
    return s;
}

std::vector<double> readBlock(const uint8_t *image, qint64 at, qint64 count, const FinderElement &e)
{
    std::vector<double> v(static_cast<size_t>(count));
    for (qint64 i = 0; i < count; ++i)
        v[size_t(i)] = valueAt(image, at + i * e.size, e);
    return v;
}

// Strictly monotonic in one direction, read as unsigned or as signed; the kind it holds in
// is written to kind.
bool monotonicAxis(
    const uint8_t *image, qint64 at, int points, int size, bool littleEndian, int *kind)
{
    for (int k : {int(FinderElement::Unsigned), int(FinderElement::Signed)}) {
        const FinderElement e{size, littleEndian, k};
        double prev = valueAt(image, at, e);
        int up = 0, down = 0;
        for (int i = 1; i < points; ++i) {
            const double v = valueAt(image, at + qint64(i) * size, e);
            up += v > prev;
            down += v < prev;
            prev = v;
        }
        if (up == points - 1 || down == points - 1) {
            *kind = k;
            return true;
        }
    }
    return false;
}

double sizeFactor(qint64 cells)
{
    return std::clamp(std::log2(double(qMax<qint64>(cells, 1))) / 8.0, 0.0, 1.0);
}

QString smoothText(const BlockStats &s, int rows, int columns)
{
    if (s.flat)
        return QStringLiteral("valori tutti uguali");
    QStringList parts;
    if (columns >= 2)
        parts << QStringLiteral("righe lisce %1").arg(s.rowSmooth, 0, 'f', 2);
    if (rows >= 2)
        parts << QStringLiteral("colonne lisce %1").arg(s.columnSmooth, 0, 'f', 2);
    return parts.join(QStringLiteral(", "));
}

// The best block found starting at one element, kept as numbers until it is chosen.
struct BlockReading
{
    double score = 0.0;
    double weight = 0.0;
    int rows = 0;
    int columns = 0;
    double rowSmooth = 0.0, columnSmooth = 0.0, top = 0.0, bottom = 0.0, wrap = 0.0;
};

// What the image's code names of a block: its first value, the byte after its last, and how
// many of its rows after the first. Code names where a table's values begin and where the next
// structure begins, and seldom a row inside a table, so the weight of a block grows with the
// first two and shrinks with the last. The factors are likelihood ratios of the kind these
// names give: a table's first value is named several times as often as any address.
struct BlockNames
{
    bool start = false;
    bool end = false;
    int rows = 0;
    double factor() const { return (start ? 1.5 : 1.0) * (end ? 1.3 : 1.0) * std::pow(0.8, rows); }
};

struct CountFormat
{
    int size;
    bool littleEndian;
};

// Inclusive byte ranges already taken, for non-overlap checks in logarithmic time.
class Occupancy
{
public:
    bool overlaps(qint64 first, qint64 last) const
    {
        auto it = spans.upper_bound(last); // first span starting after last
        if (it == spans.begin())
            return false;
        --it;
        return it->second >= first;
    }
    // Known maps may overlap each other: spans are merged so that each start's end is exact.
    void add(qint64 first, qint64 last)
    {
        if (first > last)
            return;
        auto it = spans.upper_bound(first);
        if (it != spans.begin()) {
            auto before = std::prev(it);
            if (before->second >= first) {
                first = before->first;
                last = qMax(last, before->second);
                it = spans.erase(before);
            }
        }
        while (it != spans.end() && it->first <= last) {
            last = qMax(last, it->second);
            it = spans.erase(it);
        }
        spans.emplace(first, last);
    }

private:
    std::map<qint64, qint64> spans;
};

struct AxisFormat
{
    int size;
    bool littleEndian;
};

struct Finder
{
    const uint8_t *image = nullptr;
    qint64 size = 0;
    MapFinderOptions options;
    MapFinderProgress progress;
    bool cancelled = false;
    // A reading with what it rests on, put into words only when it is proposed.
    struct Found
    {
        MapCandidate candidate;
        BlockReading block; // for blocks without stored axes
        BlockStats stats;   // for readings with stored axes
        bool countLittleEndian = true;
        qint64 followedBy = -1;  // a count and axis right after the values
        qint64 packedAfter = -1; // the last byte of the table these values follow at once
        qint64 shifted = 0;      // values the block was moved by to stand between two steps
        bool otherByteOrder = false;
        // The stored axis the code loads right after the values' address, and its points.
        qint64 linkedAxis = -1;
        int linkedPoints = 0;
        // The stored axes whose place the code looks up first and hands to the table's
        // lookup, their points, and the bytes between the values' end and what follows.
        // For a table whose axes the code looks up first (they are the candidate's axes): the
        // bytes between its end and the next structure, -1 where that is open.
        static constexpr qint16 NotIndexed = -2;
        qint16 indexedGap = NotIndexed;
        bool indexed() const { return indexedGap != NotIndexed; }
        // Where the code says the table begins, it begins: such readings are not moved.
        bool codeLinked() const { return linkedAxis >= 0 || indexed(); }
    };
    // Readings and headers are many and their count unknown beforehand: a deque grows without
    // a vector's moment of holding the old and the new storage at once.
    std::deque<Found> found;
    // The byte order most words of the image's counts and axes are stored in, once clear.
    std::optional<bool> imageLittleEndian;
    // Axis lengths seen as a point count before a monotonic axis, and where.
    std::map<int, std::vector<std::pair<qint64, FinderElement>>> axesByLength;
    // Counts and axes found, from the first count to the end of the last axis. What is asked
    // of them is where one starts and how far the longest of one start reaches, so only that
    // one is kept: tens of thousands of them are found on an image, in 8 bytes each (the
    // finder reads no further than definitions can address, below 2^31).
    struct Header
    {
        Header(qint64 first, qint64 last, bool isTable)
            : start(quint32(first))
            , end(quint32(last))
            , table(isTable)
        {
        }
        quint32 start;
        quint32 end : 31;
        quint32 table : 1;
    };
    std::deque<Header> headers;
    // Where stored axes and tables with their own counts begin, to learn how code names them.
    std::vector<qint64> anchors;
    CodeReferences references;

    bool report(int percent)
    {
        if (!cancelled && progress && !progress(percent))
            cancelled = true;
        return !cancelled;
    }

    int countAt(qint64 p, const CountFormat &f) const
    {
        if (p < 0 || p + f.size > size)
            return -1;
        return int(rawAt(image, p, f.size, f.littleEndian));
    }

    bool axisAt(qint64 at, int points, const CountFormat &f, FinderElement *axis) const
    {
        if (points < 2 || points > MaxAxisPoints || at < 0 || at + qint64(points) * f.size > size)
            return false;
        int kind = 0;
        if (!monotonicAxis(image, at, points, f.size, f.littleEndian, &kind))
            return false;
        *axis = FinderElement{f.size, f.littleEndian, kind};
        return true;
    }

    // The best reading of the values after a header ending at z as a rows × columns block,
    // among the element types that suit counts of this format; words start at an even
    // address, after a pad byte when needed. False when no reading fits in the image.
    bool bestReading(qint64 z,
                     int rows,
                     int columns,
                     const CountFormat &f,
                     int axisSize,
                     bool axisLittleEndian,
                     FinderElement *best,
                     BlockStats *bestStats,
                     qint64 *at) const
    {
        const qint64 cells = qint64(rows) * columns;
        std::vector<FinderElement> choices;
        for (int s : {1, 2}) {
            for (bool le : {f.littleEndian, !f.littleEndian}) {
                if (s == 1 && le != f.littleEndian)
                    continue;
                // A control unit stores its words in one order: word values after word points
                // in the other order are bytes read across, not a table.
                if (s > 1 && axisSize > 1 && le != axisLittleEndian)
                    continue;
                for (int k : {int(FinderElement::Unsigned), int(FinderElement::Signed)})
                    choices.push_back(FinderElement{s, le, k});
            }
        }
        bool any = false;
        double bestValue = -1.0;
        for (const FinderElement &e : choices) {
            const qint64 start = e.size > 1 && (z & 1) ? z + 1 : z;
            if (start + cells * e.size > size)
                continue;
            const std::vector<double> values = readBlock(image, start, cells, e);
            const BlockStats st = blockStats(values, rows, columns);
            if (!st.valid)
                continue;
            // Words whose bytes past where the bytes would end are all the filler that follows
            // (erased flash, padding): too wide a reading took the filler in.
            if (e.size > 1 && !st.flat && fillerFrom(z + cells, start + cells * e.size))
                continue;
            // A wider reading must be clearly smoother: a table of bytes read as words stays
            // smooth, and would take the bytes after it too. Values are mostly stored as wide
            // as their X axis, so another width must be clearly smoother as well.
            const double value = st.flat ? 0.5
                                         : st.smooth - 0.05 * (e.size - 1) - 0.01 * e.kind
                                               - (e.littleEndian != f.littleEndian ? 0.02 : 0)
                                               - (e.size != axisSize ? 0.05 : 0);
            if (value > bestValue) {
                bestValue = value;
                *best = e;
                *bestStats = st;
                *at = start;
                any = true;
            }
        }
        return any;
    }

    // Whether the bytes from `from` to `end` and the byte after them are one value.
    bool fillerFrom(qint64 from, qint64 end) const
    {
        if (from >= end || end >= size)
            return false;
        for (qint64 p = from; p <= end; ++p)
            if (image[p] != image[from])
                return false;
        return true;
    }

    // Whether the bytes before a table's values read as one more row of it: then its "counts
    // and axes" are values of a table around it, not a header.
    bool continuesAbove(qint64 z, int rows, int columns, const FinderElement &e) const
    {
        const qint64 above = z - qint64(columns) * e.size;
        if (above < 0)
            return false;
        const std::vector<double> v = readBlock(image, above, qint64(rows + 1) * columns, e);
        double edge = 0.0, inside = 0.0;
        for (int c = 0; c < columns; ++c)
            edge += std::fabs(v[size_t(columns + c)] - v[size_t(c)]);
        for (qsizetype i = 2 * columns; i < qsizetype(v.size()); ++i)
            inside += std::fabs(v[size_t(i)] - v[size_t(i - columns)]);
        edge /= columns;
        inside /= double(qint64(rows - 1) * columns);
        return edge <= inside;
    }

    // Whether a monotonic axis stops where its count says: inside a longer monotonic run any
    // value can be read as the count of the values after it.
    bool runEndsAt(qint64 at, int points, const FinderElement &e) const
    {
        const qint64 next = at + qint64(points) * e.size;
        if (next + e.size > size)
            return true;
        const double last = valueAt(image, next - e.size, e);
        const double before = valueAt(image, next - 2 * e.size, e);
        const double after = valueAt(image, next, e);
        return last > before ? after <= last : after >= last;
    }

    void noteAxis(qint64 at, int points, const FinderElement &e)
    {
        if (points >= 4)
            axesByLength[points].push_back({at, e});
    }

    void addInline(qint64 header,
                   qint64 z,
                   int rows,
                   int columns,
                   qint64 xAt,
                   const FinderElement &xe,
                   qint64 yAt,
                   const FinderElement &ye,
                   const CountFormat &f)
    {
        FinderElement e;
        BlockStats st;
        if (!bestReading(z, rows, columns, f, xe.size, xe.littleEndian, &e, &st, &z)
            || (rows > 1 && st.monotonic))
            return;
        // Counts and short monotonic runs are common in code; the values must read as a
        // table too, or be all equal (a table not yet calibrated).
        if (!st.flat && (st.smooth < 0.5 || (columns > 1 && st.rowSmooth < 0.3)))
            return;
        if (rows > 1 && !st.flat && continuesAbove(z, rows, columns, e))
            return;
        if (rows > 1) {
            noteAxis(yAt, rows, ye);
            noteAxis(xAt, columns, xe);
        }
        const int axisPoints = (rows > 1 ? rows : 0) + columns;
        const double axisStrength = std::clamp((axisPoints - 2) / 8.0, 0.0, 1.0);
        const double smooth = st.flat ? 0.4 : st.smooth;
        MapCandidate c;
        c.zAddress = z;
        c.rows = rows;
        c.columns = columns;
        c.element = e;
        c.xAddress = xAt;
        c.xElement = xe;
        c.yAddress = yAt;
        c.yElement = ye;
        c.headerStart = header;
        c.countSize = f.size;
        // Stored counts and axes are strong evidence: the cells they explain count more than a
        // block's without them, so a short header read inside a table does not outweigh it.
        c.weight = 0.0; // set with the score below
        c.score = 100.0
                  * (0.25 + 0.1 * axisStrength + 0.45 * smooth
                     + 0.2 * sizeFactor(qint64(rows) * columns));
        c.weight = c.score * std::sqrt(double(qint64(rows) * columns + axisPoints + 2)) * 1.5;
        Found entry;
        entry.candidate = c;
        entry.stats = st;
        entry.countLittleEndian = f.littleEndian;
        found.push_back(entry);
        if (rows > 1)
            anchors.push_back(header);
    }

    // An axis of points elements, after a pad byte when words would start at an odd address.
    bool axisAfter(qint64 at,
                   int points,
                   const AxisFormat &a,
                   qint64 *start,
                   qint64 *end,
                   FinderElement *axis) const
    {
        *start = a.size > 1 && (at & 1) ? at + 1 : at;
        *end = *start + qint64(points) * a.size;
        return axisAt(*start, points, CountFormat{a.size, a.littleEndian}, axis);
    }

    // Point counts followed by monotonic axes and values: [n1][n2][Y][X][Z] and
    // [n1][Y][n2][X][Z] for tables, [n][X][Z] for curves. Axes may be bytes or words whatever
    // the counts are; words start at even addresses.
    void searchInline()
    {
        const CountFormat formats[] = {{1, true}, {2, true}, {2, false}};
        for (int fi = 0; fi < 3; ++fi) {
            const CountFormat &f = formats[fi];
            const std::vector<AxisFormat> axisFormats
                = f.size == 1 ? std::vector<AxisFormat>{{1, true}, {2, true}, {2, false}}
                              : std::vector<AxisFormat>{{2, f.littleEndian}, {1, true}};
            for (qint64 p = 0; p + f.size <= size; p += f.size) {
                if ((p & 0xFFFF) == 0 && !report(int(fi * 10 + 10 * p / qMax<qint64>(size, 1))))
                    return;
                const int n1 = countAt(p, f);
                if (n1 < 2 || n1 > MaxAxisPoints)
                    continue;
                const int n2 = countAt(p + f.size, f);
                const bool twoCounts
                    = n2 >= 2 && n2 <= MaxAxisPoints && n1 * n2 >= 6 && n1 * n2 <= MaxCells;
                for (const AxisFormat &af1 : axisFormats) {
                    FinderElement a1, a2;
                    qint64 y, yEnd, x, xEnd;
                    if (twoCounts && axisAfter(p + 2 * f.size, n1, af1, &y, &yEnd, &a1)) {
                        for (const AxisFormat &af2 : axisFormats) {
                            if (!axisAfter(yEnd, n2, af2, &x, &xEnd, &a2))
                                continue;
                            noteHeader(p, xEnd, true);
                            addInline(p, xEnd, n1, n2, x, a2, y, a1, f);
                        }
                    }
                    if (!axisAfter(p + f.size, n1, af1, &y, &yEnd, &a1))
                        continue;
                    // Axes stored alone give the sides of tables without their own axes.
                    if (af1.size == f.size && runEndsAt(y, n1, a1)) {
                        noteAxis(y, n1, a1);
                        if (n1 >= MinCurvePoints)
                            anchors.push_back(p);
                    }
                    const qint64 second = f.size > 1 && (yEnd & 1) ? yEnd + 1 : yEnd;
                    const int m = countAt(second, f);
                    bool table = false;
                    if (m >= 2 && m <= MaxAxisPoints && n1 * m >= 6 && n1 * m <= MaxCells) {
                        for (const AxisFormat &af2 : axisFormats) {
                            if (!axisAfter(second + f.size, m, af2, &x, &xEnd, &a2))
                                continue;
                            table = true;
                            noteHeader(p, xEnd, true);
                            addInline(p, xEnd, n1, m, x, a2, y, a1, f);
                        }
                    }
                    noteHeader(p, yEnd, false);
                    if (n1 >= MinCurvePoints && !table)
                        addInline(p, yEnd, 1, n1, y, a1, -1, FinderElement{}, f);
                }
            }
        }
    }

    void noteHeader(qint64 start, qint64 end, bool table)
    {
        // All the headers of one start are noted one after the other.
        if (!headers.empty() && headers.back().start == start) {
            Header &last = headers.back();
            last.end = quint32(qMax<qint64>(last.end, end));
            last.table = last.table || table;
            return;
        }
        headers.push_back(Header{start, end, table});
    }

    // Whether the X axis goes on rising (or falling) into the first value after it.
    bool axisRunsOn(const MapCandidate &c) const
    {
        const FinderElement &x = c.xElement;
        // Bytes and words are not in one scale: a word after a byte axis says nothing.
        if (x.size != c.element.size)
            return false;
        const qint64 end = c.xAddress + qint64(c.columns) * x.size;
        const double last = valueAt(image, end - x.size, x);
        const double before = valueAt(image, end - 2 * x.size, x);
        const double next = valueAt(image, c.zAddress, c.element);
        return last > before ? next > last : next < last;
    }

    // Drops readings that took a point count for an axis point: where another reading's header
    // begins inside a reading's header and ends where its values start, or runs past that
    // while the reading's last axis runs on into its values; or where a table's header holds
    // a curve's.
    void dropSwallowedCounts()
    {
        std::sort(headers.begin(), headers.end(), [](const Header &a, const Header &b) {
            return a.start != b.start ? a.start < b.start : a.end < b.end;
        });
        // Readings with stored axes, by where their header begins.
        struct Reading
        {
            qint64 start;
            qint64 end;
            bool table;
            int countSize;
            int axisSize;
            qint64 x; // where its X axis begins
        };
        std::vector<Reading> readings;
        for (const Found &f : found)
            if (f.candidate.headerStart >= 0)
                readings.push_back(Reading{f.candidate.headerStart, f.candidate.zAddress,
                                           f.candidate.rows > 1, f.candidate.countSize,
                                           f.candidate.xElement.size, f.candidate.xAddress});
        std::sort(readings.begin(), readings.end(), [](const Reading &a, const Reading &b) {
            return a.start != b.start ? a.start < b.start : a.end < b.end;
        });
        auto from = [](const auto &list, qint64 at) {
            return std::lower_bound(list.begin(), list.end(), at,
                                    [](const auto &h, qint64 p) { return qint64(h.start) < p; });
        };
        auto swallowed = [&](const Found &f) {
            const MapCandidate &c = f.candidate;
            if (c.headerStart < 0)
                return false;
            const qint64 z = c.zAddress;
            // A byte count at an odd address right before word points, where that byte and the
            // one before it read as one more point of the run, is half of a point. The run is
            // looked for in either byte order: read in the other one with a sign, a run of
            // rising words rises too, until the sign of its words flips.
            if (c.rows == 1 && c.countSize == 1 && c.xElement.size == 2 && (c.headerStart & 1)
                && c.xAddress == c.headerStart + 1) {
                for (const bool le : {true, false}) {
                    int kind = 0;
                    if (!monotonicAxis(image, c.xAddress, c.columns, 2, le, &kind))
                        continue;
                    const FinderElement e{2, le, kind};
                    const double w = valueAt(image, c.headerStart - 1, e);
                    const double x0 = valueAt(image, c.xAddress, e);
                    const double x1 = valueAt(image, c.xAddress + 2, e);
                    if ((w < x0 && x0 < x1) || (w > x0 && x0 > x1))
                        return true;
                }
            }
            const bool runsOn = axisRunsOn(c);
            // A count read from half of one of this reading's words is a byte of its axis
            // points, not a count the reading took for a point.
            const auto inStep = [&](const auto &h) {
                return (qint64(h.start) - c.headerStart) % c.countSize == 0;
            };
            for (auto it = from(readings, c.headerStart); it != readings.end() && it->start < z;
                 ++it) {
                // Unless the other took this reading's first X point for its count: both
                // counts of a table stored together, and the X axis's first point happens to
                // be the number of points after it.
                if (it->start > c.headerStart && inStep(*it)
                    && (it->end == z || (it->end > z && runsOn))
                    && !(c.rows > 1 && it->x == c.xAddress + c.xElement.size))
                    return true;
                if (c.rows == 1 && it->start == c.headerStart && it->table && it->end > z)
                    return true;
            }
            // A curve read inside a table's counts and axes is part of them; so is any reading
            // whose count is a point of a longer stored axis that runs on past its values' start.
            if (c.rows == 1) {
                for (const Reading &t : readings)
                    if (t.table && t.start < c.headerStart && t.end > c.headerStart && t.end >= z)
                        return true;
            }
            const qint64 longest = 2 * 2 + 2 * MaxAxisPoints * 2 + 2;
            // Of two readings of the same values, one whose counts are as wide as its axis
            // points and one whose narrower count stands in front of them, the first is how
            // such headers are stored; the other took a point and a pad byte for a count.
            if (c.countSize != c.xElement.size)
                for (auto t = from(readings, z - longest); t != readings.end() && t->start < z; ++t)
                    if (t->end == z && t->start != c.headerStart && t->table == (c.rows > 1)
                        && t->countSize == t->axisSize)
                        return true;
            for (auto t = from(headers, c.headerStart - longest); t != headers.end(); ++t) {
                if (t->start >= c.headerStart)
                    break;
                if (!t->table && t->end > c.headerStart && t->end > z)
                    return true;
            }
            // Any count and axis that begins inside this reading's axes and runs into its values
            // means the axes are part of a longer run, when the last axis runs on into the
            // values too.
            const qint64 axes = c.headerStart + qint64(c.rows > 1 ? 2 : 1) * c.countSize;
            if (runsOn)
                for (auto it = from(headers, axes); it != headers.end() && it->start < z; ++it)
                    if (it->end > z && inStep(*it))
                        return true;
            // A curve whose values begin with a count and its axis is an axis stored alone.
            if (c.rows == 1)
                for (auto it = from(headers, z); it != headers.end() && it->start == z; ++it)
                    return true;
            // An axis that runs on into the values, whose values hold another count and axis,
            // is a longer monotonic run read as a header: the run ends at that count.
            if (runsOn && c.rows == 1)
                for (auto it = from(readings, z); it != readings.end() && it->start <= c.lastByte();
                     ++it)
                    if (it->end > c.lastByte() || it->end > it->start + 2 * it->countSize)
                        return true;
            return false;
        };
        found.erase(std::remove_if(found.begin(), found.end(), swallowed), found.end());
    }

    // A control unit stores its words in one byte order. Where the words of the counts and axes
    // found are clearly in one order, readings of words in the other order are weak: most are
    // the bytes of two neighbouring words read across.
    void learnImageByteOrder()
    {
        int orders[2] = {0, 0};
        for (const Found &f : found)
            if (f.candidate.headerStart >= 0 && f.candidate.rows > 1 && f.candidate.countSize > 1)
                ++orders[f.countLittleEndian ? 1 : 0];
        const int major = orders[1] >= orders[0] ? 1 : 0;
        if (orders[major] >= 8 && orders[major] >= 4 * orders[1 - major])
            imageLittleEndian = major == 1;
    }

    void preferImageByteOrder()
    {
        if (!imageLittleEndian)
            return;
        for (Found &f : found) {
            MapCandidate &c = f.candidate;
            if (c.element.size > 1 && c.element.littleEndian != imageLittleEndian) {
                c.score -= 15.0;
                c.weight *= 0.5;
                f.otherByteOrder = true;
            }
        }
    }

    // The axis lengths seen most often are the widths and heights of tables whose axes are
    // stored elsewhere; chance monotonic runs in code spread over every length instead.
    std::vector<int> axisLengths() const
    {
        std::vector<std::pair<qsizetype, int>> counted;
        for (const auto &[n, where] : axesByLength)
            if (n >= 4 && n <= MaxAxisPoints && where.size() >= 2)
                counted.push_back({-qsizetype(where.size()), n});
        std::sort(counted.begin(), counted.end());
        std::vector<int> lengths;
        for (const auto &[count, n] : counted)
            if (lengths.size() < size_t(MaxLengths))
                lengths.push_back(n);
        if (lengths.size() < 2)
            lengths = {4, 5, 6, 8, 10, 12, 16};
        std::sort(lengths.begin(), lengths.end());
        return lengths;
    }

    // Blocks of smooth values whose sides are axis lengths, bounded by a step in the values at
    // their first and last rows: tables whose axes are stored elsewhere or not at all.
    void searchHeaderless(const FinderElement &e,
                          const std::vector<int> &lengths,
                          int percentFrom,
                          int percentTo)
    {
        const qint64 n = size / e.size;
        if (n < 8)
            return;
        const int maxSpan = MaxCells + MaxAxisPoints + 1;
        const qint64 chunk = 8192;
        std::vector<double> v, p1, ph, pv;
        std::vector<long double> p2;
        std::vector<int> bad;
        // The best block starting at each element of the chunk: most start none, so the
        // readings are kept apart and each element holds the index of its own, or -1.
        std::vector<int> bestAt;
        std::vector<BlockReading> blocks;
        for (qint64 c0 = 0; c0 < n; c0 += chunk) {
            if (!report(percentFrom + int((percentTo - percentFrom) * c0 / n)))
                return;
            // Values from one row before the chunk to past its last block.
            const qint64 from = qMax<qint64>(0, c0 - MaxAxisPoints);
            const qint64 to = qMin(n, c0 + chunk + maxSpan);
            const qint64 len = to - from;
            v.assign(size_t(len), 0.0);
            p1.assign(size_t(len + 1), 0.0);
            p2.assign(size_t(len + 1), 0.0L);
            ph.assign(size_t(len + 1), 0.0);
            bad.assign(size_t(len + 1), 0);
            // Sums of values less the first one, so that large values keep their precision.
            double base = std::nan("");
            for (qint64 i = 0; i < len && std::isnan(base); ++i)
                base = valueAt(image, (from + i) * e.size, e);
            for (qint64 i = 0; i < len; ++i) {
                double x = valueAt(image, (from + i) * e.size, e);
                const bool nan = std::isnan(x) || std::isnan(base);
                x = nan ? 0.0 : x - base;
                v[size_t(i)] = x;
                bad[size_t(i + 1)] = bad[size_t(i)] + (nan ? 1 : 0);
                p1[size_t(i + 1)] = p1[size_t(i)] + x;
                p2[size_t(i + 1)] = p2[size_t(i)] + (long double)x * x;
                ph[size_t(i + 1)] = ph[size_t(i)] + (i > 0 ? std::fabs(x - v[size_t(i - 1)]) : 0.0);
            }
            bestAt.assign(size_t(chunk), -1);
            blocks.clear();
            const auto sigmaOf = [&](qint64 a, qint64 b) {
                const long double k = (long double)(b - a);
                const long double m = (long double)(p1[size_t(b)] - p1[size_t(a)]) / k;
                const long double var = (p2[size_t(b)] - p2[size_t(a)]) / k - m * m;
                return var > 0 ? double(std::sqrt(var)) : 0.0;
            };
            for (int columns : lengths) {
                pv.assign(size_t(len + 1), 0.0);
                for (qint64 i = 0; i < len; ++i)
                    pv[size_t(i + 1)]
                        = pv[size_t(i)]
                          + (i >= columns ? std::fabs(v[size_t(i)] - v[size_t(i - columns)]) : 0.0);
                for (qint64 s = c0; s < qMin(n, c0 + chunk); ++s) {
                    const qint64 ls = s - from;
                    if (ls + 2 * columns > len)
                        break;
                    if (bad[size_t(ls + 2 * columns)] != bad[size_t(ls)])
                        continue;
                    // The first two rows must already read as part of a table.
                    const double sg2 = sigmaOf(ls, ls + 2 * columns);
                    if (sg2 <= 0.0)
                        continue;
                    const double limit = 0.5 * RandomStep * sg2;
                    if ((pv[size_t(ls + 2 * columns)] - pv[size_t(ls + columns)]) / columns > limit
                        || (ph[size_t(ls + 2 * columns)] - ph[size_t(ls + 1)]) / (2 * columns - 1)
                               > limit)
                        continue;
                    int &slot = bestAt[size_t(s - c0)];
                    BlockReading best = slot >= 0 ? blocks[size_t(slot)] : BlockReading{};
                    for (int rows : lengths) {
                        if (qint64(rows) * columns > MaxCells)
                            break;
                        considerBlock(s, ls, rows, columns, e.size, len, v, ph, pv, bad, sigmaOf, best);
                    }
                    if (best.rows > 0 && slot < 0) {
                        slot = int(blocks.size());
                        blocks.push_back(best);
                    } else if (best.rows > 0) {
                        blocks[size_t(slot)] = best;
                    }
                }
            }
            // Of the blocks of this view that overlap, only the weightiest can be proposed.
            std::vector<qint64> order;
            for (qint64 i = 0; i < chunk && c0 + i < n; ++i)
                if (bestAt[size_t(i)] >= 0)
                    order.push_back(i);
            const auto blockAt = [&](qint64 i) -> const BlockReading & {
                return blocks[size_t(bestAt[size_t(i)])];
            };
            std::stable_sort(order.begin(), order.end(), [&](qint64 a, qint64 b) {
                return blockAt(a).weight > blockAt(b).weight;
            });
            Occupancy kept;
            for (qint64 i : order) {
                const BlockReading &b = blockAt(i);
                const qint64 last = i + qint64(b.rows) * b.columns - 1;
                if (kept.overlaps(i, last))
                    continue;
                kept.add(i, last);
                MapCandidate c;
                c.zAddress = (c0 + i) * e.size;
                c.rows = b.rows;
                c.columns = b.columns;
                c.element = e;
                c.score = b.score;
                c.weight = b.weight;
                Found entry;
                entry.candidate = c;
                entry.block = b;
                found.push_back(entry);
            }
        }
    }

    template<typename SigmaOf>
    void considerBlock(qint64 s,
                       qint64 ls,
                       int rows,
                       int columns,
                       int elementSize,
                       qint64 len,
                       const std::vector<double> &v,
                       const std::vector<double> &ph,
                       const std::vector<double> &pv,
                       const std::vector<int> &bad,
                       const SigmaOf &sigmaOf,
                       BlockReading &best) const
    {
        const qint64 cells = qint64(rows) * columns;
        const qint64 end = ls + cells;
        if (end > len || bad[size_t(end)] != bad[size_t(ls)])
            return;
        const double sigma = sigmaOf(ls, end);
        if (sigma <= 0.0)
            return;
        const double scale = RandomStep * sigma;
        // A first or last row of one value that the bytes around carry on is filler (erased
        // flash, padding) taken into the block, not part of a table.
        if ((end < len && ph[size_t(end)] == ph[size_t(end - columns + 1)]
             && v[size_t(end)] == v[size_t(end - 1)])
            || (ls > 0 && ph[size_t(ls + columns)] == ph[size_t(ls + 1)]
                && v[size_t(ls - 1)] == v[size_t(ls)]))
            return;
        const double dv = (pv[size_t(end)] - pv[size_t(ls + columns)]) / double(cells - columns);
        if (dv > 0.5 * scale)
            return;
        double wraps = 0.0;
        double rowSteps[MaxAxisPoints];
        for (int r = 1; r < rows; ++r) {
            const qint64 at = ls + qint64(r) * columns;
            wraps += std::fabs(v[size_t(at)] - v[size_t(at - 1)]);
            rowSteps[r - 1] = (pv[size_t(at + columns)] - pv[size_t(at)]) / columns;
        }
        const double dh
            = (ph[size_t(end)] - ph[size_t(ls + 1)] - wraps) / (double(rows) * (columns - 1));
        const double rowSmooth = std::clamp(1.0 - dh / scale, 0.0, 1.0);
        const double columnSmooth = std::clamp(1.0 - dv / scale, 0.0, 1.0);
        if (rowSmooth < 0.5)
            return;
        const double smooth = (rowSmooth + columnSmooth) / 2.0;
        // A table begins and ends where the values step away from its first and last rows by
        // more than they step between the rows next to those: a table that merely steepens
        // does not end there.
        const double floor = scale * 0.02;
        const double firstStep = qMax(rows > 1 ? rowSteps[0] : dv, floor);
        const double lastStep = qMax(rows > 1 ? rowSteps[rows - 2] : dv, floor);
        double top = 1.0, bottom = 1.0, topStep = 0.0, bottomStep = 0.0;
        if (ls >= columns && bad[size_t(ls)] == bad[size_t(ls - columns)]) {
            topStep = (pv[size_t(ls + columns)] - pv[size_t(ls)]) / columns;
            top = std::clamp((topStep / firstStep - 1.0) / 2.0, 0.0, 1.0);
        } else if (s >= columns) {
            top = 0.0;
        }
        if (end + columns <= len && bad[size_t(end + columns)] == bad[size_t(end)]) {
            bottomStep = (pv[size_t(end + columns)] - pv[size_t(end)]) / columns;
            bottom = std::clamp((bottomStep / lastStep - 1.0) / 2.0, 0.0, 1.0);
        }
        const double wrapStep = rows > 1 ? wraps / (rows - 1) : 0.0;
        const double wrap = std::clamp((wrapStep / qMax(dh, floor) - 1.0) / 2.0, 0.0, 1.0);
        // Without stored axes a block is weaker evidence than one with them.
        const double score
            = 85.0
              * (0.5 * smooth + 0.1 * top + 0.1 * bottom + 0.1 * wrap + 0.2 * sizeFactor(cells));
        if (score < options.minimumScore)
            return;
        // Overlapping readings are weighed by the cells they explain: a part of a table is as
        // smooth as the whole, and two tables read as one step from one to the other inside
        // about as far as they step at the block's edges.
        const double largestStep
            = rows > 1 ? *std::max_element(rowSteps, rowSteps + rows - 1) : 0.0;
        const double edgeStep
            = qMin(topStep > 0 ? topStep : bottomStep, bottomStep > 0 ? bottomStep : topStep);
        const bool splits = edgeStep > 0 && largestStep >= 0.8 * edgeStep;
        // Tables of one size are often stored back to back: a block whose neighbours of its
        // size read as tables too is in step with them.
        int neighbours = 0;
        for (const qint64 at : {ls - cells, end}) {
            const qint64 stop = at + cells;
            if (at < 0 || stop > len || bad[size_t(stop)] != bad[size_t(at)])
                continue;
            const double sg = sigmaOf(at, stop);
            // A first or last row of one value carried on around it is filler, not a table.
            if (sg <= 0.0
                || (stop < len && ph[size_t(stop)] == ph[size_t(stop - columns + 1)]
                    && v[size_t(stop)] == v[size_t(stop - 1)])
                || (at > 0 && ph[size_t(at + columns)] == ph[size_t(at + 1)]
                    && v[size_t(at - 1)] == v[size_t(at)]))
                continue;
            double seams = 0.0;
            for (int r = 1; r < rows; ++r) {
                const qint64 p = at + qint64(r) * columns;
                seams += std::fabs(v[size_t(p)] - v[size_t(p - 1)]);
            }
            const double h
                = (ph[size_t(stop)] - ph[size_t(at + 1)] - seams) / (double(rows) * (columns - 1));
            const double d
                = (pv[size_t(stop)] - pv[size_t(at + columns)]) / double(cells - columns);
            neighbours += h <= 0.5 * RandomStep * sg && d <= 0.5 * RandomStep * sg;
        }
        const double weight = score * std::sqrt(double(cells)) * (splits ? 0.5 : 1.0)
                              * (1.0 + 0.25 * neighbours)
                              * namesOf(s * elementSize, rows, columns, elementSize).factor();
        if (weight <= best.weight)
            return;
        best = BlockReading{score,        weight, rows,   columns, rowSmooth,
                            columnSmooth, top,    bottom, wrap};
    }

    BlockNames namesOf(qint64 z, int rows, int columns, int elementSize) const
    {
        BlockNames names;
        if (references.empty())
            return names;
        const qint64 rowBytes = qint64(columns) * elementSize;
        const qint64 end = z + rows * rowBytes;
        names.start = references.named(z);
        names.end = references.named(end) || (elementSize > 1 && references.named(end + 1));
        for (int r = 1; r < rows; ++r)
            names.rows += references.named(z + r * rowBytes);
        return names;
    }

    // A block without stored axes found inside a run of tables of its size is often placed a
    // row or a few values off, as smooth there as in place. In place, stepping from the row
    // above into its first row and from its last row into the row below crosses from one
    // table into another: the block is moved, by up to two rows, to where those two steps are
    // largest against the steps between its own rows, if it stays as smooth there.
    // Returns the shift in values.
    qint64 align(MapCandidate &c, const Occupancy &taken) const
    {
        if (c.headerStart >= 0 || c.rows < 2)
            return 0;
        const int w = c.columns;
        const qint64 cells = qint64(c.rows) * w;
        const int reach = 2 * w;
        const qint64 first = c.zAddress / c.element.size - reach - w;
        const qint64 count = cells + 2 * (reach + w);
        if (first < 0 || (first + count) * c.element.size > size)
            return 0;
        const std::vector<double> v = readBlock(image, first * c.element.size, count, c.element);
        // dv[i]: the step from the value a row above; prefix sums of it.
        std::vector<double> pd(size_t(count + 1), 0.0);
        for (qint64 i = 0; i < count; ++i) {
            const double d = i >= w && !std::isnan(v[size_t(i)]) && !std::isnan(v[size_t(i - w)])
                                 ? std::fabs(v[size_t(i)] - v[size_t(i - w)])
                                 : 0.0;
            pd[size_t(i + 1)] = pd[size_t(i)] + d;
        }
        const auto sum = [&](qint64 a, qint64 b) { return pd[size_t(b)] - pd[size_t(a)]; };
        const BlockStats here
            = blockStats(readBlock(image, c.zAddress, cells, c.element), c.rows, w);
        if (!here.valid)
            return 0;
        double best = -1.0;
        qint64 bestShift = 0;
        for (int shift = -reach; shift <= reach; ++shift) {
            const qint64 s = reach + w + shift; // the block's first element in v
            const double edges = sum(s, s + w) + sum(s + cells, s + cells + w);
            const double inside = sum(s + w, s + cells) / double(cells - w);
            const double ratio = edges / (2.0 * w) / qMax(inside, 1e-9);
            if (ratio > best + 1e-9 || (shift == 0 && ratio >= best - 1e-9)) {
                best = ratio;
                bestShift = shift;
            }
        }
        if (bestShift == 0)
            return 0;
        const qint64 z = c.zAddress + bestShift * c.element.size;
        if (taken.overlaps(z, z + cells * c.element.size - 1))
            return 0;
        const BlockStats there = blockStats(readBlock(image, z, cells, c.element), c.rows, w);
        if (!there.valid || there.flat || there.smooth < here.smooth - 0.05)
            return 0;
        c.zAddress = z;
        return bestShift;
    }

    // Checks a block proposed from running sums on its own values: a table, not an axis or a
    // ramp read in rows, and not bytes that read as well one by one (or words two by two).
    bool confirm(const MapCandidate &c) const
    {
        if (c.headerStart >= 0)
            return true;
        const qint64 cells = qint64(c.rows) * c.columns;
        const std::vector<double> v = readBlock(image, c.zAddress, cells, c.element);
        const BlockStats st = blockStats(v, c.rows, c.columns);
        if (!st.valid || st.flat)
            return false;
        int up = 0, down = 0;
        for (qint64 i = 1; i < cells; ++i) {
            up += v[size_t(i)] > v[size_t(i - 1)];
            down += v[size_t(i)] < v[size_t(i - 1)];
        }
        if (qMin(up, down) <= 1)
            return false;
        for (int narrower = c.element.size / 2; narrower >= 1; narrower /= 2) {
            const int factor = c.element.size / narrower;
            for (int k : {int(FinderElement::Unsigned), int(FinderElement::Signed)}) {
                const FinderElement e{narrower, c.element.littleEndian, k};
                const BlockStats n = blockStats(readBlock(image, c.zAddress, cells * factor, e),
                                                c.rows, c.columns * factor);
                if (n.valid && !n.flat && n.smooth >= st.smooth - 0.05)
                    return false;
            }
        }
        return true;
    }

    // Sides of tables whose axes are stored elsewhere: a table's two axes are usually stored
    // one right after the other, so lengths of axes that follow each other pair up as rows ×
    // columns (in either order, as either may be the row axis).
    std::vector<std::pair<int, int>> axisPairs() const
    {
        struct Stored
        {
            qint64 at;
            int points;
            int size;
        };
        std::vector<Stored> all;
        for (const auto &[n, where] : axesByLength)
            for (const auto &[at, e] : where)
                all.push_back(Stored{at, n, e.size});
        std::sort(all.begin(), all.end(), [](const Stored &a, const Stored &b) {
            return a.at != b.at ? a.at < b.at : a.points < b.points;
        });
        std::vector<std::pair<int, int>> pairs;
        for (size_t i = 0; i + 1 < all.size(); ++i) {
            const qint64 end = all[i].at + qint64(all[i].points) * all[i].size;
            // The next axis starts after its count (and a pad byte before words).
            const Stored &next = all[i + 1];
            if (next.at <= end || next.at > end + 2 * qMax(all[i].size, next.size) + 1)
                continue;
            if (all[i].points * next.points > MaxCells)
                continue;
            pairs.push_back({all[i].points, next.points});
            pairs.push_back({next.points, all[i].points});
        }
        std::sort(pairs.begin(), pairs.end());
        pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
        return pairs;
    }

    // The counts in front of stored axes: where each stands, its points, its axis.
    struct Count
    {
        qint64 at;
        int points;
        qint64 axis;
        FinderElement element;
    };
    std::vector<Count> storedCounts() const
    {
        std::vector<Count> counts;
        for (const auto &[n, where] : axesByLength)
            for (const auto &[at, e] : where) {
                if (at >= 1 && image[at - 1] == n)
                    counts.push_back({at - 1, n, at, e});
                else if (at >= 2 && int(rawAt(image, at - 2, 2, e.littleEndian)) == n)
                    counts.push_back({at - 2, n, at, e});
            }
        // An axis is noted once for each reading that holds it: each count is kept once.
        std::sort(counts.begin(), counts.end(), [](const Count &a, const Count &b) {
            return std::make_tuple(a.at, a.axis, a.points) < std::make_tuple(b.at, b.axis, b.points);
        });
        counts.erase(std::unique(counts.begin(), counts.end(),
                                 [](const Count &a, const Count &b) {
                                     return a.at == b.at && a.axis == b.axis
                                            && a.points == b.points;
                                 }),
                     counts.end());
        return counts;
    }

    // What tables found by the code's links share: the stored axis lengths a side may have,
    // the elements their values are read as (bytes, and words in the image's order), and
    // where the readings with stored counts begin (the start of a structure each) and what
    // they hold (no such table begins inside one).
    struct LinkGround
    {
        std::vector<int> sides;
        std::vector<FinderElement> views;
        std::vector<qint64> starts; // unsorted
        Occupancy claimed;
        Occupancy tables; // of the readings with two stored counts and axes
    };
    LinkGround linkGround() const
    {
        LinkGround g;
        for (const auto &[n, where] : axesByLength)
            if (n >= 2 && n <= MaxAxisPoints)
                g.sides.push_back(n);
        g.views = {{1, true, FinderElement::Unsigned}, {1, true, FinderElement::Signed}};
        for (bool le : {true, false})
            if (!imageLittleEndian || *imageLittleEndian == le)
                for (int k : {int(FinderElement::Unsigned), int(FinderElement::Signed)})
                    g.views.push_back(FinderElement{2, le, k});
        for (const Found &f : found)
            if (f.candidate.headerStart >= 0) {
                g.starts.push_back(f.candidate.headerStart);
                g.claimed.add(f.candidate.firstByte(), f.candidate.lastByte());
                if (f.candidate.rows > 1)
                    g.tables.add(f.candidate.firstByte(), f.candidate.lastByte());
            }
        return g;
    }

    // Code that looks a value up in a table loads the address of the table's values and, an
    // instruction or two later, the address of the count in front of one of its stored axes.
    // Such a pair gives where a table without stored axes begins and how long one of its sides
    // is; the other side is the shortest axis length at which the table ends where the next
    // structure begins (stored counts and axes, or another table the code names so) and reads
    // as a table: tables lie packed, so a later end is the next table's.
    void searchLinked()
    {
        if (references.empty())
            return;
        const std::vector<Count> counts = storedCounts();
        if (counts.empty())
            return;
        LinkGround ground = linkGround();
        const std::vector<int> &sides = ground.sides;
        const std::vector<FinderElement> &views = ground.views;
        std::vector<qint64> &starts = ground.starts;
        const Occupancy &claimed = ground.claimed;
        for (const Count &c : counts)
            starts.push_back(c.at);
        const auto bounded = [&](qint64 end) {
            for (const qint64 at : {end, end + 1})
                if (std::binary_search(starts.begin(), starts.end(), at))
                    return true;
            return false;
        };
        // Each load of an address followed, two instructions later at most, by a load of a
        // stored axis's count links the values to that axis. The values lie in the same
        // stretch as the axis, in one of the pages whose addresses end as the word says.
        struct Link
        {
            qint64 z;
            const Count *count;
        };
        std::vector<Link> links;
        constexpr qint64 Reach = 8;
        // The counts by the low 14 and 16 bits of their address, as loads name them.
        std::vector<std::pair<quint32, size_t>> byLow[2];
        for (size_t k = 0; k < counts.size(); ++k)
            for (int b = 0; b < 2; ++b)
                byLow[b].push_back({quint32(counts[k].at) & (b == 0 ? 0x3FFFu : 0xFFFFu), k});
        for (auto &list : byLow)
            std::sort(list.begin(), list.end());
        // Each load with the loads shortly before it.
        std::deque<CodeReferences::Load> recent;
        references.scan(image, size, [&](const CodeReferences::Load &later) {
            while (!recent.empty() && later.at - recent.front().at > Reach)
                recent.pop_front();
            const auto &list = byLow[later.bits == 14 ? 0 : 1];
            for (const CodeReferences::Load &values : recent)
                for (auto it = std::lower_bound(list.begin(), list.end(),
                                                std::make_pair(later.word, size_t(0)));
                     it != list.end() && it->first == later.word; ++it) {
                    const Count &count = counts[it->second];
                    const qint64 page = qint64(1) << values.bits;
                    const qint64 base = (count.at & ~(page - 1)) + values.word;
                    for (int k = -2; k <= 2; ++k) {
                        const qint64 z = base + k * page;
                        if (z >= 0 && z < size && std::abs(z - count.at) <= 0x10000)
                            links.push_back({z, &count});
                    }
                }
            recent.push_back(later);
        });
        std::sort(links.begin(), links.end(), [](const Link &a, const Link &b) {
            return std::make_tuple(a.z, a.count->at, a.count->axis, a.count->points)
                   < std::make_tuple(b.z, b.count->at, b.count->axis, b.count->points);
        });
        links.erase(std::unique(links.begin(), links.end(),
                                [](const Link &a, const Link &b) {
                                    return a.z == b.z && a.count == b.count;
                                }),
                    links.end());
        // Every such address begins a structure, and so bounds the table before it.
        for (const Link &l : links)
            starts.push_back(l.z);
        std::sort(starts.begin(), starts.end());
        std::map<qint64, Found> best; // by the values' address
        std::map<qint64, double> bestValue;
        for (const Link &link : links) {
            const qint64 z = link.z;
            const Count &count = *link.count;
            if (claimed.overlaps(z, z))
                continue;
            // Along one link, the first end that is bounded is the table's: tables lie packed,
            // and a later end is the next table's.
            Found mine;
            qint64 myBytes = -1;
            double myValue = -1.0;
            for (const FinderElement &e : views) {
                if (e.size > 1 && (z & 1))
                    continue;
                for (const bool side : {true, false}) {
                    for (const int other : sides) {
                        const int rows = side ? other : count.points;
                        const int columns = side ? count.points : other;
                        const qint64 cells = qint64(rows) * columns;
                        const qint64 end = z + cells * e.size;
                        if (cells < 16 || cells > MaxCells || end > size
                            || (myBytes >= 0 && cells * e.size > myBytes)
                            || claimed.overlaps(z, end - 1) || !bounded(end))
                            continue;
                        const BlockStats st
                            = blockStats(readBlock(image, z, cells, e), rows, columns);
                        if (!st.valid || st.flat || st.monotonic || st.smooth < 0.5)
                            continue;
                        const double value = st.smooth - 0.05 * (e.size - 1) - 0.01 * e.kind;
                        if (myBytes == cells * e.size && value <= myValue)
                            continue;
                        myBytes = cells * e.size;
                        myValue = value;
                        mine = Found{};
                        MapCandidate &cand = mine.candidate;
                        cand.zAddress = z;
                        cand.rows = rows;
                        cand.columns = columns;
                        cand.element = e;
                        (side ? cand.xAddress : cand.yAddress) = count.axis;
                        (side ? cand.xElement : cand.yElement) = count.element;
                        cand.score = qMin(100.0, 100.0 * (0.3 + 0.45 * st.smooth
                                                          + 0.2 * sizeFactor(cells)));
                        cand.weight
                            = cand.score * std::sqrt(double(cells + count.points + 2)) * 1.5;
                        mine.block = BlockReading{cand.score,   cand.weight,     rows, columns,
                                                  st.rowSmooth, st.columnSmooth, 0.0,  0.0, 0.0};
                        mine.linkedAxis = count.axis;
                        mine.linkedPoints = count.points;
                    }
                }
            }
            // Of the axes linked to one address, the one whose table reads smoothest.
            if (myBytes < 0)
                continue;
            const auto known = bestValue.find(z);
            if (known != bestValue.end() && known->second >= myValue)
                continue;
            bestValue[z] = myValue;
            best[z] = mine;
        }
        for (auto &[z, f] : best)
            found.push_back(f);
    }

    // Code that looks values up along an axis several tables share searches the axis once,
    // keeps where the input falls in a word of memory, and hands that word to each table's
    // lookup. The word is read and written again in the few instructions after the load of
    // the axis's count, and read in the few around the load of a table's values. A word that
    // only one axis's lookup keeps links the table to that axis; with one axis linked so the
    // table is a curve along it, with two a map of their sizes. What is not settled (which
    // axis, the element) is settled by where the table ends: where the next structure the
    // code names begins, or a pad byte or two before, as tables lie packed.
    void searchIndexed()
    {
        if (references.empty())
            return;
        const std::vector<CodeReferences::Load> loads = references.loads(image, size);
        const std::vector<Count> counts = storedCounts();
        if (loads.empty() || counts.empty())
            return;
        constexpr qint64 AxisWindow = 24;         // an axis's lookup and the store of its place
        constexpr qint64 Before = 14, After = 18; // a table lookup's arguments
        // Bytes between a table's end and the next structure: a pad byte or two, or, after a
        // map whose two axes the code links, a few scalars the code names otherwise.
        constexpr qint64 MaxGap = 2;
        constexpr qint64 MaxTwoGap = 8;
        constexpr qint64 OpenEnd = MaxTwoGap + 1;
        constexpr int MaxAxes = 3; // more linked axes than a map has: the links are noise
        const auto window = [&](qint64 from, qint64 to, bool le, std::vector<quint32> &out) {
            out.clear();
            for (qint64 p = qMax<qint64>(from, 0); p + 1 < qMin(to, size); p += 2)
                out.push_back(quint32(rawAt(image, p, 2, le)));
        };
        const auto countsAt = [&](qint64 at) {
            return std::equal_range(
                counts.begin(), counts.end(), at, [](const auto &a, const auto &b) {
                    if constexpr (std::is_same_v<std::decay_t<decltype(a)>, Count>)
                        return a.at < b;
                    else
                        return a < b.at;
                });
        };
        // The words each axis's lookup keeps its place in, and the count they belong to.
        // A lookup's window ends where the next axis's lookup begins, whose place is its own.
        const auto namesCount = [&](const CodeReferences::Load &l) {
            return l.address >= 0 && countsAt(l.address).first != countsAt(l.address).second;
        };
        std::vector<quint32> words;
        std::vector<std::pair<quint32, qint64>> kept;
        for (size_t i = 0; i < loads.size(); ++i) {
            const CodeReferences::Load &l = loads[i];
            if (!namesCount(l))
                continue;
            qint64 stop = l.at + 2 + AxisWindow;
            for (size_t j = i + 1; j < loads.size() && loads[j].at < stop; ++j)
                if (namesCount(loads[j]))
                    stop = loads[j].at - 2;
            window(l.at + 2, stop, l.littleEndian, words);
            std::sort(words.begin(), words.end());
            for (size_t k = 0; k + 1 < words.size(); ++k)
                if (words[k] == words[k + 1] && (k == 0 || words[k - 1] != words[k]))
                    kept.push_back({words[k], l.address});
        }
        std::sort(kept.begin(), kept.end());
        kept.erase(std::unique(kept.begin(), kept.end()), kept.end());
        // How many lookups' windows hold each of those words: a word most of them hold (an
        // instruction, a page) links nothing. A word held by more than one lookup in fifty, or
        // by more than a few on a small image, is not a place kept in memory.
        std::vector<quint32> keptWords;
        for (const auto &[w, at] : kept)
            if (keptWords.empty() || keptWords.back() != w)
                keptWords.push_back(w);
        std::vector<int> frequency(keptWords.size(), 0);
        for (const CodeReferences::Load &l : loads) {
            window(l.at - Before, l.at + After, l.littleEndian, words);
            std::sort(words.begin(), words.end());
            words.erase(std::unique(words.begin(), words.end()), words.end());
            for (const quint32 w : words) {
                const auto it = std::lower_bound(keptWords.begin(), keptWords.end(), w);
                if (it != keptWords.end() && *it == w)
                    ++frequency[size_t(it - keptWords.begin())];
            }
        }
        const int common = qMax(16, int(loads.size() / 50));
        const auto isCommon = [&](quint32 w) {
            return frequency[size_t(std::lower_bound(keptWords.begin(), keptWords.end(), w)
                                    - keptWords.begin())]
                   > common;
        };
        kept.erase(std::remove_if(kept.begin(), kept.end(),
                                  [&](const auto &k) { return isCommon(k.first); }),
                   kept.end());
        std::vector<std::pair<quint32, qint64>> place; // words that only one axis keeps
        for (size_t i = 0; i < kept.size();) {
            size_t j = i;
            while (j < kept.size() && kept[j].first == kept[i].first)
                ++j;
            if (j == i + 1)
                place.push_back(kept[i]);
            i = j;
        }
        // Each table address with the counts linked to it, by a kept place or by the load of
        // a count right after the values' own.
        // (the values' address, the count, whether the count's own address is loaded after)
        std::vector<std::tuple<qint64, qint64, bool>> links;
        constexpr qint64 Reach = 8;
        for (size_t i = 0; i < loads.size(); ++i) {
            const CodeReferences::Load &l = loads[i];
            if (l.address < 0 || countsAt(l.address).first != countsAt(l.address).second)
                continue;
            window(l.at - Before, l.at + After, l.littleEndian, words);
            for (const quint32 w : words) {
                const auto it
                    = std::lower_bound(place.begin(), place.end(), std::make_pair(w, qint64(-1)));
                if (it != place.end() && it->first == w)
                    links.push_back({l.address, it->second, false});
            }
            for (size_t j = i + 1; j < loads.size() && loads[j].at - l.at <= Reach; ++j)
                if (loads[j].address >= 0
                    && countsAt(loads[j].address).first != countsAt(loads[j].address).second)
                    links.push_back({l.address, loads[j].address, true});
        }
        std::sort(links.begin(), links.end());
        links.erase(std::unique(links.begin(), links.end()), links.end());
        LinkGround ground = linkGround();
        const std::vector<int> &sides = ground.sides;
        const std::vector<FinderElement> &views = ground.views;
        std::vector<qint64> &starts = ground.starts;
        const Occupancy &claimed = ground.claimed;
        // Every address the code names may begin the next structure, as may every count;
        // only tables the code links to axes are sure enough to forbid a table around them,
        // as immediate words name many addresses by chance and counts are read inside tables.
        std::vector<qint64> sure;
        for (const auto &link : links)
            sure.push_back(std::get<0>(link));
        sure.erase(std::unique(sure.begin(), sure.end()), sure.end());
        for (const Count &c : counts)
            starts.push_back(c.at);
        // What ends a table whose second side is guessed: a count or a linked table.
        std::vector<qint64> strong = starts;
        strong.insert(strong.end(), sure.begin(), sure.end());
        std::sort(strong.begin(), strong.end());
        strong.erase(std::unique(strong.begin(), strong.end()), strong.end());
        for (const CodeReferences::Load &l : loads)
            if (l.address >= 0)
                starts.push_back(l.address);
        std::sort(starts.begin(), starts.end());
        starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
        // Each table address with the counts linked to it.
        struct Linked
        {
            qint64 z;
            std::vector<const Count *> axes;
            std::vector<qint64> distinct; // their addresses
            bool axisHanded;              // an axis's own address handed to the lookup
        };
        std::vector<Linked> tables;
        for (size_t i = 0; i < links.size();) {
            Linked t{std::get<0>(links[i]), {}, {}, false};
            for (; i < links.size() && std::get<0>(links[i]) == t.z; ++i) {
                t.axisHanded = t.axisHanded || std::get<2>(links[i]);
                const auto [first, last] = countsAt(std::get<1>(links[i]));
                for (auto c = first; c != last; ++c)
                    t.axes.push_back(&*c);
            }
            if (claimed.overlaps(t.z, t.z))
                continue;
            for (const Count *c : t.axes)
                t.distinct.push_back(c->at);
            std::sort(t.distinct.begin(), t.distinct.end());
            t.distinct.erase(std::unique(t.distinct.begin(), t.distinct.end()), t.distinct.end());
            if (int(t.distinct.size()) <= MaxAxes)
                tables.push_back(std::move(t));
        }
        // The best reading of one table. An open end is allowed only with the element, and the
        // curve or map, that the routine the code calls for it reads, once that is known.
        const auto choose = [&](const Linked &t, int openSize, bool openMap) {
            const qint64 z = t.z;
            const std::vector<const Count *> &axes = t.axes;
            const std::vector<qint64> &distinct = t.distinct;
            const bool axisHanded = t.axisHanded;
            // Shapes the axes give: a curve along each, a map along each two. A table with one
            // axis linked may be a map whose other axis the code finds otherwise: of a length
            // some stored axis has, ending where a count or a linked table begins.
            struct Shape
            {
                const Count *y; // null for a curve, or where the other side is guessed
                const Count *x;
                int rows;
                int columns;
                bool guessed;
            };
            std::vector<Shape> shapes;
            for (const Count *a : axes) {
                shapes.push_back({nullptr, a, 1, a->points, false});
                for (const Count *b : axes)
                    if (b->at != a->at)
                        shapes.push_back({a, b, a->points, b->points, false});
                if (distinct.size() == 1)
                    for (const int other : sides) {
                        shapes.push_back({nullptr, a, other, a->points, true});
                        shapes.push_back({a, nullptr, a->points, other, true});
                    }
            }
            Found best;
            std::tuple<bool, qint64, bool, qint64, double> bestRank{true, OpenEnd + 1, true, 0,
                                                                    0.0};
            for (const Shape &shape : shapes)
                for (const FinderElement &e : views) {
                    if (e.size > 1 && (z & 1))
                        continue;
                    const int rows = shape.rows, columns = shape.columns;
                    const qint64 cells = qint64(rows) * columns;
                    const qint64 end = z + cells * e.size;
                    // A reading with stored counts inside the values is left to compete:
                    // counts and axes are often read by chance inside a table.
                    if (cells < (shape.guessed ? 16 : 4) || end > size)
                        continue;
                    const std::vector<qint64> &bounds = shape.guessed ? strong : starts;
                    const bool two = shape.x && shape.y;
                    const auto next = std::lower_bound(bounds.begin(), bounds.end(), end);
                    // Past the widest gap the end is open. Then only the element and the kind
                    // (curve or map) the called routine reads elsewhere are taken, and only a
                    // map of two linked axes that reads as one, or a curve along the one place
                    // handed over with no axis handed by its address (a lookup given an axis
                    // and a place reads a map).
                    const qint64 gap
                        = next == bounds.end() || *next - end > (two ? MaxTwoGap : MaxGap)
                              ? OpenEnd
                              : *next - end;
                    if (gap == OpenEnd
                        && (openSize == 0 || e.size != openSize || (rows > 1) != openMap
                            || !(two
                                 || (!shape.y && !shape.guessed && distinct.size() == 1
                                     && !axisHanded))))
                        continue;
                    // A structure the code names inside the values: another table's start.
                    const auto inside = std::upper_bound(sure.begin(), sure.end(), z);
                    if (inside != sure.end() && *inside < end)
                        continue;
                    // A guessed side is weaker than stored counts and axes: it stops before them.
                    if (shape.guessed && ground.tables.overlaps(z, end - 1))
                        continue;
                    const BlockStats st = blockStats(readBlock(image, z, cells, e), rows, columns);
                    if (!st.valid || (shape.guessed && (st.flat || st.monotonic || st.smooth < 0.5))
                        || (gap == OpenEnd && two && (st.flat || st.monotonic || st.smooth < 0.6)))
                        continue;
                    const double value
                        = st.smooth - 0.05 * (e.size - 1) - 0.01 * e.kind + (two ? 0.1 : 0.0);
                    // Code that hands a table two places reads a map; then the end closest to
                    // the next structure, and of equal ends the smaller table, tells the shape.
                    const std::tuple<bool, qint64, bool, qint64, double> rank{
                        !two, gap, shape.guessed, cells * e.size, -value};
                    if (!(rank < bestRank))
                        continue;
                    bestRank = rank;
                    best = Found{};
                    best.stats = st;
                    best.indexedGap = qint16(gap == OpenEnd ? -1 : gap);
                    MapCandidate &cand = best.candidate;
                    cand.zAddress = z;
                    cand.rows = rows;
                    cand.columns = columns;
                    cand.element = e;
                    if (shape.x) {
                        cand.xAddress = shape.x->axis;
                        cand.xElement = shape.x->element;
                    }
                    if (shape.y) {
                        cand.yAddress = shape.y->axis;
                        cand.yElement = shape.y->element;
                    }
                    // The code naming the start and linking the axes vouches for a table as
                    // its stored counts do; a table of one value is still one the code reads.
                    cand.score = qMin(100.0, 80.0 + (two ? 5.0 : 0.0) - (shape.guessed ? 5.0 : 0.0)
                                                 + (gap == 0         ? 5.0
                                                    : gap == OpenEnd ? -10.0
                                                                     : 0.0)
                                                 + (st.flat ? 0.0 : 10.0 * st.smooth));
                    cand.weight = cand.score * std::sqrt(double(cells + columns + rows))
                                  * (gap == OpenEnd && !two ? 1.0 : 6.0);
                }
            return best;
        };
        // Which element each routine the code calls reads, and whether curves or maps, learnt
        // from the tables read with a bounded end: the words after their loads that go with
        // one kind of table only.
        // (the loads' indices, by the address each names)
        std::vector<quint32> loadsByAddress;
        for (size_t i = 0; i < loads.size(); ++i)
            if (loads[i].address >= 0)
                loadsByAddress.push_back(quint32(i));
        const auto addressOf = [&](quint32 i) { return std::make_pair(loads[i].address, i); };
        std::sort(loadsByAddress.begin(), loadsByAddress.end(),
                  [&](quint32 a, quint32 b) { return addressOf(a) < addressOf(b); });
        const auto wordsAfter = [&](qint64 z) {
            std::vector<quint32> all, w;
            for (auto it
                 = std::lower_bound(loadsByAddress.begin(), loadsByAddress.end(), z,
                                    [&](quint32 i, qint64 a) { return loads[i].address < a; });
                 it != loadsByAddress.end() && loads[*it].address == z; ++it) {
                const CodeReferences::Load &l = loads[*it];
                window(l.at + 2, l.at + 2 + After, l.littleEndian, w);
                all.insert(all.end(), w.begin(), w.end());
            }
            std::sort(all.begin(), all.end());
            all.erase(std::unique(all.begin(), all.end()), all.end());
            return all;
        };
        // Kinds: byte curve, byte map, word curve, word map.
        const auto kindOf
            = [](const MapCandidate &c) { return 2 * (c.element.size - 1) + (c.rows > 1 ? 1 : 0); };
        std::vector<Found> chosen(tables.size());
        std::map<quint32, std::array<int, 4>> routines;
        for (size_t k = 0; k < tables.size(); ++k) {
            chosen[k] = choose(tables[k], 0, false);
            const MapCandidate &c = chosen[k].candidate;
            if (chosen[k].indexed() && (c.element.size == 1 || c.element.size == 2))
                for (const quint32 w : wordsAfter(tables[k].z))
                    ++routines[w][size_t(kindOf(c))];
        }
        constexpr int MinRoutineTables = 3;
        for (size_t k = 0; k < tables.size(); ++k) {
            if (!chosen[k].indexed()) {
                // Every routine the lookups call that is known must read one kind.
                int told = -1;
                for (const quint32 w : wordsAfter(tables[k].z)) {
                    const auto it = routines.find(w);
                    if (it == routines.end())
                        continue;
                    const std::array<int, 4> &n = it->second;
                    const int most = int(std::max_element(n.begin(), n.end()) - n.begin());
                    const int all = std::accumulate(n.begin(), n.end(), 0);
                    if (n[size_t(most)] >= MinRoutineTables
                        && 10 * (all - n[size_t(most)]) <= n[size_t(most)])
                        told = told == -1 || told == most ? most : -2;
                }
                if (told >= 0)
                    chosen[k] = choose(tables[k], told / 2 + 1, told % 2 == 1);
            }
            if (chosen[k].indexed())
                found.push_back(chosen[k]);
        }
    }

    // Tables are stored packed: where a table with stored axes ends, the next table begins,
    // and the one after it where that one ends; where one begins, the one before it ends.
    // Each link of such a chain is the block, of a size two neighbouring stored axes give,
    // that reads as the smoothest table there.
    void searchPacked()
    {
        const std::vector<std::pair<int, int>> pairs = axisPairs();
        if (pairs.empty())
            return;
        std::vector<qint64> starts, ends;
        for (const Found &f : found) {
            if (f.candidate.headerStart >= 0) {
                ends.push_back(f.candidate.lastByte() + 1);
                starts.push_back(f.candidate.headerStart);
            }
        }
        std::sort(starts.begin(), starts.end());
        starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
        // Values of tables read with their stored axes are not part of a packed run.
        Occupancy claimed;
        for (const Found &f : found)
            if (f.candidate.headerStart >= 0)
                claimed.add(f.candidate.zAddress, f.candidate.lastByte());
        // Two tables of sizes the axes give, stored back to back, read as one block of the
        // two together: the values step from the one into the other by far more than
        // between the rows of either.
        const auto twoTables = [&](const std::vector<double> &v, int rows, int columns) {
            std::vector<double> steps(size_t(qMax(rows - 1, 0)), 0.0);
            for (int r = 1; r < rows; ++r)
                for (int c = 0; c < columns; ++c)
                    steps[size_t(r - 1)]
                        += std::fabs(v[size_t(r * columns + c)] - v[size_t((r - 1) * columns + c)]);
            for (int r = 1; r < rows; ++r) {
                if (!std::binary_search(pairs.begin(), pairs.end(), std::make_pair(r, columns))
                    || !std::binary_search(pairs.begin(), pairs.end(),
                                           std::make_pair(rows - r, columns)))
                    continue;
                double others = 0.0;
                bool largest = true;
                for (int k = 0; k < rows - 1; ++k) {
                    if (k == r - 1)
                        continue;
                    others += steps[size_t(k)];
                    largest = largest && steps[size_t(k)] < steps[size_t(r - 1)];
                }
                if (largest && (rows < 3 || steps[size_t(r - 1)] > 1.5 * others / (rows - 2)))
                    return true;
            }
            return false;
        };
        std::sort(ends.begin(), ends.end());
        ends.erase(std::unique(ends.begin(), ends.end()), ends.end());
        const FinderElement views[] = {
            {1, true, FinderElement::Unsigned},  {1, true, FinderElement::Signed},
            {2, true, FinderElement::Unsigned},  {2, true, FinderElement::Signed},
            {2, false, FinderElement::Unsigned}, {2, false, FinderElement::Signed},
        };
        // The best block that begins at pos (forward) or ends just before it.
        auto bestLink = [&](qint64 pos, bool forward, bool first, const FinderElement &chain,
                            Found *out) {
            double bestValue = -1.0;
            for (const FinderElement &e : views) {
                // Once a chain's element is known, the tables along it share it.
                if (!first && !(e == chain))
                    continue;
                // Words start at even addresses, after a pad byte where needed.
                qint64 edge = pos;
                if (e.size > 1 && (pos & 1)) {
                    if (!first)
                        continue;
                    edge = forward ? pos + 1 : pos - 1;
                }
                for (const auto &[rows, columns] : pairs) {
                    const qint64 bytes = qint64(rows) * columns * e.size;
                    const qint64 start = forward ? edge : edge - bytes;
                    if (start < 0 || start + bytes > size)
                        continue;
                    // A table with its own stored header is not part of a packed run.
                    const auto inside = std::upper_bound(starts.begin(), starts.end(), start);
                    if (inside != starts.end() && *inside < start + bytes)
                        continue;
                    if (claimed.overlaps(start, start + bytes - 1))
                        continue;
                    const std::vector<double> v = readBlock(image, start, bytes / e.size, e);
                    const BlockStats st = blockStats(v, rows, columns);
                    if (!st.valid || st.flat || st.monotonic || st.smooth < 0.6
                        || st.rowSmooth < 0.5 || st.columnSmooth < 0.4)
                        continue;
                    if (twoTables(v, rows, columns))
                        continue;
                    // A wider element must be clearly smoother, as for stored headers; a
                    // larger block explains more of the image.
                    const double value = st.smooth - 0.05 * (e.size - 1) - 0.01 * e.kind
                                         + 0.02 * std::log2(double(rows) * columns);
                    if (value <= bestValue)
                        continue;
                    bestValue = value;
                    MapCandidate c;
                    c.zAddress = start;
                    c.rows = rows;
                    c.columns = columns;
                    c.element = e;
                    c.score
                        = 85.0
                          * (0.55 * st.smooth + 0.25 + 0.2 * sizeFactor(qint64(rows) * columns));
                    c.weight = c.score * std::sqrt(double(rows) * columns) * 1.0;
                    *out = Found{};
                    out->candidate = c;
                    out->block
                        = BlockReading{c.score,         c.weight, rows, columns, st.rowSmooth,
                                       st.columnSmooth, 0.0,      0.0,  0.0};
                    out->packedAfter = forward ? pos - 1 : -1;
                }
            }
            return bestValue >= 0.0;
        };
        std::vector<Found> chained;
        for (const bool forward : {true, false}) {
            for (const qint64 anchor : forward ? ends : starts) {
                qint64 pos = anchor;
                FinderElement chain;
                for (int link = 0; link < 32; ++link) {
                    Found f;
                    if (!bestLink(pos, forward, link == 0, chain, &f))
                        break;
                    chained.push_back(f);
                    chain = f.candidate.element;
                    pos = forward ? f.candidate.lastByte() + 1 : f.candidate.zAddress;
                    // Another stored header begins or ends here: the run ends.
                    if (std::binary_search(forward ? starts.begin() : ends.begin(),
                                           forward ? starts.end() : ends.end(), pos))
                        break;
                }
            }
        }
        // A block both chains reach, from the table before the run and from the one after it,
        // is bounded on both sides.
        std::sort(chained.begin(), chained.end(), [](const Found &x, const Found &y) {
            const MapCandidate &a = x.candidate, &b = y.candidate;
            return std::make_tuple(a.zAddress, a.rows, a.columns, a.element.size,
                                   a.element.littleEndian, a.element.kind, -x.packedAfter)
                   < std::make_tuple(b.zAddress, b.rows, b.columns, b.element.size,
                                     b.element.littleEndian, b.element.kind, -y.packedAfter);
        });
        for (size_t i = 0; i < chained.size(); ++i) {
            size_t j = i + 1;
            while (j < chained.size()
                   && chained[j].candidate.zAddress == chained[i].candidate.zAddress
                   && chained[j].candidate.rows == chained[i].candidate.rows
                   && chained[j].candidate.columns == chained[i].candidate.columns
                   && chained[j].candidate.element == chained[i].candidate.element)
                ++j;
            Found f = chained[i];
            if (j - i > 1) {
                f.candidate.score = qMin(100.0, f.candidate.score + 8.0);
                f.candidate.weight *= 1.3;
            }
            found.push_back(f);
            i = j - 1;
        }
    }

    // Tables lie packed: one whose last value is followed at once by another point count
    // and axis is bounded where it says.
    void markAdjacency()
    {
        // Headers come sorted by their start, so repeats are dropped as they come.
        std::vector<qint64> starts;
        for (const Header &h : headers)
            if (starts.empty() || starts.back() != h.start)
                starts.push_back(h.start);
        std::sort(starts.begin(), starts.end());
        starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
        for (Found &f : found) {
            MapCandidate &c = f.candidate;
            const qint64 next = c.lastByte() + 1;
            for (qint64 at : {next, next + 1}) {
                if (std::binary_search(starts.begin(), starts.end(), at)) {
                    c.score = qMin(100.0, c.score + 8.0);
                    c.weight *= 1.3;
                    f.followedBy = at;
                    break;
                }
            }
        }
    }

    // Of the two readings of a table's bytes, with and without a sign, the one whose values
    // step least from each neighbour: read the wrong way, values that cross zero (or the
    // middle of the range) jump by the whole range there, however smooth the table is.
    void settleSign(MapCandidate &c) const
    {
        if (c.element.kind == FinderElement::Float || c.rows < 1 || c.columns < 1)
            return;
        const qint64 cells = qint64(c.rows) * c.columns;
        const auto variation = [&](int kind) {
            const std::vector<double> v
                = readBlock(image, c.zAddress, cells,
                            FinderElement{c.element.size, c.element.littleEndian, kind});
            double sum = 0.0;
            for (qint64 i = 0; i < cells; ++i) {
                if (i % c.columns > 0)
                    sum += std::fabs(v[size_t(i)] - v[size_t(i - 1)]);
                if (i >= c.columns)
                    sum += std::fabs(v[size_t(i)] - v[size_t(i - c.columns)]);
            }
            return sum;
        };
        const double plain = variation(FinderElement::Unsigned);
        const double sign = variation(FinderElement::Signed);
        c.element.kind = sign < plain ? FinderElement::Signed : FinderElement::Unsigned;
    }

    // The evidence of a proposed reading, in words.
    void describe(Found &f) const
    {
        MapCandidate &c = f.candidate;
        if (c.headerStart >= 0) {
            const QString countType = c.countSize == 1
                                          ? QStringLiteral("8 bit")
                                          : QStringLiteral("16 bit %1")
                                                .arg(f.countLittleEndian ? QStringLiteral("LoHi")
                                                                         : QStringLiteral("HiLo"));
            c.evidence << (c.rows > 1 ? QStringLiteral("conteggi degli assi %1 × %2 (%3) @%4")
                                            .arg(c.rows)
                                            .arg(c.columns)
                                            .arg(countType, hexAddress(c.headerStart))
                                      : QStringLiteral("conteggio dell'asse %1 (%2) @%3")
                                            .arg(c.columns)
                                            .arg(countType, hexAddress(c.headerStart)));
            c.evidence << (c.rows > 1
                               ? QStringLiteral("assi monotoni @%1 e @%2")
                                     .arg(hexAddress(c.yAddress), hexAddress(c.xAddress))
                               : QStringLiteral("asse monotono @%1").arg(hexAddress(c.xAddress)));
            c.evidence << smoothText(f.stats, c.rows, c.columns);
            c.evidence << QStringLiteral("larghezza uguale all'asse X (%1 punti)").arg(c.columns);
            if (references.named(c.headerStart)) {
                c.score = qMin(100.0, c.score + NamedHeaderScore);
                c.evidence << QStringLiteral("inizio della tabella nominato dal codice (%1)")
                                  .arg(references.description());
            }
        } else if (f.indexed()) {
            for (const auto &[axis, points] :
                 {std::make_pair(c.yAddress, c.rows), std::make_pair(c.xAddress, c.columns)})
                if (axis >= 0)
                    c.evidence << QStringLiteral(
                                      "il codice cerca prima il punto sull'asse @%1 (%2 punti) "
                                      "e lo passa alla lettura di questi valori")
                                      .arg(hexAddress(axis))
                                      .arg(points);
            c.evidence << QStringLiteral("inizio dei valori nominato dal codice (%1)")
                              .arg(references.description());
            c.evidence << (f.indexedGap == 0 ? QStringLiteral(
                               "i valori finiscono dove inizia la struttura seguente")
                           : f.indexedGap > 0
                               ? QStringLiteral(
                                     "i valori finiscono %1 byte prima della struttura seguente")
                                     .arg(f.indexedGap)
                               : QStringLiteral("nessuna struttura nominata subito dopo i valori"));
            c.evidence << smoothText(f.stats, c.rows, c.columns);
        } else {
            const BlockReading &b = f.block;
            c.evidence << QStringLiteral("nessun conteggio degli assi davanti ai valori")
                       << QStringLiteral("righe lisce %1, colonne lisce %2")
                              .arg(b.rowSmooth, 0, 'f', 2)
                              .arg(b.columnSmooth, 0, 'f', 2)
                       << QStringLiteral("larghezza %1 e altezza %2 pari ad assi trovati")
                              .arg(b.columns)
                              .arg(b.rows)
                       << QStringLiteral("salto dei valori prima %1, dopo %2, a capo riga %3")
                              .arg(b.top, 0, 'f', 2)
                              .arg(b.bottom, 0, 'f', 2)
                              .arg(b.wrap, 0, 'f', 2);
            // Where the block finally stands, which moving it may have changed.
            const BlockNames named = namesOf(c.zAddress, c.rows, c.columns, c.element.size);
            if (named.start) {
                // A table's first value is named several times as often as any address: the
                // block ranks with the readings whose stored counts vouch for them.
                c.score = qMin(100.0, c.score + NamedStartScore);
                c.evidence << QStringLiteral("inizio dei valori nominato dal codice (%1)")
                                  .arg(references.description());
            }
            if (named.end)
                c.evidence << QStringLiteral("il byte dopo l'ultimo valore è nominato dal codice");
            if (named.rows > 0)
                c.evidence << QStringLiteral("%1 righe interne nominate dal codice").arg(named.rows);
        }
        if (f.packedAfter >= 0)
            c.evidence << QStringLiteral("valori subito dopo l'ultimo byte di un'altra tabella @%1")
                              .arg(hexAddress(f.packedAfter));
        if (f.linkedAxis >= 0)
            c.evidence << QStringLiteral("il codice carica l'indirizzo dei valori e subito dopo "
                                         "quello dell'asse @%1 (%2 punti)")
                              .arg(hexAddress(f.linkedAxis))
                              .arg(f.linkedPoints);
        if (f.otherByteOrder)
            c.evidence << QStringLiteral("ordine dei byte contrario a quello degli assi dell'immagine");
        if (f.followedBy >= 0)
            c.evidence << QStringLiteral("seguita subito da conteggio e asse @%1")
                              .arg(hexAddress(f.followedBy));
    }

    // The nearest axis of the right length stored apart from the table, offered as a guess.
    void guessAxes(MapCandidate &c) const
    {
        auto nearest = [&](int points, qint64 *at, FinderElement *e) {
            const auto it = axesByLength.find(points);
            if (it == axesByLength.end())
                return;
            qint64 bestDistance = -1;
            for (const auto &[where, element] : it->second) {
                const qint64 d = qAbs(where - c.zAddress);
                if (bestDistance < 0 || d < bestDistance) {
                    bestDistance = d;
                    *at = where;
                    *e = element;
                }
            }
        };
        nearest(c.columns, &c.xAddress, &c.xElement);
        if (c.rows > 1)
            nearest(c.rows, &c.yAddress, &c.yElement);
        if (c.xAddress >= 0 || c.yAddress >= 0) {
            c.axesGuessed = true;
            c.evidence << QStringLiteral("assi supposti: i più vicini con quei punti");
        }
    }

    // A long list of fixed-width records (fault codes, say, each stored in a few variants) is
    // no calibration table, but where the values of each record agree, any block read inside
    // it is as smooth as a table. Such a run is longer than any table: it is read once, as the
    // list it is, and nothing else is proposed with bytes inside it.
    struct RecordList
    {
        qint64 start;
        qint64 rows;
        int columns;
        FinderElement element;
        double within;  // mean step between neighbouring values of one record
        double between; // mean step from a value to the same one of the next record
        qint64 lastByte() const { return start + rows * columns * element.size - 1; }
    };
    std::vector<RecordList> recordLists;

    // The runs of records of one width and element that read as a list. A record agrees when
    // its values step, one to the next, four times less than a smooth run of values would
    // against the step to the next record (such a run's records step w times as far as their
    // values): values in no order, smooth runs and tables step about as far either way. A
    // record that equals the next does not agree, so filler is no list. A list has exceptions
    // (records of other kinds, repeats): a run goes on while at least a third of every
    // RecordWindow records agree. x(j) reads element j: it is read several times per element
    // and width, so each element type has its own copy of the loop.
    template<typename Read>
    void recordRuns(const Read &x,
                    const FinderElement &e,
                    int columns,
                    std::vector<RecordList> &runs) const
    {
        const qint64 n = size / e.size;
        const int w = columns;
        const int k = RecordWindow;
        if (n < qint64(k + 1) * w)
            return;
        // Whether each of the last k records of each position in the record (i mod w) agrees,
        // how many do, and the first and last agreeing record of the run open there.
        const qint64 ring = qint64(k) * w;
        // (ints, not bytes: stores through a byte type would make the compiler reload
        // everything after each of them)
        std::vector<int> agrees(size_t(ring), 0);
        std::vector<int> count(size_t(w), 0);
        std::vector<qint64> first(size_t(w), -1), lastAgreeing(size_t(w), -1);
        // Whether the record at element i agrees, from its own values.
        const auto agreesAt = [&](qint64 i) {
            qint64 in = 0, to = 0;
            for (int c = 0; c < w; ++c) {
                in += c > 0 ? qAbs(x(i + c) - x(i + c - 1)) : 0;
                to += qAbs(x(i + w + c) - x(i + c));
            }
            return to > 0 && to * (w - 1) >= 4 * qint64(w) * w * in;
        };
        const auto close = [&](int r) {
            const qint64 from = first[size_t(r)];
            first[size_t(r)] = -1;
            const qint64 records = (lastAgreeing[size_t(r)] - from) / w + 1;
            if (records * w <= MaxCells)
                return;
            // A window reaches two thirds of its records past the list's ends, where stray
            // records agree too. The list runs from the first record that begins a stretch of
            // agreeing records as long as the shortest table side, with three quarters of the
            // window after it agreeing, to the last that ends one, with three quarters of the
            // window before it agreeing. Found by sliding the window, so that a run of any
            // length needs no memory of its own.
            const auto recordAgrees
                = [&](qint64 j) { return j >= 0 && j < records && agreesAt(from + j * w); };
            const int stretch = MinTableSide;
            const auto edge = [&](qint64 j, int step) {
                int inWindow = 0; // agreeing records among j, j + step, ... (k of them)
                for (int m = 0; m < k; ++m)
                    inWindow += recordAgrees(j + m * step);
                for (; j >= 0 && j < records; j += step) {
                    bool stretchAgrees = true;
                    for (int m = 0; m < stretch && stretchAgrees; ++m)
                        stretchAgrees = recordAgrees(j + m * step);
                    if (stretchAgrees && 4 * inWindow >= 3 * k)
                        return j;
                    inWindow += int(recordAgrees(j + k * step)) - int(recordAgrees(j));
                }
                return j;
            };
            const qint64 begin = edge(0, 1), end = edge(records - 1, -1);
            const qint64 rows = end - begin + 1;
            if (rows * w <= MaxCells)
                return;
            qint64 agreeing = 0;
            for (qint64 j = begin; j <= end; ++j)
                agreeing += recordAgrees(j);
            if (2 * agreeing < rows)
                return;
            const qint64 start = from + begin * w;
            qint64 within = 0, between = 0;
            for (qint64 i = start; i < start + (rows - 1) * w; i += w) {
                for (int c = 0; c < w; ++c) {
                    within += c > 0 ? qAbs(x(i + c) - x(i + c - 1)) : 0;
                    between += qAbs(x(i + w + c) - x(i + c));
                }
            }
            // Over the whole list too, with its exceptions, a record's values step at most a
            // quarter as far as to the next record.
            const double steps = double(rows - 1);
            const RecordList list{start * e.size,
                                  rows,
                                  w,
                                  e,
                                  double(within) / (steps * (w - 1)),
                                  double(between) / (steps * w)};
            if (4.0 * list.within <= list.between)
                runs.push_back(list);
        };
        const qint64 last = n - 2 * w; // the last record that has a next one
        const qint64 factor = 4 * qint64(w) * w;
        // Whether each record agrees, a chunk of records at a time, from running sums of the
        // steps between neighbours and of the steps to the value w further on.
        constexpr qint64 Chunk = 4096;
        std::vector<qint64> adjacent(size_t(Chunk + w)), lagged(size_t(Chunk + w));
        std::vector<int> chunkAgrees(static_cast<size_t>(Chunk));
        qint64 slot = 0;
        int r = 0;
        int *inWindow = count.data();
        int *ringAgrees = agrees.data();
        int inRing = 0; // agreeing records among the last k of every position
        int open = 0;   // positions with a run open
        for (qint64 c0 = 0; c0 <= last; c0 += Chunk) {
            const qint64 len = qMin(Chunk, last + 1 - c0);
            adjacent[0] = 0;
            for (qint64 t = 0; t < len + w - 2; ++t)
                adjacent[size_t(t + 1)] = adjacent[size_t(t)] + qAbs(x(c0 + t + 1) - x(c0 + t));
            lagged[0] = 0;
            for (qint64 t = 0; t < len + w - 1; ++t)
                lagged[size_t(t + 1)] = lagged[size_t(t)] + qAbs(x(c0 + t + w) - x(c0 + t));
            int inChunk = 0;
            for (qint64 t = 0; t < len; ++t) {
                const qint64 within = adjacent[size_t(t + w - 1)] - adjacent[size_t(t)];
                const qint64 between = lagged[size_t(t + w)] - lagged[size_t(t)];
                chunkAgrees[size_t(t)]
                    = int(between > 0) & int(between * (w - 1) >= factor * within);
                inChunk += chunkAgrees[size_t(t)];
            }
            // Most of an image has no agreeing record near: nothing to count or close there.
            if (inChunk == 0 && inRing == 0 && open == 0) {
                r = int((r + len) % w);
                slot = (slot + len) % ring;
                continue;
            }
            for (qint64 t = 0; t < len; ++t) {
                const qint64 i = c0 + t;
                const int agree = chunkAgrees[size_t(t)];
                inWindow[r] += agree - ringAgrees[slot];
                inRing += agree - ringAgrees[slot];
                ringAgrees[slot] = agree;
                if (i >= ring - w) {
                    const bool list = 3 * inWindow[r] >= k;
                    if (list && first[size_t(r)] < 0) {
                        ++open;
                        // The window's first and last agreeing records.
                        for (qint64 j = i - ring + w; j <= i; j += w) {
                            if (ringAgrees[j % ring]) {
                                if (first[size_t(r)] < 0)
                                    first[size_t(r)] = j;
                                lastAgreeing[size_t(r)] = j;
                            }
                        }
                    } else if (list && agree) {
                        lastAgreeing[size_t(r)] = i;
                    } else if (!list && first[size_t(r)] >= 0) {
                        --open;
                        close(r);
                    }
                }
                r = r + 1 == w ? 0 : r + 1;
                slot = slot + 1 == ring ? 0 : slot + 1;
            }
        }
        for (int p = 0; p < w; ++p)
            if (first[size_t(p)] >= 0)
                close(p);
    }

    void findRecordLists()
    {
        // Records of bytes or of words (no wider element is read here).
        const FinderElement views[] = {{1, true, FinderElement::Unsigned},
                                       {2, true, FinderElement::Unsigned},
                                       {2, false, FinderElement::Unsigned}};
        std::vector<RecordList> runs;
        const uint8_t *b = image;
        const auto byteAt = [b](qint64 j) { return qint64(b[j]); };
        const auto loHiAt = [b](qint64 j) { return qint64(b[2 * j]) | qint64(b[2 * j + 1]) << 8; };
        const auto hiLoAt = [b](qint64 j) { return qint64(b[2 * j]) << 8 | qint64(b[2 * j + 1]); };
        for (int columns = 2; columns <= MaxRecordColumns; ++columns) {
            if (!report(95 + 4 * (columns - 2) / (MaxRecordColumns - 1)))
                return;
            recordRuns(byteAt, views[0], columns, runs);
            recordRuns(loHiAt, views[1], columns, runs);
            recordRuns(hiLoAt, views[2], columns, runs);
        }
        // A run of records of w values also reads as records of any divisor of w: the widest
        // reading is the record; of one width, the one whose records agree most closely.
        std::sort(runs.begin(), runs.end(), [](const RecordList &a, const RecordList &b) {
            return std::make_tuple(-a.columns, a.within * b.between, a.start, a.element.size,
                                   !a.element.littleEndian)
                   < std::make_tuple(-b.columns, b.within * a.between, b.start, b.element.size,
                                     !b.element.littleEndian);
        });
        Occupancy kept;
        for (const RecordList &run : runs) {
            if (kept.overlaps(run.start, run.lastByte()))
                continue;
            kept.add(run.start, run.lastByte());
            recordLists.push_back(run);
        }
        // A list's edges are where its records start and stop agreeing: a reading that takes
        // bytes of it, even one with stored axes, is too large or misplaced.
        const auto inList = [&](const Found &f) {
            return kept.overlaps(f.candidate.firstByte(), f.candidate.lastByte());
        };
        found.erase(std::remove_if(found.begin(), found.end(), inList), found.end());
    }

    // The lists as candidates, after the tables: scored at the least a candidate is shown with
    // by default, so that they come after the tables, and left out where a table or a known
    // map holds their bytes, less the rows a table reaching into their ends takes.
    void addRecordLists(const Occupancy &taken, QList<MapCandidate> &out) const
    {
        const double score = 40.0;
        if (score < options.minimumScore)
            return;
        for (RecordList l : recordLists) {
            const qint64 rowBytes = qint64(l.columns) * l.element.size;
            while (l.rows > 1 && taken.overlaps(l.start, l.start + rowBytes - 1)) {
                l.start += rowBytes;
                --l.rows;
            }
            while (l.rows > 1 && taken.overlaps(l.lastByte() - rowBytes + 1, l.lastByte()))
                --l.rows;
            // A side longer than a definition file holds is no list a tuner would edit.
            if (l.rows < 2 || l.rows > MaxListRows || taken.overlaps(l.start, l.lastByte()))
                continue;
            MapCandidate c;
            c.zAddress = l.start;
            c.rows = int(l.rows);
            c.columns = l.columns;
            c.element = l.element;
            c.score = score;
            c.weight = 0.0;
            c.evidence << QStringLiteral("elenco di %1 record da %2 valori, più lungo di ogni "
                                         "tabella: non una tabella di calibrazione")
                              .arg(l.rows)
                              .arg(l.columns)
                       << QStringLiteral("valori di un record quasi uguali: salto medio %1 "
                                         "dentro un record, %2 da un record al successivo")
                              .arg(l.within, 0, 'f', 1)
                              .arg(l.between, 0, 'f', 1);
            out.push_back(c);
        }
    }
};

bool lessCandidate(const MapCandidate &a, const MapCandidate &b)
{
    if (a.score != b.score)
        return a.score > b.score;
    // Scores stop at 100: of equal ones, the reading that explains more shows first.
    if (a.weight != b.weight)
        return a.weight > b.weight;
    if (a.zAddress != b.zAddress)
        return a.zAddress < b.zAddress;
    if (a.headerStart != b.headerStart)
        return a.headerStart > b.headerStart;
    if (a.rows * a.columns != b.rows * b.columns)
        return a.rows * a.columns > b.rows * b.columns;
    if (a.columns != b.columns)
        return a.columns > b.columns;
    if (a.element.size != b.element.size)
        return a.element.size < b.element.size;
    if (a.element.littleEndian != b.element.littleEndian)
        return a.element.littleEndian;
    if (a.element.kind != b.element.kind)
        return a.element.kind < b.element.kind;
    // One count read as a byte (then a pad byte) or as a word: a word needs no pad. Without
    // this the choice would rest on where the sort happened to leave two equal readings.
    return a.countSize > b.countSize;
}

// Of overlapping readings, the one that explains most is taken.
bool takenFirst(const MapCandidate &a, const MapCandidate &b)
{
    if (a.weight != b.weight)
        return a.weight > b.weight;
    return lessCandidate(a, b);
}

} // namespace

int FinderElement::organisation() const
{
    if (size == 1)
        return Organisation8Bit;
    if (size == 4)
        return Organisation32Bit;
    return littleEndian ? Organisation16BitLoHi : Organisation16BitHiLo;
}

QString FinderElement::label() const
{
    QString text = QStringLiteral("%1 Bit").arg(8 * size);
    if (kind == Signed)
        text += QStringLiteral(" con segno");
    else if (kind == Float)
        text += QStringLiteral(" float");
    if (size > 1)
        text += littleEndian ? QStringLiteral(" (LoHi)") : QStringLiteral(" (HiLo)");
    return text;
}

MapFinderResult findMaps(const uint8_t *image,
                         qint64 size,
                         const MapFinderOptions &options,
                         const MapFinderProgress &progress)
{
    MapFinderResult result;
    if (!image || size <= 0)
        return result;
    // Definitions address their tables by int offsets: nothing past them can be proposed.
    size = qMin<qint64>(size, std::numeric_limits<int>::max());
    Finder f;
    f.image = image;
    f.size = size;
    f.options = options;
    f.progress = progress;
    f.searchInline();
    f.references = CodeReferences::learn(image, size, f.anchors);
    // Only readings with stored axes can have swallowed a count: dropping them before the
    // blocks are searched keeps them out of memory while the search runs.
    f.dropSwallowedCounts();
    f.learnImageByteOrder();
    // Before the block search, whose readings are many, so that the two do not hold their
    // memory at once.
    f.searchIndexed();
    const FinderElement views[] = {
        {1, true, FinderElement::Unsigned},  {1, true, FinderElement::Signed},
        {2, true, FinderElement::Unsigned},  {2, true, FinderElement::Signed},
        {2, false, FinderElement::Unsigned}, {2, false, FinderElement::Signed},
        {4, true, FinderElement::Unsigned},  {4, false, FinderElement::Unsigned},
        {4, true, FinderElement::Float},     {4, false, FinderElement::Float},
    };
    const int count = int(std::size(views));
    const std::vector<int> lengths = f.axisLengths();
    for (int i = 0; i < count && !f.cancelled; ++i)
        f.searchHeaderless(views[i], lengths, 30 + 65 * i / count, 30 + 65 * (i + 1) / count);

    f.preferImageByteOrder();
    f.searchPacked();
    f.searchLinked();
    f.markAdjacency();
    f.findRecordLists();
    // Blocks are put in place before they compete for the bytes they claim, and again when
    // they are taken, next to what was taken before them.
    {
        const Occupancy none;
        for (Finder::Found &entry : f.found)
            if (entry.candidate.score >= options.minimumScore && entry.candidate.lastByte() < size
                && !entry.codeLinked())
                entry.shifted = f.align(entry.candidate, none);
    }
    std::sort(f.found.begin(), f.found.end(), [](const Finder::Found &a, const Finder::Found &b) {
        return takenFirst(a.candidate, b.candidate);
    });
    // Readings with word counts and word axes, by where their counts begin: a block without
    // stored axes that takes such a count but ends before that reading's values do has run
    // into the next structure. One that holds the whole reading is a table read whole, whose
    // values only look like a count and an axis.
    std::vector<std::pair<qint64, qint64>> heads;
    for (const Finder::Found &entry : f.found) {
        const MapCandidate &c = entry.candidate;
        if (c.headerStart >= 0 && c.score >= options.minimumScore && c.countSize > 1
            && c.xElement.size > 1)
            heads.push_back({c.headerStart, c.lastByte()});
    }
    std::sort(heads.begin(), heads.end());
    const auto runsIntoHeader = [&](const MapCandidate &c) {
        if (c.headerStart >= 0)
            return false;
        for (auto it = std::upper_bound(heads.begin(), heads.end(), std::make_pair(c.zAddress, qint64(-1)));
             it != heads.end() && it->first <= c.lastByte(); ++it)
            if (it->first > c.zAddress && it->second > c.lastByte())
                return true;
        return false;
    };
    Occupancy taken;
    for (const MapDefinition &m : options.known) {
        const MapRanges r = mapRanges(m);
        for (const ByteRange &b : {r.data, r.xAxis, r.yAxis, r.header})
            if (b.isValid())
                taken.add(b.start, b.end);
    }
    // Each reading is let go once it has been weighed, so that the readings and the list of
    // candidates do not hold their memory at once.
    while (!f.found.empty()) {
        Finder::Found entry = std::move(f.found.front());
        f.found.pop_front();
        MapCandidate &c = entry.candidate;
        if (c.score < options.minimumScore || c.lastByte() >= size
            || taken.overlaps(c.firstByte(), c.lastByte()))
            continue;
        // Where the code says a table begins, it begins.
        const qint64 shift = entry.codeLinked() ? 0 : entry.shifted + f.align(c, taken);
        // What the code looks up as a table is one, even when its values rise throughout.
        if ((!entry.indexed() && !f.confirm(c)) || runsIntoHeader(c))
            continue;
        f.settleSign(c);
        f.describe(entry);
        if (shift != 0)
            c.evidence << QStringLiteral(
                              "spostata di %1 valori, dove i salti ai bordi sono massimi")
                              .arg(shift);
        if (c.headerStart < 0 && !entry.codeLinked())
            f.guessAxes(c);
        taken.add(c.firstByte(), c.lastByte());
        result.candidates.push_back(c);
    }
    f.addRecordLists(taken, result.candidates);
    std::sort(result.candidates.begin(), result.candidates.end(), lessCandidate);
    result.cancelled = f.cancelled;
    if (!f.cancelled && progress)
        progress(100);
    return result;
}

QString candidateName(const MapCandidate &c)
{
    return QStringLiteral("Mappa potenziale %1x%2 @%3")
        .arg(c.rows)
        .arg(c.columns)
        .arg(hexAddress(c.zAddress));
}

QString candidateAxesText(const MapCandidate &c)
{
    if (c.xAddress < 0 && c.yAddress < 0)
        return QStringLiteral("non memorizzati");
    const auto at = [](qint64 a) { return a < 0 ? QStringLiteral("-") : hexAddress(a); };
    const QString text = c.rows > 1
                             ? QStringLiteral("X %1, Y %2").arg(at(c.xAddress), at(c.yAddress))
                             : QStringLiteral("X %1").arg(at(c.xAddress));
    return c.axesGuessed ? text + QStringLiteral(" (supposti)") : text;
}

MapDefinition candidateDefinition(const MapCandidate &c, const uint8_t *image, qint64 size)
{
    MapDefinition d;
    d.name = candidateName(c);
    d.comment = c.evidence.join(QStringLiteral("; "));
    d.characteristicType = c.rows > 1 ? QStringLiteral("MAP") : QStringLiteral("CURVE");
    d.rows = c.rows;
    d.columns = c.columns;
    d.mapOffset = int(c.zAddress);
    d.dataType = c.element.organisation();
    d.littleEndian = c.element.littleEndian;
    d.zElementSize = c.element.size;
    d.zValueKind = c.element.kind;
    auto axis = [&](qint64 at, const FinderElement &e, int *offset, int *type, int *source,
                    bool *le, int *elementSize, int *kind) {
        *offset = at >= 0 ? int(at) : -1;
        *source = at >= 0 ? 1 : 0;
        if (at >= 0) {
            *type = e.organisation();
            *le = e.littleEndian;
            *elementSize = e.size;
            *kind = e.kind;
        }
    };
    axis(c.xAddress, c.xElement, &d.xAxisOffset, &d.xDataType, &d.xAxisSource, &d.xLittleEndian,
         &d.xElementSize, &d.xValueKind);
    axis(c.yAddress, c.yElement, &d.yAxisOffset, &d.yDataType, &d.yAxisSource, &d.yLittleEndian,
         &d.yElementSize, &d.yValueKind);
    if (c.rows <= 1)
        d.yAxisSource = 0;
    d.xAxis = readXAxis(d, image, size);
    d.yAxis = readYAxis(d, image, size);
    return d;
}

QList<double> candidateValues(const MapCandidate &c, const uint8_t *image, qint64 size)
{
    const qint64 cells = qint64(c.rows) * c.columns;
    // Lists of records are longer than any table; a preview of a few thousand values is drawn
    // at once, a longer one is left blank rather than read whole.
    constexpr qint64 MaxPreviewCells = 1 << 16;
    if (!image || c.zAddress < 0 || c.rows < 1 || c.columns < 1 || cells > MaxPreviewCells
        || (c.element.size != 1 && c.element.size != 2 && c.element.size != 4)
        || c.zAddress + cells * c.element.size > size)
        return {};
    QList<double> values;
    values.reserve(cells);
    for (qint64 i = 0; i < cells; ++i)
        values.append(valueAt(image, c.zAddress + i * c.element.size, c.element));
    return values;
}
