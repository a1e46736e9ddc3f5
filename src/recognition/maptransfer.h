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

// The new physical value of one target cell: before is the reference's original value, after
// its modified one, current the target's own.
double transferredValue(TransferMode mode, double before, double after, double current);
