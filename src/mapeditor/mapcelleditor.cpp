#include "mapcelleditor.h"

#include "mapeditor/mapcellentry.h"

#include <QLineEdit>
#include <QRegularExpressionValidator>

MapCellEditor::MapCellEditor(Commit commit, QObject *parent)
    : QStyledItemDelegate(parent)
    , m_commit(std::move(commit))
{
}

QWidget *MapCellEditor::createEditor(QWidget *parent,
                                     const QStyleOptionViewItem &,
                                     const QModelIndex &) const
{
    auto *editor = new QLineEdit(parent);
    editor->setValidator(
        new QRegularExpressionValidator(QRegularExpression(MapCellEntry::pattern()), editor));
    return editor;
}

void MapCellEditor::setEditorData(QWidget *, const QModelIndex &) const
{
    // The cell's text may be a percentage or the original value; what is typed replaces it.
}

void MapCellEditor::setModelData(QWidget *editor,
                                 QAbstractItemModel *,
                                 const QModelIndex &index) const
{
    const auto *line = qobject_cast<QLineEdit *>(editor);
    if (!line || !m_commit)
        return;
    if (const std::optional<double> value = MapCellEntry::parse(line->text()))
        m_commit(index.row(), index.column(), *value);
}
