#pragma once

#include "driver.h"

#include <QString>
#include <QStringList>

// ".ecudrv" files: a big-endian QDataStream beginning with "ECUD", format versions 2 to 9.
constexpr quint32 DriverFileMagic = 0x45435544;
constexpr qint32 DriverFileOldestVersion = 2;
constexpr qint32 DriverFileVersion = 9;

// Reads any format version from 2 to 9. On a wrong magic or version, or a file that cannot be
// opened, driver is left as it was; on a damaged or short file it is emptied. Counts and
// lengths in the file are checked against the bytes left, so a hostile file is refused at once.
bool loadDriverFile(const QString &path, Driver &driver, QString *errorText = nullptr);
// The same reading, of bytes already in memory (a download, a test).
bool loadDriverBytes(const QByteArray &bytes, Driver &driver, QString *errorText = nullptr);

// Writes format version 9 whole and atomically: a failed write leaves any old file in place.
bool saveDriverFile(const Driver &driver, const QString &path, QString *errorText = nullptr);
QByteArray driverFileBytes(const Driver &driver, qint32 formatVersion = DriverFileVersion);

// Absolute paths of the "*.ecudrv" regular files of folder, in name order.
QStringList listDriverFiles(const QString &folder);
