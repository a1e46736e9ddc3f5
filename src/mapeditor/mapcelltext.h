#pragma once

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

} // namespace MapCellText
