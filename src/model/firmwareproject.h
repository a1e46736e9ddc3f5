#pragma once

#include "firmware.h"
#include "mapdefinition.h"
#include "projecttexts.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <memory>

class HexViewer;
class Hex2DView;
class QMdiSubWindow;

// Where a map recognised by a driver scan came from: it is listed under "Driver Maps" in its
// category's branch rather than under "Mappe".
struct DriverMapOrigin
{
    int category = -1;
    double confidence = 0.0;
    QString itemText;
    // What the scan said of the match; a doubtful one (ambiguous, or below the level at which
    // matches are trusted) is marked as such in the tree.
    QString status;
    bool doubtful = false;
};

// The record of one open document: its image, the untouched original bytes, its
// identification texts, its maps and where it was saved.
struct FirmwareProject : ProjectTexts
{
    QString fileName;
    QString fileExtension;
    qint64 fileSize = 0;

    QString projectFolder;
    QString savedFirmwarePath;
    QString versionName = QStringLiteral("Originale");

    // The reference for original values, percent and change colours; never edited.
    QByteArray originalBytes;
    // The other side of the last comparison (the ORI of a dropped MOD, a version compared
    // with): the map list marks the maps that differ from it. Empty when none ran.
    QByteArray comparisonBytes;
    QString comparisonName;
    bool modified = false;
    bool hasBeenSaved = false;

    std::unique_ptr<Firmware> firmware;
    QList<MapDefinition> maps;
    // Keyed by mapOffset; consulted only for the maps a driver scan made (their sourceKind
    // says so), so that a map of another source at the same address stays under "Mappe".
    QHash<int, DriverMapOrigin> driverMapOrigins;

    HexViewer *hexViewer = nullptr;
    Hex2DView *hex2DView = nullptr;
    QMdiSubWindow *subWindow = nullptr;
};
