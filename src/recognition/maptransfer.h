#pragma once

#include "model/mapdefinition.h"
#include "projects/mapcomparison.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Carrying a tune to another software version of the same unit: the maps a reference pair
// (an original and its modified version, with their maps) changed are found in the target by
// aligning the reference original with it, and the change is applied cell by cell.
enum class TransferMode {
    Values,     // the modified values as they are
    Difference, // the same difference, added to the target's own values
    Percent,    // the same ratio, applied to the target's own values
};

struct TransferredMap
{
    enum Status { Transferred, Interpolated, NotFound, Ambiguous };
    QString name;
    Status status = NotFound;
    qint64 referenceAddress = -1;
    qint64 targetAddress = -1; // where it was written, or the likeliest place when Ambiguous
    qint64 cells = 0;          // cells written
    QString evidence;          // how it was placed, or why it was not written (Italian)
    MapDefinition targetMap;   // the map as it lies in the target, when written
    bool written() const { return status == Transferred || status == Interpolated; }
};

struct TransferResult
{
    QList<TransferredMap> maps; // every changed map of the reference, in its order
    // Changes of the reference outside every map: never carried (code patches are not guessed).
    qint64 outsideBytes = 0;
    qint64 outsideBlocks = 0;
    QList<ByteRange> outsideRanges;
    QByteArray image; // the target with the changes; the target as given when nothing was written
    QString error;    // set when nothing could be tried (sizes, an image of another unit)
    int writtenCount() const;
};

QString transferModeName(TransferMode mode); // "values", "difference", "percent"
bool transferModeFromName(const QString &name, TransferMode *mode);
QString transferStatusName(TransferredMap::Status status); // for JSON
QString transferStatusText(TransferredMap::Status status);  // Italian, for the report

TransferResult transferChanges(const QByteArray &referenceOriginal,
                               const QByteArray &referenceModified,
                               const QList<MapDefinition> &referenceMaps,
                               const QByteArray &target, TransferMode mode);

// The report of a transfer, in Italian: every map with its status and place, and the changes
// outside maps that were not carried.
QString transferReportText(const TransferResult &result);

// The maps written by a transfer that the target's list lacks (none of its maps lies at the
// same address with the same size), to be added to it.
QList<MapDefinition> transferredMapsToAdd(const QList<MapDefinition> &existing,
                                          const TransferResult &result);

// The bytes from the first to the last that differ between two images of one size; an
// invalid range when none differ (or the sizes differ).
ByteRange changedSpan(const QByteArray &before, const QByteArray &after);

// A reference pair ready for transferChanges: an original, its modified version and the maps
// that describe them. error (Italian) set when it could not be read.
struct TransferReference
{
    QByteArray original;
    QByteArray modified;
    QList<MapDefinition> maps;
    QString error;
};
// Two images and a definition file (map pack, XDF or A2L / DAMOS) read for the original.
TransferReference readTransferReference(const QString &originalPath, const QString &modifiedPath,
                                        const QString &definitionPath);
// Two versions of a saved project: the maps of the modified one (of the original when it has
// none).
TransferReference readProjectReference(const QString &projectFolder, const QString &originalFolder,
                                       const QString &modifiedFolder);

// The new physical value of one target cell: before is the reference's original value, after
// its modified one, current the target's own.
double transferredValue(TransferMode mode, double before, double after, double current);
