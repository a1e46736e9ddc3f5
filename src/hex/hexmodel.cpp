#include "hexmodel.h"

#include "hex/hexcells.h"

#include <QtMath>

#include <algorithm>
#include <cmath>
#include <cstring>

HexModel::HexModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

int HexModel::cellBytes() const
{
    switch (m_widthMode) {
    case Width16:
        return 2;
    case Width32:
        return 4;
    default:
        return 1;
    }
}

int HexModel::leadBytes() const
{
    const int rb = rowBytes();
    int shift = m_rowOrigin % rb;
    if (shift < 0)
        shift += rb;
    return shift != 0 ? rb - shift : 0;
}

int HexModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() || m_current.isEmpty())
        return 0;
    const qint64 rb = rowBytes();
    return int((qint64(m_current.size()) + leadBytes() + rb - 1) / rb);
}

int HexModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_columns + 2;
}

Qt::ItemFlags HexModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    if (isCellColumn(index.column()))
        return Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsEnabled;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled;
}

QVariant HexModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    if (section == 0)
        return QStringLiteral("Offset");
    if (section == lastColumn())
        return QString();
    if (isCellColumn(section))
        return QStringLiteral("%1")
            .arg((section - 1) * cellBytes(), 2, 16, QLatin1Char('0'))
            .toUpper();
    return {};
}

int HexModel::offsetForIndex(const QModelIndex &index) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() > lastColumn())
        return -1;
    const qint64 start = rowStart(index.row());
    if (isCellColumn(index.column()))
        return int(start + qint64(index.column() - 1) * cellBytes());
    return int(start);
}

QModelIndex HexModel::indexForOffset(int offset) const
{
    if (offset < 0 || offset >= m_current.size())
        return {};
    const qint64 p = qint64(offset) + leadBytes();
    return index(int(p / rowBytes()), int((p % rowBytes()) / cellBytes()) + 1);
}

bool HexModel::cellInside(const QByteArray &buffer, qint64 offset, int width) const
{
    return offset >= 0 && offset + width <= buffer.size();
}

int HexModel::effectiveByteOrder() const
{
    if (m_byteOrderExplicit)
        return m_byteOrder;
    if (m_guessedOrder < 0)
        m_guessedOrder = HexCells::guessByteOrder(m_current.constData(), m_current.size());
    return m_guessedOrder;
}

double HexModel::cellNumber(const QByteArray &buffer, int offset) const
{
    const quint32 raw
        = HexCells::read(buffer.constData() + offset, cellBytes(), effectiveByteOrder());
    if (m_floatMode && cellBytes() == 4) {
        float f;
        std::memcpy(&f, &raw, 4);
        return double(f);
    }
    return double(raw);
}

QString HexModel::cellText(int offset) const
{
    const QByteArray &buffer = m_showOriginal ? m_original : m_current;
    const int w = cellBytes();
    if (m_percentMode)
        return percentText(offset);
    if (!cellInside(buffer, offset, w))
        return {};
    const quint32 raw = HexCells::read(buffer.constData() + offset, w, effectiveByteOrder());
    if (m_floatMode && w == 4 && m_decimal) {
        float f;
        std::memcpy(&f, &raw, 4);
        if (std::isnan(f))
            return QStringLiteral("NaN");
        if (std::fabs(double(f)) > 3.4028235e38)
            return f > 0 ? QStringLiteral("+Inf") : QStringLiteral("-Inf");
        return QString::number(double(f), 'f', 2);
    }
    if (m_decimal) {
        const int digits = w == 1 ? 3 : (w == 2 ? 5 : 10);
        return QStringLiteral("%1").arg(raw, digits, 10, QLatin1Char('0'));
    }
    return QStringLiteral("%1").arg(raw, 2 * w, 16, QLatin1Char('0')).toUpper();
}

