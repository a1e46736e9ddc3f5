#pragma once

#include <QList>
#include <QtGlobal>

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
};

// Whether words look like an axis: more than one, not all equal, and mostly going one way
// (steps in the majority direction plus flat steps make at least 75 % of the steps).
bool isPlausibleAxis(const QList<quint16> &words);

// Looks backward from the map data at start for the stored axes of a rows × columns map of
// 16-bit words read in the given byte order. Only whole layouts ending exactly at start count;
// the nearest one wins. When the row count is stored first, the first axis is Y; when the
// column count is stored first, the first axis is X.
AxisSearchResult findStoredAxes(const uchar *image, qint64 size, qint64 start, int rows,
                                int columns, bool littleEndian);
