#pragma once

#include "model/mapdefinition.h"

#include <QList>
#include <QtGlobal>

#include <algorithm>

// How the axes of a map were found stored in front of its data.
enum class AxisLayout {
    None,              // no stored axes: the map gets index axes
    OneRowCount,       // one-row map: column count, X axis
    TwoCountsFirst,    // both counts, then both axes
    CountAxisCountAxis // count, its axis, the other count, its axis
};

struct AxisSearchResult
{
    AxisLayout layout = AxisLayout::None;
    qint64 xAxisOffset = -1;
    qint64 yAxisOffset = -1;
    // Where the layout begins (the first count word); -1 when nothing was found.
    qint64 layoutStart = -1;
    // How each axis's words read as an axis: unsigned, or signed when only that reading is one
    // (a temperature axis from -40 rises through zero; read unsigned it jumps).
    int xValueKind = ValueUnsigned;
    int yValueKind = ValueUnsigned;
};

// Whether values look like an axis: more than one, not all equal, and mostly going one way
// (steps in the majority direction plus flat steps make at least 75 % of the steps).
template<typename T>
bool isPlausibleAxis(const QList<T> &values)
{
    const qsizetype n = values.size();
    if (n < 2)
        return false;
    qsizetype rising = 0, falling = 0, flat = 0;
    for (qsizetype i = 1; i < n; ++i) {
        if (values[i] > values[i - 1])
            ++rising;
        else if (values[i] < values[i - 1])
            ++falling;
        else
            ++flat;
    }
    if (flat == n - 1)
        return false;
    return (std::max(rising, falling) + flat) * 100 >= (n - 1) * 75;
}

// Looks backward from the map data at start for the stored axes of a rows × columns map of
// 16-bit words read in the given byte order; an axis's words may read as unsigned or signed
// values, the counts are unsigned. Only whole layouts ending exactly at start count;
// the nearest one wins. When the row count is stored first, the first axis is Y; when the
// column count is stored first, the first axis is X.
AxisSearchResult findStoredAxes(const uchar *image, qint64 size, qint64 start, int rows,
                                int columns, bool littleEndian);
