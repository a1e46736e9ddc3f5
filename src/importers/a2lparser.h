#pragma once

#include "model/mapdefinition.h"

#include <QList>
#include <QString>
#include <QStringList>
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
        // One line per characteristic left out because its values cannot be held (64-bit).
        QStringList refused;
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
    // The value kind of a data type: signed for SBYTE / SWORD / SLONG (and A_INT64), float for
    // FLOAT32_IEEE / FLOAT64_IEEE, unsigned otherwise.
    static int valueKindOfDataType(QStringView dataType);
    // The refused maps as the import's message lists them (the first 20, then a count); empty
    // when none was refused.
    static QString refusalSummary(const QStringList &refused);

private:
    // The parse of text whose comments are already gone.
    static Result parseStripped(QStringView text);
};
