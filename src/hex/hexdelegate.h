#pragma once

#include <QFontMetrics>
#include <QStyledItemDelegate>

// Paints the hex table's cells (change colours, selection, saved maps and the active map's
// outline, the row profile in the last column) and edits a cell in place.
// Dynamic property "darkColorMode" (bool) switches to the dark palette.
class HexDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // The text a cell of room pixels shows. A cell clips what it draws, so a text too long
    // for it would show a slice from its middle (the digits around the point of a large
    // float): a decimal float is written shorter with an exponent, and what still does not
    // fit ends in an ellipsis, so that the leading digits and the sign are always seen.
    static QString
    fittedText(const QString &text, bool decimalFloat, const QFontMetrics &metrics, int room);

    void paint(QPainter *painter,
               const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QWidget *createEditor(QWidget *parent,
                          const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor,
                      QAbstractItemModel *model,
                      const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor,
                              const QStyleOptionViewItem &option,
                              const QModelIndex &index) const override;
};
