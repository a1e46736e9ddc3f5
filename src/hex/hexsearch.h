#pragma once

#include <QByteArray>
#include <QString>

// One step of the value search of the hex view, without any dialog: the caller shows the
// notices the result asks for.
namespace HexSearch {

struct Pattern
{
    QByteArray bytes; // the value as cellBytes bytes in the byte order searched
    QString error;    // the warning to show when the text cannot be searched for
};

// The typed value: trimmed; hexadecimal drops a leading "0x". cellBytes is 1, 2 or 4.
Pattern parseValue(const QString &text, bool hexadecimal, int cellBytes, int byteOrder);

struct Step
{
    int hit = -1;          // offset found, -1 when none
    bool wrapped = false;  // the scan ran off one end and went on from the other
    bool tooShort = false; // the image is shorter than one cell: nothing was searched
};

// Searches for pattern in data from position, only at offsets that are multiples of the
// pattern's length. Forward starts one cell after position, backward one cell before; when
// that pass finds nothing it wraps around once, but never back onto position's own cell.
Step find(const char *data, qsizetype size, const QByteArray &pattern, int position, bool forward);

} // namespace HexSearch
