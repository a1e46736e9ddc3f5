#pragma once

#include <QByteArray>

// The value edits of the 2D graph's context menu, applied to whole 16-bit words.
enum class WordEditKind { Absolute, Percent, PlusOne, MinusOne, Original };

// The selection [selStart, selEnd] widened to whole words inside the image: start rounded
// down to even, end rounded up. False when no whole word is left.
bool widenToWords(qint64 selStart, qint64 selEnd, qint64 imageSize, qint64 *start,
                  qint64 *length);

// The bytes the edit wants written at start over length bytes of current. value is the new
// word (Absolute) or the percentage (Percent); results are clamped to 0..65535.
QByteArray editedWords(const QByteArray &current, const QByteArray &original, qint64 start,
                       qint64 length, WordEditKind kind, double value, bool littleEndian);
