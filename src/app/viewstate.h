#pragma once

#include <QString>

// What the toolbar and a document's views show for the state they hold, kept apart from the
// widgets so that it can be checked without a window.
namespace ViewState {

// The object name of the width action ("8 Bit", "16 Bit", "32 Bit", "32 Bit Float") that
// stands for a hex table in float mode or in width mode 0, 1 or 2.
QString widthActionName(bool floatMode, int widthMode);

// The row origin after one "Marcatura a sinistra" (direction < 0) or "a destra" (> 0) in a
// table of cellBytes-wide cells. The step is one word, or one cell where cells are wider, and
// the result lies on a cell boundary as the hex table keeps it, so that the table's rows and
// the 2D view's row marks move together on every press.
int steppedRowOrigin(int origin, int direction, int cellBytes);

} // namespace ViewState
