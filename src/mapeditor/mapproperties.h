#pragma once

#include "mapeditor/mapvaluescaling.h"
#include "model/mapdefinition.h"

#include <QString>

// One axis of a map as its properties dialog edits it.
struct MapAxisProperties
{
    QString name;
    QString unit;
    QString compuMethod; // shown, never edited
    int source = 1;      // 0 the index axis "1,2,3,4...", 1 values read from the image
    int address = -1;    // image offset of the values; -1 none (on OK: keep the present one)
    ValueType type;
    double factor = 1.0;
    double offset = 0.0;
    int decimals = 0;
};

// What the properties dialog shows of a map window and hands back whole when accepted.
struct MapProperties
{
    QString name; // blank on OK: the title stays as it is
    QString description;
    QString unit;
    QString compuMethod; // shown, never edited
    QString comment;
    bool hasDefinition = false;
    int sourceKind = MapDefinition::SourceOther;
    int mapOffset = -1; // shown, never edited
    int rows = 1;
    int columns = 1;
    ValueType zType;
    MapValueScaling z;
    MapAxisProperties x;
    MapAxisProperties y;
};