QString HexModel::percentText(int offset) const
{
    const int w = cellBytes();
    if (!cellInside(m_current, offset, w) || !cellInside(m_original, offset, w))
        return {};
    const double cur = cellNumber(m_current, offset);
    const double org = cellNumber(m_original, offset);
    if (std::fabs(org) < 1e-9)
        return std::fabs(cur) < 1e-9 ? QStringLiteral("0.0%") : QStringLiteral("--");
    double p = (cur - org) / std::fabs(org) * 100.0;
    if (!std::isfinite(p))
        return QStringLiteral("--"); // float cells holding NaN or infinities
    if (std::fabs(p) < 5e-5)
        p = 0.0;
    return QString::number(p, 'f', 1) + QLatin1Char('%');
}

QString HexModel::rowText(int row) const
{
    const QByteArray &buffer = m_showOriginal ? m_original : m_current;
    const qint64 start = rowStart(row);
    QString text;
    text.reserve(rowBytes());
    for (qint64 p = start; p < start + rowBytes() && p < buffer.size(); ++p) {
        if (p < 0) {
            text.append(QLatin1Char(' '));
            continue;
        }
        const uchar c = uchar(buffer.at(p));
        text.append(c >= 32 && c <= 126 ? QLatin1Char(char(c)) : QLatin1Char('.'));
    }
    return text;
}

QVariant HexModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid())
        return {};
    if (index.column() == 0) {
        const qint64 start = rowStart(index.row());
        // A leading row that begins before the image shows how far before.
        if (start < 0)
            return QStringLiteral("-%1").arg(-start, 7, 16, QLatin1Char('0')).toUpper();
        return QStringLiteral("%1").arg(start, 8, 16, QLatin1Char('0')).toUpper();
    }
    if (index.column() == lastColumn())
        return rowText(index.row());
    const QString text = cellText(offsetForIndex(index));
    if (text.isNull())
        return {};
    return text;
}

bool HexModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || !isCellColumn(index.column()))
        return false;
    bool ok = false;
    const int v = value.toString().trimmed().toInt(&ok, m_decimal ? 10 : 16);
    if (!ok || v < 0)
        return false;
    const int w = cellBytes();
    if ((w == 1 && v > 0xFF) || (w == 2 && v > 0xFFFF))
        return false;
    const int offset = offsetForIndex(index);
    if (!cellInside(m_current, offset, w))
        return false;
    const QByteArray before = m_current.mid(offset, w);
    const QByteArray after = HexCells::encode(quint32(v), w, effectiveByteOrder());
    pushEdit(offset, before, after);
    store(offset, after);
    emit dataChanged(index, index);
    emit dataModified(m_current);
    return true;
}

void HexModel::announceAllCells()
{
    const int rows = rowCount();
    if (rows > 0)
        emit dataChanged(index(0, 0), index(rows - 1, columnCount() - 1));
}

void HexModel::announceRange(qint64 first, qint64 last)
{
    if (m_current.isEmpty())
        return;
    const qint64 rb = rowBytes();
    const int lead = leadBytes();
    const int rows = rowCount();
    const int firstRow = int(std::clamp<qint64>((first + lead) / rb, 0, rows - 1));
    const int lastRow = int(std::clamp<qint64>((last + lead) / rb, 0, rows - 1));
    emit dataChanged(index(firstRow, 0), index(lastRow, columnCount() - 1));
}

void HexModel::store(int offset, const QByteArray &bytes)
{
    emit aboutToWrite(offset, int(bytes.size()));
    char *dst = m_current.data() + offset;
    std::memcpy(dst, bytes.constData(), size_t(bytes.size()));
    const qsizetype originalSize = m_original.size();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const qsizetype o = offset + i;
        m_modified.set(o, o >= originalSize || m_original.at(o) != bytes.at(i));
    }
    forgetByteOrderGuess();
}

void HexModel::pushEdit(int offset, const QByteArray &before, const QByteArray &after)
{
    m_undo.append(EditRecord{offset, before, after});
    m_redo.clear();
}

