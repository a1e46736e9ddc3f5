#pragma once

#include "firmware.h"
#include "mapdefinition.h"
#include "projecttexts.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

class HexViewer;
class Hex2DView;
class QMdiSubWindow;

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
    bool modified = false;
    bool hasBeenSaved = false;

    std::unique_ptr<Firmware> firmware;
    QList<MapDefinition> maps;

    HexViewer *hexViewer = nullptr;
    Hex2DView *hex2DView = nullptr;
    QMdiSubWindow *subWindow = nullptr;
};
