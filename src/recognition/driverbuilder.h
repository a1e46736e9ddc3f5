#pragma once

#include "driver.h"
#include "model/mapdefinition.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Makes a driver from a reference image and the maps known in it, so that the driver finds
// those maps again in this image and in other software versions of the same family.

// One driver map for one map definition; false (with the reason) when the map cannot be
// described, e.g. it has no place in the image or its Z block passes the end.
bool buildDriverMap(const QByteArray &image,
                    const MapDefinition &map,
                    DriverMap &result,
                    QString *reason = nullptr);

struct SkippedMap
{
    QString name;
    QString reason;
};
struct DriverBuildResult
{
    Driver driver;
    // The maps left out, and why.
    QList<SkippedMap> skipped;
};
// One line per map left out: "name: reason".
QStringList skippedLines(const DriverBuildResult &result);
DriverBuildResult buildDriver(const QByteArray &image, const QList<MapDefinition> &maps);

// The header texts of a built driver: text1 the reference image's file name, text2 the maker,
// text3 the image's SHA-256; number its size in bytes. No operation reads them back; they
// tell a person which image a driver was made from.
void describeBuiltDriver(Driver &driver, const QString &imageFileName, const QByteArray &image);

// The file name "Crea driver..." proposes for an image's file name.
QString proposedDriverFileName(const QString &firmwareFileName);
// A chosen path with ".ecudrv" appended unless it already ends so (in any case).
QString withDriverSuffix(const QString &path);
// What the user is told after a driver was saved at path: how many maps it holds and which
// maps were left out, and why.
QString driverCreatedText(const DriverBuildResult &result, const QString &path);
