#pragma once

#include "model/mapdefinition.h"
#include "recognition/driver.h"
#include "recognition/driverscanresult.h"

#include <QString>

// A recognised match joins a document only when its driver map is enabled and not excluded.
bool isLoadableMatch(const DriverMapMatch &match);
// Below the level at which matches are trusted (an ambiguous match is put there): shown as
// doubtful.
bool isDoubtfulMatch(const DriverMapMatch &match);

// The map definition of a recognised match. Values are read in the driver map's byte order and
// element sizes, and a found axis is read from the image, so that the map window shows the
// values the driver describes.
MapDefinition mapDefinitionFromMatch(const DriverMapMatch &match, const DriverMap &map);

// The text of a match's item under "Driver Maps": its display name, else its description, else
// its address ("MAP 0X0001A2B0").
QString driverMapItemText(const DriverMapMatch &match);
