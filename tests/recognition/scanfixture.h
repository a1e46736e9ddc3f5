#pragma once

// Firmware-like images for scanner tests and benchmarks: code-like filler, smooth maps with
// rising axes, each map inside a stretch of code of its own. The second image of a fixture
// holds the same maps, each moved with its surrounding code by its own offset and its values
// changed by a few per cent, as in another software version of the same family.
#include "model/mapdefinition.h"

#include <QByteArray>
#include <QList>
#include <QRandomGenerator>

#include <cmath>

struct ScanFixture
{
    QByteArray reference;
    QByteArray target;
    QList<MapDefinition> maps; // placed in the reference image
    QList<qint64> targetZ;     // where each map's data lies in the target image
};

namespace scanfixture {

// Opcode-like bytes with operands: neither random noise nor long constant runs.
inline void fillCode(char *data, qint64 length, quint32 seed)
{
    QRandomGenerator random(seed);
    static const uchar opcodes[] = {0x4e, 0x75, 0x20, 0x3c, 0x61, 0x00, 0x41, 0xf9, 0x30, 0x28,
                                    0x66, 0x08, 0x67, 0x0c, 0x48, 0xe7, 0x4c, 0xdf, 0xb0, 0x7c};
    for (qint64 i = 0; i < length; ++i)
        data[i]
            = char(i % 4 < 2 ? opcodes[random.bounded(int(sizeof opcodes))] : random.bounded(256));
}

inline void putValue(char *data, quint32 value, bool littleEndian)
{
    value = std::min<quint32>(value, 0xffff);
    data[littleEndian ? 0 : 1] = char(value & 0xff);
    data[littleEndian ? 1 : 0] = char(value >> 8);
}

// Writes the Y axis, the X axis and the Z data of map number index at y; change scales each
// Z value by its own factor within ±change.
inline void writeMap(char *data,
                     const MapDefinition &map,
                     qint64 y,
                     int index,
                     double change,
                     bool littleEndian,
                     QRandomGenerator &random)
{
    const int rows = map.rows;
    const int columns = map.columns;
    for (int r = 0; r < rows; ++r)
        putValue(data + y + 2 * r, quint32(600 + 37 * index % 200 + r * 350), littleEndian);
    const qint64 x = y + 2 * rows;
    for (int c = 0; c < columns; ++c)
        putValue(data + x + 2 * c, quint32(800 + 53 * index % 300 + c * 250), littleEndian);
    const qint64 z = x + 2 * columns;
    const double base = 1000 + (index * 97) % 3000;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            const double smooth = base + 180.0 * r + 120.0 * c + 40.0 * std::sin(r * 0.7 + c);
            const double factor = 1.0 + change * (2.0 * random.generateDouble() - 1.0);
            putValue(data + z + 2 * (qint64(r) * columns + c), quint32(smooth * factor),
                     littleEndian);
        }
    }
}

} // namespace scanfixture

// mapCount maps of 4..16 rows and columns in an image of imageSize bytes; in the target each
// map and the context bytes of code on either side move by up to ±maxShift bytes (even).
inline ScanFixture makeScanFixture(qint64 imageSize,
                                   int mapCount,
                                   quint32 seed,
                                   qint64 maxShift = 1500,
                                   double change = 0.05,
                                   bool bigEndianTarget = false,
                                   qint64 context = 1024)
{
    using namespace scanfixture;
    ScanFixture f;
    f.reference.resize(imageSize);
    f.target.resize(imageSize);
    fillCode(f.reference.data(), imageSize, seed);
    f.target = f.reference;
    QRandomGenerator random(seed ^ 0x5ca1ab1e);
    const qint64 slot = imageSize / std::max(1, mapCount);
    for (int i = 0; i < mapCount; ++i) {
        MapDefinition map;
        map.name = QStringLiteral("Map_%1").arg(i);
        map.rows = 4 + int(random.bounded(13));
        map.columns = 4 + int(random.bounded(13));
        const qint64 bytes = 2 * (map.rows + map.columns + qint64(map.rows) * map.columns);
        const qint64 y = i * slot + context + maxShift + 64;
        const qint64 shift = 2 * (qint64(random.bounded(quint32(maxShift + 1))) - maxShift / 2);
        Q_ASSERT(y + bytes + context + maxShift <= (i + 1) * slot);
        map.yAxisOffset = int(y);
        map.xAxisOffset = int(y + 2 * map.rows);
        map.mapOffset = int(map.xAxisOffset + 2 * map.columns);
        map.xElementSize = map.yElementSize = map.zElementSize = 2;
        f.maps.append(map);

        QByteArray code(2 * context + bytes, Qt::Uninitialized);
        fillCode(code.data(), code.size(), seed * 31 + quint32(i));
        f.reference.replace(y - context, code.size(), code);
        writeMap(f.reference.data(), map, y, i, 0.0, true, random);
        const qint64 movedY = y + shift;
        f.target.replace(movedY - context, code.size(), code);
        writeMap(f.target.data(), map, movedY, i, change, !bigEndianTarget, random);
        f.targetZ.append(map.mapOffset + shift);
    }
    return f;
}
