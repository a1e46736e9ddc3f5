#pragma once

#include "model/mapdefinition.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

// How the elements of a found map or axis are read. Kinds follow the value kinds of map
// definitions (0 unsigned, 1 signed, 2 float), so a candidate becomes a definition as is.
struct FinderElement
{
    enum Kind : int { Unsigned = 0, Signed = 1, Float = 2 };
    int size = 1; // bytes: 1, 2 or 4
    bool littleEndian = true;
    int kind = Unsigned;

    bool operator==(const FinderElement &o) const
    {
        return size == o.size && littleEndian == o.littleEndian && kind == o.kind;
    }
    // The data organisation code of a definition for this element.
    int organisation() const;
    // "8 Bit", "16 Bit con segno (HiLo)", "32 Bit float (LoHi)", ...
    QString label() const;
};

// A place of an image that reads like a calibration table. Rows and columns are as stored:
// the Z values run row by row, `columns` to a row.
struct MapCandidate
{
    qint64 zAddress = -1;
    int rows = 0;
    int columns = 0;
    FinderElement element;
    // Stored axes (-1 when none was found): X has `columns` points, Y has `rows` points.
    qint64 xAddress = -1;
    qint64 yAddress = -1;
    FinderElement xElement;
    FinderElement yElement;
    bool axesGuessed = false; // the axes are the nearest of their lengths: a guess
    // First byte of the point counts and axes stored in front of the values, or zAddress.
    qint64 headerStart = -1;
    int countSize = 0;  // bytes of each stored point count; 0 without counts
    double score = 0.0; // 0 .. 100
    // How much of the image the reading explains, for choosing among overlapping readings.
    double weight = 0.0;
    QStringList evidence;

    qint64 zBytes() const { return qint64(rows) * columns * element.size; }
    // The bytes the candidate claims: its stored header and axes, and its values.
    qint64 firstByte() const { return headerStart >= 0 ? headerStart : zAddress; }
    qint64 lastByte() const { return zAddress + zBytes() - 1; }
};

struct MapFinderOptions
{
    double minimumScore = 40.0;
    // Maps already described; nothing overlapping their bytes is proposed.
    QList<MapDefinition> known;
};

// Called now and then with the share of the work done (0..100); returning false stops the
// search, which then returns what it has found so far and sets cancelled.
using MapFinderProgress = std::function<bool(int percent)>;

struct MapFinderResult
{
    QList<MapCandidate> candidates; // highest score first, none overlapping another
    bool cancelled = false;
};

// Looks for calibration tables: point counts followed by monotonic axes and a block of smooth
// values, and blocks of smooth values whose width and height are axis lengths found in the
// image. Deterministic: the same image and options give the same list.
MapFinderResult findMaps(const uint8_t *image,
                         qint64 size,
                         const MapFinderOptions &options = {},
                         const MapFinderProgress &progress = {});

// The definition of a candidate, named "Mappa potenziale RxC @ADDR".
MapDefinition candidateDefinition(const MapCandidate &candidate, const uint8_t *image, qint64 size);
QString candidateName(const MapCandidate &candidate);
// Where a candidate's axes are, for the list of candidates: "X 0x…, Y 0x…", said to be a
// guess where it is one, or "non memorizzati".
QString candidateAxesText(const MapCandidate &candidate);

// The values of a candidate in storage order (row by row); empty when they cannot be read.
QList<double> candidateValues(const MapCandidate &candidate, const uint8_t *image, qint64 size);
