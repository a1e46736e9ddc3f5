#pragma once

#include "hex/axissearch.h"
#include "model/mapdefinition.h"

#include <QByteArray>
#include <QString>

struct MapCutResult
{
    bool ok = false;
    // Why the selection cannot become a map, as the user reads it.
    QString message;
    MapDefinition definition;
    AxisSearchResult axes;
};

// Turns the selection [selStart, selEnd] of the 2D graph into a map of 16-bit words with
// rows of the given column count, and finds its stored axes in front of it.
MapCutResult cutMapFromSelection(const QByteArray &image, qint64 selStart, qint64 selEnd,
                                 int columns, bool littleEndian);
