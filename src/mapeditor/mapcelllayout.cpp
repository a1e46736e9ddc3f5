#include "mapcelllayout.h"

MapCellLayout::MapCellLayout(int rows, int columns, bool columnMajor)
    : m_rows(qMax(rows, 0))
    , m_columns(qMax(columns, 0))
    , m_columnMajor(columnMajor)
{
}

qint64 MapCellLayout::index(int row, int column) const
{
    if (row < 0 || column < 0 || row >= m_rows || column >= m_columns)
        return -1;
    return m_columnMajor ? qint64(column) * m_rows + row : qint64(row) * m_columns + column;
}

MapCellLayout
MapCellLayout::clamped(int rows, int columns, bool columnMajor, qint64 imageLength, int elementSize)
{
    rows = qMax(rows, 0);
    columns = qMax(columns, 0);
    if (rows == 0 || columns == 0)
        return MapCellLayout(rows, columns, columnMajor);
    const qint64 capacity = qMax<qint64>(imageLength / qMax(elementSize, 1), 1);
    if (qint64(rows) * columns <= capacity)
        return MapCellLayout(rows, columns, columnMajor);
    const int keptColumns = int(qMin<qint64>(columns, capacity));
    const int keptRows = int(qMax<qint64>(qMin<qint64>(rows, capacity / keptColumns), 1));
    return MapCellLayout(keptRows, keptColumns, columnMajor);
}
