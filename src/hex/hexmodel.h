#pragma once

#include "hex/modifiedoffsets.h"

#include <QAbstractTableModel>
#include <QByteArray>
#include <QList>

// An inclusive byte range of the image; -1, -1 when absent.
struct HexRange
{
    int start = -1;
    int end = -1;

    bool isValid() const { return start >= 0 && end >= start; }
    bool overlaps(qint64 first, qint64 last) const
    {
        return isValid() && start <= last && end >= first;
    }
    bool contains(qint64 first, qint64 last) const
    {
        return isValid() && first >= start && last <= end;
    }
};

// The image ranges of one saved map, identified by data.start (the map's offset).
struct SavedMapRegion
{
    HexRange data;
    HexRange xAxis;
    HexRange yAxis;
    HexRange header;
};

// One write: the bytes at offset before and after it.
struct EditRecord
{
    int offset = 0;
    QByteArray before;
    QByteArray after;
};

// Which sides of a cell lie on the outline of one of the active map's ranges.
struct ActiveMapEdges
{
    bool any = false;
    bool top = false;
    bool bottom = false;
    bool left = false;
    bool right = false;
};

// The table behind a document's hex view: a working copy of the current and the original
// bytes laid out as rows of 1, 2 or 4 byte cells, the selection, the change marks, the edit
// history and the saved maps' ranges. Every write ends in dataModified, by which the owner
// copies the bytes into the document's image.
class HexModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum WidthMode : int { Width8 = 0, Width16 = 1, Width32 = 2 };

    explicit HexModel(QObject *parent = nullptr);

    // Table interface.
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant
    headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

    // Geometry.
    int cellBytes() const;
    int rowBytes() const { return m_columns * cellBytes(); }
    int leadBytes() const;
    qint64 rowStart(int row) const { return qint64(row) * rowBytes() - leadBytes(); }
    int offsetForIndex(const QModelIndex &index) const;
    QModelIndex indexForOffset(int offset) const;
    bool isCellColumn(int column) const { return column >= 1 && column <= m_columns; }
    int lastColumn() const { return m_columns + 1; }

    // Contents and settings.
    void setFirmware(const QByteArray &bytes);
    void setCurrentData(const QByteArray &bytes);
    const QByteArray &currentData() const { return m_current; }
    const QByteArray &originalData() const { return m_original; }
    void setColumnCount(int columns);
    int columns() const { return m_columns; }
    void setRowOrigin(int origin);
    int rowOrigin() const { return m_rowOrigin; }
    void setWidthMode(int mode);
    int widthMode() const { return m_widthMode; }
    void setDecimal(bool decimal);
    bool isDecimal() const { return m_decimal; }
    void setFloatMode(bool on);
    bool floatMode() const { return m_floatMode; }
    void setPercentMode(bool on);
    bool percentMode() const { return m_percentMode; }
    void setShowOriginal(bool on);
    bool showOriginal() const { return m_showOriginal; }
    void setByteOrder(int order);
    int byteOrder() const { return m_byteOrder; }
    void setByteOrderExplicit(bool on);
    bool byteOrderExplicit() const { return m_byteOrderExplicit; }
    int effectiveByteOrder() const;

    // Selection.
    void setSelection(int a, int b);
    void extendSelection(int anchor, int current);
    bool isSelected(int offset, int length) const;
    int selectionStart() const { return m_selStart; }
    int selectionEnd() const { return m_selEnd; }
    bool hasSelection() const { return m_selStart >= 0 && m_selStart <= m_selEnd; }
    bool isBlockSelection() const { return m_blockSelection; }
    QByteArray selectedBytes() const;
    QByteArray selectedOriginalBytes() const;

    // Writes; false (and nothing changed) when rejected.
    bool replaceSelection(const QByteArray &bytes);
    bool setSelectionValue(quint32 value);
    bool writeBytesAt(int offset, const QByteArray &bytes);
    void undo();
    void redo();
    const QList<EditRecord> &undoStack() const { return m_undo; }
    const QList<EditRecord> &redoStack() const { return m_redo; }

    // Change marks.
    bool isModified(int offset, int length) const;
    const ModifiedOffsets &modifiedOffsets() const { return m_modified; }
    int compareWithOriginal(int offset, int length) const;

    // Saved maps.
    void addOrUpdateSavedMap(const SavedMapRegion &region);
    void removeSavedMap(int mapOffset);
    void clearSavedMaps();
    const QList<SavedMapRegion> &savedMapRegions() const { return m_regions; }
    int savedMapAt(int offset, int length) const;
    // 4 data, 1 header, 2 X axis, 3 Y axis, 0 none.
    int savedMapKindAt(int offset, int length) const;
    bool isInSavedMap(int offset, int length) const { return savedMapAt(offset, length) >= 0; }
    void setActiveSavedMap(int mapOffset);
    int activeSavedMap() const { return m_activeSavedMap; }
    ActiveMapEdges activeMapEdges(int offset, int length) const;

    // The text a cell shows; also used by the in-place editor.
    QString cellText(int offset) const;

signals:
    void dataModified(const QByteArray &data);
    // Just before bytes [offset, offset + length) are written. Holders of a shared copy of the
    // current bytes let go here, so a 16 MiB image is written in place, not copied first.
    void aboutToWrite(int offset, int length);
    void selectionChanged(int startOffset, int endOffset);

private:
    void announceAllCells();
    void announceRange(qint64 first, qint64 last);
    // Writes bytes at offset and keeps the change marks in step.
    void store(int offset, const QByteArray &bytes);
    void pushEdit(int offset, const QByteArray &before, const QByteArray &after);
    bool cellInside(const QByteArray &buffer, qint64 offset, int width) const;
    QString percentText(int offset) const;
    double cellNumber(const QByteArray &buffer, int offset) const;
    QString rowText(int row) const;
    void forgetByteOrderGuess() { m_guessedOrder = -1; }

    ModifiedOffsets m_modified;
    QByteArray m_current;
    QByteArray m_original;
    bool m_decimal = false;
    int m_widthMode = Width8;
    bool m_floatMode = false;
    bool m_showOriginal = false;
    bool m_percentMode = false;
    int m_byteOrder = 0;
    bool m_byteOrderExplicit = false;
    int m_selStart = -1;
    int m_selEnd = -1;
    bool m_blockSelection = false;
    int m_blockFirstRow = -1;
    int m_blockLastRow = -1;
    int m_blockFirstColumn = -1;
    int m_blockLastColumn = -1;
    QList<EditRecord> m_undo;
    QList<EditRecord> m_redo;
    int m_columns = 8;
    int m_rowOrigin = 0;
    QList<SavedMapRegion> m_regions;
    int m_activeSavedMap = -1;
    // Auto byte order, worked out once per change of the bytes; -1 = not yet.
    mutable int m_guessedOrder = -1;
};
