#pragma once

// Images for tests that open documents: the bytes given, under a path of the test's choosing.

#include "model/firmware.h"

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

} // namespace testsupport
