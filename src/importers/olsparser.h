#pragma once

#include "model/mapdefinition.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Reads a WinOLS project: checks its signature, takes the firmware image stored at its end
// and finds map records by signatures, length-prefixed strings and plausibility checks on
// the raw bytes. It never interprets the project format as a whole. Pure: every read is
// bounds-checked, and every map it yields lies inside the firmware with 1, 2 or 4 byte
// elements.
class OLSParser
{
public:
    struct Result
    {
        bool valid = false;
        bool vendorKnown = false;
        bool littleEndian = true;
        QString vendor;
        QByteArray firmware;
        QString projectName;
        QList<MapDefinition> maps;
        QString error;
    };

    static Result parse(const QString &path);
    // The same on bytes already read; path only gives the project name.
    static Result parseBytes(const QByteArray &bytes, const QString &path);

    // Size of the embedded firmware: the largest of the usual size texts found in the file,
    // else the largest length-prefixed hexadecimal size in the head; -1 when there is none.
    static qint64 detectFirmwareSize(const QByteArray &bytes);
    // Two maps with the same key are one map.
    static QString mapKey(const MapDefinition &map);
};
