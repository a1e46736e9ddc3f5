#pragma once

#include "model/mapdefinition.h"

#include <QJsonObject>
#include <QList>
#include <QString>

#include <cstdint>

// What a modified image changed in one map of its original.
struct MapChange
{
    int mapIndex = -1; // in the list the comparison was given
    QString name;
    qint64 cells = 0;
    qint64 changedCells = 0;
    // In the map's physical units, and in percent of the original value (cells whose original
    // value is 0 have no percentage and are left out of it).
    double maxAbsoluteChange = 0.0;
    double maxPercentChange = 0.0;
    bool axesChanged = false; // a stored axis of the map differs
};

// The changes of a MOD against its ORI seen map by map, and what changed outside every map
// (a code patch or an undescribed table).
struct MapComparison
{
    QList<MapChange> changedMaps; // in the order of the maps given; unchanged maps left out
    qint64 outsideBytes = 0;
    qint64 outsideBlocks = 0;
    // The first blocks of changed bytes outside every map, at most kMaxOutsideRanges of them.
    QList<ByteRange> outsideRanges;
    static constexpr int kMaxOutsideRanges = 1000;

    bool isMapChanged(int mapIndex) const;
};

// ori and mod are images of the same size. A map that does not fit the image is ignored (it
// neither changes nor covers bytes).
MapComparison compareMaps(const QList<MapDefinition> &maps, const uint8_t *ori,
                          const uint8_t *mod, qint64 size);

// "maps": [{"name", "changedCells", "cells", "maxAbsoluteChange", "maxPercentChange",
// "axesChanged"}] and "outsideMaps": {"bytes", "blocks", "ranges": [{"start", "end"}]}.
QJsonObject mapComparisonJson(const MapComparison &comparison);

// "12 celle su 256, max 3,5 (12,0%)", with ", assi modificati" when an axis changed.
QString mapChangeText(const MapChange &change, int decimals);

// The lines a comparison report adds about maps, in Italian, at most maxLines map lines.
QString mapComparisonText(const MapComparison &comparison, const QList<MapDefinition> &maps,
                          int maxLines = 40);
