#pragma once

#include "mapdefinition.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The maps of one image together with that image's size and SHA-256, so that they can be
// loaded again onto the same image and onto no other (".tvp" files).
struct MapPackData
{
    QList<MapDefinition> maps;
    qint64 firmwareSize = 0;
    // The 32 raw bytes of the fingerprint as decoded from the file's hex text.
    QByteArray firmwareSha256;
    int formatVersion = 0;
    QString errorMessage;
};

// Written whole and atomically: a failed write leaves any previous file at path as it was.
bool writeMapPack(const QString &path,
                  const QList<MapDefinition> &maps,
                  const QByteArray &firmwareBytes,
                  QString *errorMessage);
bool readMapPack(const QString &path, MapPackData &result);
// The compact JSON text writeMapPack writes, and the reading of such text already in memory
// (readMapPack only adds opening the file and its size check).
QByteArray mapPackBytes(const QList<MapDefinition> &maps, const QByteArray &firmwareBytes);
bool readMapPackBytes(const QByteArray &bytes, MapPackData &result);
bool isCompatible(const MapPackData &pack, const QByteArray &firmwareBytes);

// The file name an export proposes for an image file name ("" for none).
QString proposedMapPackName(const QString &firmwareFileName);
// A chosen export path with ".tvp" appended unless it already ends so (in any case).
QString withMapPackSuffix(const QString &path);
