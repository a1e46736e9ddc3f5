#pragma once

#include "model/mapdefinition.h"

#include <QByteArray>
#include <QList>
#include <QString>

class QIODevice;

// Reads the map definitions of an XDF file (the XML definitions tuners share for real
// software versions): its tables and constants, with their axes, element types and linear
// scaling, and the categories they belong to as the maps' groups. Pure: runs on a pool thread,
// touches no widget and no image bytes, and reports only through its result.
//
// The XML is read with QXmlStreamReader, which never fetches external entities; a file with
// a DTD (and so with entity declarations) is refused outright, and nesting depth, counts and
// sizes are capped, so a hostile file costs no more than its size.
class XdfParser
{
public:
    // Something of the file that was not imported as it stands, with the reason.
    struct Note
    {
        enum Kind {
            Skipped,     // a table or constant that gave no map
            RawValues,   // imported, but its equation is not linear: values shown raw
            NotImported, // XDFFLAG, XDFPATCH, XDFFUNCTION: nothing of the kind exists here
            IndexAxis,   // imported, but a stored axis did not fit its side: numbered instead
        };
        Kind kind = Skipped;
        QString title;
        QString reason;
        bool operator==(const Note &o) const
        {
            return kind == o.kind && title == o.title && reason == o.reason;
        }
    };

    struct Result
    {
        QList<MapDefinition> maps;
        QList<Note> notes;
        // Set when the file could not be read at all; then there are no maps.
        QString errorMessage;
    };

    // imageSize is the length of the image the maps are for: a table that does not lie
    // whole inside it is skipped with a note. A negative size checks nothing (no image).
    static Result parse(const QString &fileName, qint64 imageSize);
    static Result parseData(const QByteArray &xml, qint64 imageSize);
    static Result parseDevice(QIODevice *device, qint64 imageSize);

    // The message an import shows: how many maps, then what was left out and why.
    static QString summaryText(const Result &result);

    // A linear equation of X ("0.75 * X - 48", "(X + 10) / 4", "-X*.5"): its factor and
    // offset. False for anything else (other variables, functions, powers, X times X,
    // a division by X or by zero, a factor of zero).
    static bool parseLinearEquation(QStringView equation, double *factor, double *offset);

    // Larger files are refused before they are read.
    static constexpr qint64 MaxFileSize = 256ll * 1024 * 1024;
    // Elements nested deeper than this are no XDF.
    static constexpr int MaxDepth = 32;
    // Tables, constants and other objects in one file.
    static constexpr int MaxObjects = 1000000;
    // Labels, categories, memberships: more than this in one place is no real definition.
    static constexpr int MaxListEntries = 65536;
};
