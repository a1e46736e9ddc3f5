#pragma once

#include "model/mapdefinition.h"

#include <QByteArray>
#include <QList>
#include <QString>

// What save number g of the crash test writes, so that a reader can tell which save a file
// came from and whether it is whole. Even saves keep the image unchanged (they go to
// "Originale"), odd ones change it and go to one of three versions.
namespace SaveKill {

constexpr qsizetype ImageSize = 1024 * 1024;

inline QByteArray originalImage()
{
    QByteArray image(ImageSize, '\0');
    for (qsizetype i = 0; i < image.size(); ++i)
        image[i] = char((i * 31) >> 3);
    return image;
}

inline QByteArray imageOf(qint64 g)
{
    QByteArray image = originalImage();
    if (g % 2 == 0)
        return image;
    // The number at the start and a mark on every page: a torn image would show it.
    for (int i = 0; i < 8; ++i)
        image[i] = char(g >> (8 * i));
    for (qsizetype p = 4096; p < image.size(); p += 4096)
        image[p] = char(g);
    return image;
}

inline QString versionNameOf(qint64 g)
{
    return g % 2 == 0 ? QStringLiteral("Originale") : QStringLiteral("V%1").arg((g / 2) % 3);
}

inline QList<MapDefinition> mapsOf(qint64 g)
{
    QList<MapDefinition> maps;
    for (int i = 0; i < 3; ++i) {
        MapDefinition m;
        m.name = QStringLiteral("gen %1").arg(g);
        m.rows = 4;
        m.columns = 8;
        m.mapOffset = int(g % 1000) * 64 + i * 16;
        maps.append(m);
    }
    return maps;
}

// The save a pack's maps came from; -1 when they are not of this test.
inline qint64 generationOfMaps(const QList<MapDefinition> &maps)
{
    if (maps.size() != 3 || !maps.first().name.startsWith(QLatin1String("gen ")))
        return -1;
    bool ok = false;
    const qint64 g = maps.first().name.mid(4).toLongLong(&ok);
    return ok && maps == mapsOf(g) ? g : -1;
}

} // namespace SaveKill
