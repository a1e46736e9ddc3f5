#pragma once

#include "model/mapdefinition.h"

#include <QString>

// The texts of the "Filtro mappe" dialog. A map passes when every text that is not blank
// (after trimming) occurs, ignoring case, in its field: name, description, unit and
// COMPU_METHOD.
struct MapFilter
{
    QString name;
    QString description;
    QString unit;
    QString compuMethod;

    bool isEmpty() const;
    bool matches(const MapDefinition &map) const;
};
