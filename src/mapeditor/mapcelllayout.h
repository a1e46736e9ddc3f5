#pragma once

#include <QtGlobal>

// Where the cell in row r, column c of a map window sits in its list of raw values, and how
// large a grid a window may build for an image at all.
class MapCellLayout
{
public:
    MapCellLayout() = default;
    MapCellLayout(int rows, int columns, bool columnMajor);

    int rows() const { return m_rows; }
    int columns() const { return m_columns; }
    bool columnMajor() const { return m_columnMajor; }
    qint64 cellCount() const { return qint64(m_rows) * m_columns; }

    // Storage index of a cell; -1 for a cell outside the grid.
    qint64 index(int row, int column) const;

    // Definitions read from files may ask for grids no image could hold. The window never
    // builds more cells than imageLength / elementSize (at least one row of one cell while
    // both sizes are positive), keeping the column count where it can.
    static MapCellLayout
    clamped(int rows, int columns, bool columnMajor, qint64 imageLength, int elementSize);

private:
    int m_rows = 0;
    int m_columns = 0;
    bool m_columnMajor = false;
};
