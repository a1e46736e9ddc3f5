#pragma once

#include "model/mapdefinition.h"

#include <QByteArray>
#include <QList>

// How edited raw values go back into an image. Every element is written whole in its own
// type: an integer rounded and clamped to its range (writing the low bits of a larger value
// would store something else than the table shows), a float as the nearest float.
namespace MapElementCodec {

int elementSize(int organisation);

// The bytes of one element.
QByteArray encode(double raw, const ValueType &type);

// Raw +delta saturating at the type's range.
double stepped(double raw, int delta, const ValueType &type);

struct Block
{
    int startOffset = -1;
    QByteArray data;
    bool isEmpty() const { return startOffset < 0 || data.isEmpty(); }
};

// One contiguous block from the smallest to the largest selected storage index, every
// element in between with its current value. Indices outside values are ignored; an empty
// block when none is left, the map has no offset, or the block would pass 2 GiB.
Block buildBlock(const QList<qint64> &selectedIndices,
                 const QList<double> &values,
                 int mapOffset,
                 const ValueType &type);

} // namespace MapElementCodec
