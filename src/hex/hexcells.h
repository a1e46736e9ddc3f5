#pragma once

#include <QByteArray>
#include <QString>
#include <QtCore/qnamespace.h>

#include <optional>

// The arithmetic of hex cells, shared by the model, the viewer's edit commands and the search:
// cells are 1, 2 or 4 bytes, read and written as unsigned numbers in a byte order
// (0 = little endian, 1 = big endian).
namespace HexCells {

enum ByteOrder : int { LittleEndian = 0, BigEndian = 1 };

// Largest value a cell of that many bytes can hold.
quint32 limit(int cellBytes);
quint32 read(const char *bytes, int cellBytes, int byteOrder);
void write(char *bytes, int cellBytes, int byteOrder, quint32 value);
QByteArray encode(quint32 value, int cellBytes, int byteOrder);

// +1 / -1 on every whole cell of a selection; values stop at the width's limit and at 0.
// A trailing part shorter than a cell is left as it is.
QByteArray stepped(const QByteArray &selection, int cellBytes, int byteOrder, int delta);
// Every whole cell scaled by (1 + percent / 100), rounded half away from zero and clamped to
// 0 .. the width's limit.
QByteArray scaled(const QByteArray &selection, int cellBytes, int byteOrder, double percent);

// The selection edit's value: parsed unsigned in base 10 or 16, at most 4294967295, then
// clamped to the width's limit. Empty when the text does not parse or is too large.
std::optional<quint32> selectionEditValue(const QString &text, bool decimal, int cellBytes);

// Whether a key typed on a cell starts editing it, as in any hex editor, the key's text then
// being the editor's first character: a digit of the base shown (0-9, and A-F in either case
// in hexadecimal). Keys held with Ctrl, Alt or Meta belong to commands.
bool startsCellEdit(const QString &typed, Qt::KeyboardModifiers modifiers, bool decimal);

// An address typed by the user: trimmed, an optional "0x" removed, base 16, 32-bit signed.
std::optional<int> parseAddress(const QString &text);

// Clipboard text for "Paste": spaces and line breaks removed, it must be a non-empty, even
// number of hexadecimal digits; anything else yields nothing, so nothing gets written.
std::optional<QByteArray> parsePastedHex(const QString &text);
// Selected bytes for "Copy", upper-case pairs separated by spaces.
QString copiedHex(const QByteArray &bytes);

// A float cell's text that is too wide for its cell ("123456789012.00") in fewer significant
// digits, with an exponent where needed ("1.235e+11" for 4); texts that are not numbers come
// back unchanged.
QString compactFloatText(const QString &text, int significantDigits);

// "Crea selezione": two typed offsets, in either order; the end reaches to the end of its cell
// and stays inside the image. Empty when the addresses leave no range inside the image.
struct ByteSpan
{
    int start = -1;
    int end = -1;
};
std::optional<ByteSpan> selectionFromAddresses(int from, int to, int cellBytes, qsizetype size);

// The byte order "Auto" picks for an image. See the comment in the implementation for what
// counts as a plausible word.
int guessByteOrder(const char *data, qsizetype size);

} // namespace HexCells
