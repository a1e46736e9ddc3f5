#pragma once

#include <QStyledItemDelegate>

#include <functional>

// The map table's in-place editor for a typed number. It opens empty for the window to put
// the typed keys in, accepts only what can be a number, and hands the value to the window,
// which converts and writes it as the value dialog does: the table's own items are never
// written behind the window's back.
class MapCellEditor : public QStyledItemDelegate
{
public:
    using Commit = std::function<void(int row, int column, double physical)>;

    MapCellEditor(Commit commit, QObject *parent);
    // From now on a committed editor writes nothing (its window is going away).
    void dropCommit() { m_commit = nullptr; }

    QWidget *createEditor(QWidget *parent,
                          const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor,
                      QAbstractItemModel *model,
                      const QModelIndex &index) const override;

private:
    Commit m_commit;
};
