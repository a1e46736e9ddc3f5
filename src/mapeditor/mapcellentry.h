#pragma once

#include <QString>
#include <QtCore/qnamespace.h>

#include <optional>

// A number typed straight into a cell of the map table, as in a spreadsheet.
namespace MapCellEntry {

// Whether a key typed on a cell starts its editor, the key's text then being the editor's
// first character: a digit, a sign or a decimal point or comma. Keys held with Ctrl, Alt or
// Meta belong to commands.
bool startsEntry(const QString &typed, Qt::KeyboardModifiers modifiers);

// What the editor lets one type: an optional sign, digits and one decimal point or comma.
QString pattern();

// The physical value of a typed text, a decimal comma read as the point (what an Italian
// keyboard's keypad gives); nothing for a text that is no finite number.
std::optional<double> parse(const QString &text);

} // namespace MapCellEntry
