#pragma once

#include "model/mapdefinition.h"

#include <QString>
#include <QStringList>

// The map tree nests a map under one item per level of its group path; such an item carries
// the path (levels joined by '/') in this role, and no map offset or index.
constexpr int MapGroupRole = Qt::UserRole + 30;
// A map entry that the document's last comparison found changed carries true in this role.
constexpr int MapChangedRole = Qt::UserRole + 31;

// The levels of a group path: "Accensione / Base" gives "Accensione", "Base"; blank levels
// are dropped, so a path of only separators puts the map at the top.
QStringList mapGroupLevels(const QString &group);

// The texts of the "Filtro mappe" dialog. A map passes when every text that is not blank
// (after trimming) occurs, ignoring case, in its field: name, description, unit and
// COMPU_METHOD; with changedOnly, only a map the last comparison found changed passes.
struct MapFilter
{
    QString name;
    QString description;
    QString unit;
    QString compuMethod;
    bool changedOnly = false;

    bool isEmpty() const;
    bool matches(const MapDefinition &map, bool changed = true) const;
};
