#pragma once

// Images and maps for tests that open documents: the bytes given, under a path of the test's
// choosing, and maps placed in them.

#include "model/firmware.h"
#include "model/mapdefinition.h"

#include <QByteArray>
#include <QString>

namespace testsupport {

// A new image for createDocumentFromFirmware, which takes it over.
inline Firmware *firmwareOf(const QByteArray &bytes, const QString &path)
{
    auto *firmware = new Firmware;
    firmware->setData(bytes.constData(), std::size_t(bytes.size()));
    firmware->setFilePath(path.toStdString());
    return firmware;
}

// n bytes counting up from 0 and wrapping at 256.
inline QByteArray countingBytes(int n, int step = 1)
{
    QByteArray bytes(n, '\0');
    for (int i = 0; i < n; ++i)
        bytes[i] = char(i * step);
    return bytes;
}

// A map of rows x columns at offset; with indexAxes its axes are numbered, not read.
inline MapDefinition
mapGrid(int offset, int rows, int columns, const QString &name = {}, bool indexAxes = false)
{
    MapDefinition d;
    d.name = name;
    d.mapOffset = offset;
    d.rows = rows;
    d.columns = columns;
    if (indexAxes)
        d.xAxisSource = d.yAxisSource = 0;
    return d;
}

} // namespace testsupport
