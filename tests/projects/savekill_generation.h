#pragma once

#include "model/mapdefinition.h"
#include "recognition/driver.h"

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

// A driver of about 1 MB whose every map carries the save's number, so that a torn file (one
// part of one save, one of another) shows.
inline Driver driverOf(qint64 g)
{
    Driver driver;
    driver.text1 = QStringLiteral("gen %1").arg(g);
    driver.number = g;
    for (int i = 0; i < 200; ++i) {
        DriverMap map;
        map.mapKey = QStringLiteral("%1/%2").arg(g).arg(i);
        map.rows = 4;
        map.columns = 8;
        map.zAddress = g * 1000 + i;
        map.zSignature = QByteArray(5000, char(g + i));
        driver.maps.append(map);
    }
    return driver;
}

// The save a driver came from; -1 when it is not of this test or not whole.
inline qint64 generationOfDriver(const Driver &driver)
{
    return driver.text1.startsWith(QLatin1String("gen ")) && driver == driverOf(driver.number)
               ? driver.number
               : -1;
}

} // namespace SaveKill
