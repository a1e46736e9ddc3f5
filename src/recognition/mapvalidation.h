#pragma once

#include "driver.h"
#include "model/mapdefinition.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <vector>

// Measures that decide whether a position of an image holds a driver map. Every function is
// pure and reads only inside the image: a block that does not fit gives an empty fingerprint,
// invalid statistics or a refusal, never a read past the end.

// Unsigned value of 1, 2 or 4 bytes at address; 0 for another size or a value not wholly inside.
quint32 readValue(const QByteArray &image, qint64 address, int size, bool littleEndian);
// The value as its kind (ValueKind) reads it: signed, float or unsigned; 0 as readValue.
double
readTypedValue(const QByteArray &image, qint64 address, int size, bool littleEndian, int kind);
// An unsigned number that sorts as the values of the kind do. A signed value has its sign bit
// flipped, which adds half the range to it: its fingerprints, profiles and monotony are exactly
// those of the signed values. A float's bits are turned so that they sort as the numbers.
quint32 orderKey(quint32 raw, int size, int kind);

// The measures below take the values' kind (ValueKind): statistics are those of the true
// values, fingerprints, profiles and monotony those of their order keys.

struct ZStatistics
{
    double min = 0.0;
    double max = 0.0;
    double mean = 0.0;
    double zeroRatio = 1.0; // values beyond the end of the image count as zero
    bool valid = false;
};
ZStatistics zStatistics(const QByteArray &image,
                        qint64 address,
                        qint64 count,
                        int size,
                        bool littleEndian,
                        int kind = ValueUnsigned);

// At most 128 samples of the block, each scaled to 0..15 between the smallest and largest.
QByteArray fingerprint(const QByteArray &image,
                       qint64 address,
                       qint64 byteLength,
                       int size,
                       bool littleEndian,
                       int kind = ValueUnsigned);
// 0..100; 0 when either is empty or their lengths differ.
double similarity(const QByteArray &a, const QByteArray &b);

// One byte 0..15 per row (column) mean of a Z block stored row by row; empty when the block
// is not wholly inside the image.
struct GridProfiles
{
    QByteArray rows;
    QByteArray columns;
};
// Both from one walk over the block, for callers that weigh both.
GridProfiles gridProfiles(const QByteArray &image,
                          qint64 address,
                          int rows,
                          int columns,
                          int size,
                          bool littleEndian,
                          int kind = ValueUnsigned);
QByteArray rowProfile(
    const QByteArray &image, qint64 address, int rows, int columns, int size, bool littleEndian);
QByteArray columnProfile(
    const QByteArray &image, qint64 address, int rows, int columns, int size, bool littleEndian);

// The profiles of every block of one shape that starts in a span of positions a whole number
// of values apart, from running sums taken once over the span: each position then costs a pass
// over its rows and columns instead of over all its values. The search for a large map that is
// not in the image weighs thousands of positions of one window. Values past the end count as
// zeros, as gridProfiles counts them.
class GridSpanProfiles
{
public:
    GridSpanProfiles() = default;
    // Nothing is taken (covers() is false everywhere) for a shape gridProfiles refuses or a span
    // whose running sums would take more than maxValues values.
    GridSpanProfiles(const QByteArray &image,
                     qint64 first,
                     qint64 last,
                     int rows,
                     int columns,
                     int size,
                     bool littleEndian,
                     qint64 maxValues,
                     int kind = ValueUnsigned);
    bool covers(qint64 address) const;
    // gridProfiles(image, address, ...) for an address the span covers; empty otherwise.
    GridProfiles at(qint64 address) const;

private:
    qint64 m_first = 0;
    qint64 m_positions = 0;
    int m_rows = 0;
    int m_columns = 0;
    int m_size = 1;
    std::vector<quint64> m_running;       // m_running[i]: the sum of values 0 .. i - 1 of the span
    std::vector<quint64> m_columnRunning; // value i plus m_columnRunning[i - columns]
};

// +1 rising, -1 falling, 0 flat, mixed, under 2 points or not wholly inside the image.
int monotonicKind(const QByteArray &image,
                  qint64 address,
                  int count,
                  int size,
                  bool littleEndian,
                  int kind = ValueUnsigned);

// How well a candidate span fits a reference span, 0..100 (the Z and axis range score).
double
spanScore(double referenceMin, double referenceMax, double candidateMin, double candidateMax);

// Match 0..100 of expected raw values against values read; the lists may differ by one value,
// which is then skipped on whichever side gives the better match. Tolerance in percent.
double rawMatch(const QList<double> &expected, const QList<double> &read, double tolerancePercent);

// The byte pattern lies exactly at address (false for an empty pattern).
bool bytesAt(const QByteArray &image, qint64 address, const QByteArray &pattern);

// Positions of pattern in image, ascending, at most maxHits (none for an empty pattern).
QList<qint64> findAll(const QByteArray &image, const QByteArray &pattern, int maxHits);

// The votes that brought a Z candidate up, counted into its confidence.
struct Candidate
{
    qint64 offset = -1;
    int anchorVotes = 0;
    int axisVotes = 0;
    double score = 0.0; // summed vote weights
};

// The outcome of validating one Z position.
struct Evaluation
{
    qint64 zAddress = -1;
    qint64 xAddress = -1;
    qint64 yAddress = -1;
    double confidence = 0.0;
    double zfp = 0.0;
    double rowScore = 0.0;
    double columnScore = 0.0;
    double xScore = 0.0;
    double yScore = 0.0;
    double rangeScore = 0.0;
    QString reason; // empty when accepted
    bool accepted = false;
};

struct AxisLocation
{
    qint64 address = -1; // -1 when no position qualified
    double score = 0.0;
};

// Searches an axis of count values of size bytes around expected, within window bytes (never
// farther than 96 bytes). rawValues, when given, are matched with rawTolerance percent and
// positions matching below 70 are passed over.
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
                        const QList<double> &rawValues = {},
                        double rawTolerance = 5.0,
                        int kind = ValueUnsigned);

// The rule chain: the first failing rule refuses the position with its reason.
Evaluation validateCandidate(const QByteArray &image,
                             const DriverMap &map,
                             qint64 zAddress,
                             const Candidate &candidate,
                             bool littleEndian);

// The lighter evaluation of a fixed position (anchor fallback): its score is in confidence,
// accepted when the block lies inside the image.
Evaluation evaluateAt(const QByteArray &image,
                      const DriverMap &map,
                      qint64 zAddress,
                      bool viaXAnchor,
                      bool viaYAnchor);