void HexModel::setFirmware(const QByteArray &bytes)
{
    if (m_current == bytes && m_original == bytes)
        return;
    beginResetModel();
    m_current = bytes;
    m_original = bytes;
    m_modified.rebuild(m_current.constData(), m_current.size(), m_original.constData(),
                       m_original.size());
    forgetByteOrderGuess();
    endResetModel();
}

void HexModel::setCurrentData(const QByteArray &bytes)
{
    if (m_current == bytes)
        return;
    beginResetModel();
    m_current = bytes;
    m_modified.rebuild(m_current.constData(), m_current.size(), m_original.constData(),
                       m_original.size());
    forgetByteOrderGuess();
    endResetModel();
}

void HexModel::setColumnCount(int columns)
{
    columns = std::max(columns, 1);
    if (columns == m_columns)
        return;
    beginResetModel();
    m_columns = columns;
    m_blockSelection = false; // the rectangle's rows and columns no longer mean the same bytes
    endResetModel();
}

void HexModel::setRowOrigin(int origin)
{
    const int w = cellBytes();
    if (w > 1)
        origin -= origin % w;
    if (origin == m_rowOrigin)
        return;
    beginResetModel();
    m_rowOrigin = origin;
    m_blockSelection = false;
    endResetModel();
}

void HexModel::setWidthMode(int mode)
{
    mode = std::clamp(mode, 0, 2);
    if (mode == m_widthMode)
        return;
    // The row count changes with the cell size, so the views start over.
    beginResetModel();
    m_widthMode = mode;
    const int w = cellBytes();
    if (w > 1)
        m_rowOrigin -= m_rowOrigin % w;
    m_blockSelection = false;
    endResetModel();
    announceAllCells();
}

void HexModel::setDecimal(bool decimal)
{
    if (decimal == m_decimal)
        return;
    m_decimal = decimal;
    announceAllCells();
}

void HexModel::setFloatMode(bool on)
{
    if (on == m_floatMode)
        return;
    m_floatMode = on;
    announceAllCells();
}

void HexModel::setPercentMode(bool on)
{
    if (on == m_percentMode)
        return;
    m_percentMode = on;
    announceAllCells();
}

void HexModel::setShowOriginal(bool on)
{
    if (on == m_showOriginal)
        return;
    m_showOriginal = on;
    announceAllCells();
}

void HexModel::setByteOrder(int order)
{
    if (order == m_byteOrder)
        return;
    m_byteOrder = order;
    announceAllCells();
}

void HexModel::setByteOrderExplicit(bool on)
{
    if (on == m_byteOrderExplicit)
        return;
    m_byteOrderExplicit = on;
    announceAllCells();
}

void HexModel::setSelection(int a, int b)
{
    const int start = std::min(a, b);
    const int end = std::max(a, b);
    if (start == m_selStart && end == m_selEnd && !m_blockSelection)
        return;
    m_blockSelection = false;
    m_selStart = start;
    m_selEnd = end;
    emit selectionChanged(start, end);
}

void HexModel::extendSelection(int anchor, int current)
{
    const QModelIndex a = indexForOffset(anchor);
    const QModelIndex c = indexForOffset(current);
    if (!a.isValid() || !c.isValid())
        return;
    m_blockFirstRow = std::min(a.row(), c.row());
    m_blockLastRow = std::max(a.row(), c.row());
    m_blockFirstColumn = std::min(a.column(), c.column());
    m_blockLastColumn = std::max(a.column(), c.column());
    // The linear span runs from the rectangle's top-left to its bottom-right cell, so that a
    // drag towards the lower left still covers every cell it shows as selected.
    const int w = cellBytes();
    const qint64 first = rowStart(m_blockFirstRow) + qint64(m_blockFirstColumn - 1) * w;
    const qint64 last = rowStart(m_blockLastRow) + qint64(m_blockLastColumn - 1) * w + w - 1;
    m_selStart = int(std::max<qint64>(first, 0));
    m_selEnd = int(std::min<qint64>(last, m_current.size() - 1));
    m_blockSelection = true;
    emit selectionChanged(m_selStart, m_selEnd);
    announceAllCells();
}

