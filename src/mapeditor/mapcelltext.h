#pragma once

#include "mapeditor/mapvaluescaling.h"

#include <QList>
#include <QString>
#include <QStringList>

// Map values as the text spreadsheets and other tools exchange: one line a row, cells
// separated by tabs. A block copied with its axes has the X axis as its first line, after an
// empty corner cell, and each row's Y value as its first cell.
namespace MapCellText {

// rows: the shown texts of the cells; xTexts / yTexts empty for a block without axes.
QString format(const QList<QStringList> &rows, const QStringList &xTexts = {},
               const QStringList &yTexts = {});

struct Grid
{
    QList<QList<double>> rows; // every row as long as the first
    QString error;             // Italian, for the user; set when rows is empty
    int columns() const { return rows.isEmpty() ? 0 : int(rows.first().size()); }
};

// The numbers of pasted text, with any axes left out. A decimal comma is read as a point.
// Refused (error set): no number, rows of different lengths, a cell that is no number, more
// than maxCells cells.
Grid parse(const QString &text, int maxCells);

// Where a pasted grid lands in a map of mapRows x mapColumns: a selection of more than one
// cell (top, left, rows x columns; selectedCells counts the cells really selected) must be a
// rectangle of the grid's size, or take a single value in every cell; otherwise the grid goes
// at the current cell (top, left) and must fit in the map. error (Italian) when refused.
struct Placement
{
    int row = -1;
    int column = -1;
    int rows = 0;
    int columns = 0;
    bool repeat = false; // one value into every selected cell
    QString error;
};
Placement place(const Grid &grid, int mapRows, int mapColumns, int top, int left,
                int selectionRows, int selectionColumns, int selectedCells);

// The raw value a pasted physical value is stored as: factor and offset undone (and the
// reciprocal, for a window that shows it), rounded to the type; false when the type
// cannot hold it.
bool pastedRaw(double physical, const MapValueScaling &scaling, const ValueType &type,
               double *raw);

} // namespace MapCellText
