#pragma once

#include "model/mapdefinition.h"

#include <QList>
#include <QString>
#include <QStringView>

// Turns an A2L / DAMOS description into map definitions. It does not tokenise the whole
// format: it picks out the blocks it needs (MOD_COMMON, COMPU_METHOD, RECORD_LAYOUT,
// AXIS_PTS, CHARACTERISTIC) and reads them with regular expressions. Pure: runs on a pool
// thread, touches no widget, and never reports anything but through its result.
class A2LParser
{
public:
    struct Result
    {
        QList<MapDefinition> maps;
        QString errorMessage;
    };

    static Result parse(const QString &fileName);
    // The same on text already decoded (Latin-1); the file variant only adds the reading.
    static Result parseText(QStringView text);

    // Address of a CHARACTERISTIC / AXIS_PTS as an image offset: 0x80000000..0x80FFFFFF map
    // onto the first 16 MiB, addresses below 0x80000000 are offsets themselves, anything
    // else (or text that is no number) gives -1.
    static qint64 addressToOffset(QStringView address);
    // Bytes of one element of an A2L data type (UBYTE, SWORD, FLOAT32_IEEE...); 2 when unknown.
    static int elementSizeOfDataType(QStringView dataType);

private:
    // The parse of text whose comments are already gone.
    static Result parseStripped(QStringView text);
};