bool HexModel::isSelected(int offset, int length) const
{
    if (!hasSelection())
        return false;
    if (!m_blockSelection)
        return m_selStart < qint64(offset) + length && m_selEnd >= offset;
    const QModelIndex cell = indexForOffset(offset);
    if (!cell.isValid())
        return false;
    return cell.row() >= m_blockFirstRow && cell.row() <= m_blockLastRow
           && cell.column() >= m_blockFirstColumn && cell.column() <= m_blockLastColumn;
}

QByteArray HexModel::selectedBytes() const
{
    if (!hasSelection() || m_selStart >= m_current.size())
        return {};
    return m_current.mid(m_selStart, m_selEnd - m_selStart + 1);
}

QByteArray HexModel::selectedOriginalBytes() const
{
    if (!hasSelection() || m_selStart >= m_original.size())
        return {};
    const int end = std::min<qint64>(m_selEnd, m_original.size() - 1);
    return m_original.mid(m_selStart, end - m_selStart + 1);
}

bool HexModel::replaceSelection(const QByteArray &bytes)
{
    if (!hasSelection() || bytes.size() != qint64(m_selEnd) - m_selStart + 1
        || qint64(m_selEnd) >= m_current.size())
        return false;
    const int w = cellBytes();
    const QByteArray before = m_current.mid(m_selStart, bytes.size());
    QByteArray block = before;
    for (qsizetype k = 0; k + w <= block.size(); k += w)
        if (isSelected(int(m_selStart + k), w))
            std::memcpy(block.data() + k, bytes.constData() + k, size_t(w));
    pushEdit(m_selStart, before, block);
    store(m_selStart, block);
    announceRange(m_selStart, m_selEnd);
    emit dataModified(m_current);
    return true;
}

bool HexModel::setSelectionValue(quint32 value)
{
    if (!hasSelection())
        return false;
    const int w = cellBytes();
    const QByteArray cell = HexCells::encode(value, w, effectiveByteOrder());
    QByteArray bytes;
    for (qint64 o = m_selStart; o <= m_selEnd; o += w)
        bytes.append(cell);
    // A selection that does not end on a cell boundary fails the length check.
    return replaceSelection(bytes);
}

bool HexModel::writeBytesAt(int offset, const QByteArray &bytes)
{
    if (offset < 0 || bytes.isEmpty() || qint64(offset) + bytes.size() > m_current.size())
        return false;
    pushEdit(offset, m_current.mid(offset, bytes.size()), bytes);
    store(offset, bytes);
    announceRange(offset, qint64(offset) + bytes.size() - 1);
    emit dataModified(m_current);
    return true;
}

void HexModel::undo()
{
    if (m_undo.isEmpty())
        return;
    const EditRecord record = m_undo.takeLast();
    if (qint64(record.offset) + record.before.size() > m_current.size())
        return; // the image was replaced by a shorter one since
    store(record.offset, record.before);
    m_redo.append(record);
    announceRange(record.offset, qint64(record.offset) + record.before.size() - 1);
    emit dataModified(m_current);
}

void HexModel::redo()
{
    if (m_redo.isEmpty())
        return;
    const EditRecord record = m_redo.takeLast();
    if (qint64(record.offset) + record.after.size() > m_current.size())
        return;
    store(record.offset, record.after);
    m_undo.append(record);
    announceRange(record.offset, qint64(record.offset) + record.after.size() - 1);
    emit dataModified(m_current);
}

bool HexModel::isModified(int offset, int length) const
{
    return m_modified.anyIn(offset, length);
}

int HexModel::compareWithOriginal(int offset, int length) const
{
    if (length < 1 || length > 4 || !cellInside(m_current, offset, length)
        || !cellInside(m_original, offset, length))
        return 0;
    const int order = effectiveByteOrder();
    const quint32 cur = HexCells::read(m_current.constData() + offset, length, order);
    const quint32 org = HexCells::read(m_original.constData() + offset, length, order);
    return cur > org ? 1 : (cur < org ? -1 : 0);
}

void HexModel::addOrUpdateSavedMap(const SavedMapRegion &region)
{
    auto it = std::find_if(m_regions.begin(), m_regions.end(), [&](const SavedMapRegion &r) {
        return r.data.start == region.data.start;
    });
    if (it != m_regions.end())
        *it = region;
    else
        m_regions.append(region);
    announceAllCells();
}

void HexModel::removeSavedMap(int mapOffset)
{
    const auto removed = m_regions.removeIf(
        [mapOffset](const SavedMapRegion &r) { return r.data.start == mapOffset; });
    if (removed == 0)
        return;
    if (m_activeSavedMap == mapOffset)
        m_activeSavedMap = -1;
    announceAllCells();
}

void HexModel::clearSavedMaps()
{
    if (m_regions.isEmpty())
        return;
    m_regions.clear();
    m_activeSavedMap = -1;
    announceAllCells();
}

int HexModel::savedMapAt(int offset, int length) const
{
    const qint64 last = qint64(offset) + length - 1;
    for (const SavedMapRegion &r : m_regions) {
        if (r.data.overlaps(offset, last) || r.xAxis.overlaps(offset, last)
            || r.yAxis.overlaps(offset, last) || r.header.overlaps(offset, last))
            return r.data.start;
    }
    return -1;
}

int HexModel::savedMapKindAt(int offset, int length) const
{
    const qint64 last = qint64(offset) + length - 1;
    for (const SavedMapRegion &r : m_regions) {
        if (r.data.overlaps(offset, last))
            return 4;
        if (r.header.overlaps(offset, last))
            return 1;
        if (r.xAxis.overlaps(offset, last))
            return 2;
        if (r.yAxis.overlaps(offset, last))
            return 3;
    }
    return 0;
}

void HexModel::setActiveSavedMap(int mapOffset)
{
    if (mapOffset == m_activeSavedMap)
        return;
    m_activeSavedMap = mapOffset;
    announceAllCells();
}

ActiveMapEdges HexModel::activeMapEdges(int offset, int length) const
{
    ActiveMapEdges edges;
    if (m_activeSavedMap < 0)
        return edges;
    const SavedMapRegion *active = nullptr;
    for (const SavedMapRegion &r : m_regions) {
        if (r.data.start == m_activeSavedMap) {
            active = &r;
            break;
        }
    }
    if (!active)
        return edges;
    const qint64 last = qint64(offset) + length - 1;
    const HexRange *range = nullptr;
    for (const HexRange *r : {&active->data, &active->xAxis, &active->yAxis, &active->header}) {
        if (r->overlaps(offset, last)) {
            range = r;
            break;
        }
    }
    if (!range)
        return edges;
    edges.any = true;
    const QModelIndex cell = indexForOffset(offset);
    const qint64 size = m_current.size();
    // A side is on the outline unless the neighbour there exists and lies wholly in the range.
    auto inside = [&](qint64 neighbour) {
        return neighbour >= 0 && neighbour < size
               && range->contains(neighbour, neighbour + length - 1);
    };
    const int column = cell.isValid() ? cell.column() : -1;
    edges.top = !inside(qint64(offset) - rowBytes());
    edges.bottom = !inside(qint64(offset) + rowBytes());
    edges.left = column <= 1 || !inside(qint64(offset) - cellBytes());
    edges.right = column < 1 || column >= m_columns || !inside(qint64(offset) + cellBytes());
    return edges;
}
