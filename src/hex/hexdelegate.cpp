#include "hexdelegate.h"

#include "hex/hexcells.h"
#include "hex/hexmodel.h"

#include <QLineEdit>
#include <QPainter>

#include <algorithm>

namespace {

const QColor DarkBackground(12, 15, 18);
const QColor DarkText(245, 245, 245);
const QColor SelectionFill(0, 120, 215);

void paintRowProfile(
    QPainter *p, const QRect &r, const QPalette &palette, const HexModel &model, int row)
{
    p->fillRect(r, palette.brush(QPalette::Base));
    const QByteArray &data = model.showOriginal() ? model.originalData() : model.currentData();
    const qint64 start = model.rowStart(row);
    const int rowBytes = model.rowBytes();
    const int innerWidth = r.right() - r.left() - 9;
    const int baseline = r.bottom() - 2;
    const int span = r.bottom() - 1 - (r.top() + 2);
    p->setPen(Qt::NoPen);
    p->setBrush(palette.color(QPalette::Text));
    auto xOf = [&](qint64 i) { return r.left() + 8 + int(i * innerWidth / rowBytes); };
    for (int i = 0; i < rowBytes; ++i) {
        const qint64 o = start + i;
        if (o < 0 || o >= data.size())
            continue;
        const int x = xOf(i);
        const int w = std::max(1, xOf(i + 1) - x);
        const int h = std::max(1, int(uchar(data.at(o)) / 255.0 * span));
        p->drawRect(QRect(x, baseline - h + 1, w, h));
    }
    const int selStart = model.selectionStart();
    const int selEnd = model.selectionEnd();
    if (selStart < 0 || selStart >= selEnd || selStart > start + rowBytes - 1 || selEnd < start)
        return;
    const qint64 first = std::max<qint64>(selStart, start) - start;
    const qint64 last = std::min<qint64>(selEnd, start + rowBytes - 1) - start;
    const int left = xOf(first);
    const int right = xOf(last + 1);
    p->fillRect(QRect(QPoint(left, r.top() + 2), QPoint(right, r.bottom() - 2)),
                QColor(0, 170, 255, 70));
    QPen edge(QColor(0, 140, 230), 2, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
    p->setPen(edge);
    p->setBrush(Qt::NoBrush);
    p->drawLine(left, r.top() + 2, left, r.bottom() - 2);
    p->drawLine(right, r.top() + 2, right, r.bottom() - 2);
}

} // namespace

QString HexDelegate::fittedText(const QString &text,
                                bool decimalFloat,
                                const QFontMetrics &metrics,
                                int room)
{
    room = std::max(0, room);
    if (metrics.horizontalAdvance(text) <= room)
        return text;
    QString shorter = text;
    for (int digits = 6; decimalFloat && digits >= 1; --digits) {
        shorter = HexCells::compactFloatText(text, digits);
        if (metrics.horizontalAdvance(shorter) <= room)
            return shorter;
    }
    return metrics.elidedText(shorter, Qt::ElideRight, room);
}

void HexDelegate::paint(QPainter *painter,
                        const QStyleOptionViewItem &option,
                        const QModelIndex &index) const
{
    const auto *model = qobject_cast<const HexModel *>(index.model());
    if (!model) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    const bool dark = property("darkColorMode").toBool();
    QPalette palette = option.palette;
    if (dark) {
        painter->fillRect(option.rect, DarkBackground);
        for (auto role : {QPalette::Text, QPalette::WindowText})
            palette.setColor(role, DarkText);
        for (auto role : {QPalette::Base, QPalette::AlternateBase})
            palette.setColor(role, DarkBackground);
    }
    const QRect r = option.rect;
    painter->save();
    painter->setFont(option.font);
    const int column = index.column();
    if (column == 0) {
        painter->setPen(palette.color(QPalette::Text));
        painter->drawText(r, Qt::AlignCenter, index.data().toString());
        QPen line(dark ? QColor(235, 235, 235) : QColor(185, 185, 185), 0);
        line.setCosmetic(true);
        painter->setPen(line);
        painter->drawLine(r.right() - 2, r.top(), r.right() - 2, r.bottom());
        painter->restore();
        return;
    }
    if (column == model->lastColumn()) {
        paintRowProfile(painter, r, palette, *model, index.row());
        painter->restore();
        return;
    }

    const int o = model->offsetForIndex(index);
    const int w = model->cellBytes();
    QString text = index.data().toString();
    if (text.isEmpty() && (o < 0 || o >= model->currentData().size())) {
        painter->restore();
        return; // outside the image: no text and no colour
    }
    text = fittedText(text, model->floatMode() && model->isDecimal(), painter->fontMetrics(),
                      r.width() - 4);
    const bool selected = model->isSelected(o, w);
    auto drawText = [&](const QColor &colour) {
        painter->setPen(colour);
        painter->drawText(r, Qt::AlignCenter, text);
    };
    if (model->isModified(o, w)) {
        const int cmp = model->compareWithOriginal(o, w);
        if (cmp > 0)
            painter->fillRect(r, QColor(220, 40, 40));
        else if (cmp < 0)
            painter->fillRect(r, QColor(35, 160, 70));
        if (selected) {
            QPen frame(QColor(0, 170, 255), 2);
            frame.setJoinStyle(Qt::MiterJoin);
            painter->setPen(frame);
            painter->setBrush(Qt::NoBrush);
            painter->drawRect(r.adjusted(1, 1, -1, -1));
        }
        drawText(Qt::white);
    } else if (model->isInSavedMap(o, w)) {
        painter->fillRect(r, QColor(70, 130, 220, 55));
        drawText(palette.color(QPalette::Text));
        if (selected) {
            painter->fillRect(r, SelectionFill);
            drawText(Qt::white);
        }
        if (model->activeSavedMap() >= 0 && model->savedMapAt(o, w) == model->activeSavedMap()) {
            const ActiveMapEdges e = model->activeMapEdges(o, w);
            QPen pen(QColor(220, 35, 35), 3);
            pen.setCosmetic(true);
            painter->setRenderHint(QPainter::Antialiasing, false);
            painter->setPen(pen);
            if (e.top)
                painter->drawLine(r.left(), r.top() + 1, r.right(), r.top() + 1);
            if (e.bottom)
                painter->drawLine(r.left(), r.bottom() - 1, r.right(), r.bottom() - 1);
            if (e.left)
                painter->drawLine(r.left() + 1, r.top(), r.left() + 1, r.bottom());
            if (e.right)
                painter->drawLine(r.right() - 1, r.top(), r.right() - 1, r.bottom());
        }
    } else if (selected) {
        painter->fillRect(r, SelectionFill);
        drawText(Qt::white);
    } else {
        drawText(palette.color(QPalette::Text));
        if (column % 2 == 0) {
            // A faint separator after every second cell column.
            QPen line(dark ? QColor(245, 245, 245) : QColor(225, 225, 225), 0);
            line.setCosmetic(true);
            painter->setPen(line);
            painter->drawLine(r.right(), r.top(), r.right(), r.bottom());
        }
    }
    painter->restore();
}

QWidget *
HexDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &) const
{
    auto *editor = new QLineEdit(parent);
    editor->setFrame(false);
    // The table hides its own highlight; the editor's selected text must still show.
    QPalette palette = editor->palette();
    palette.setColor(QPalette::Highlight, SelectionFill);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    editor->setPalette(palette);
    editor->setAlignment(Qt::AlignCenter);
    return editor;
}

void HexDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    if (auto *line = qobject_cast<QLineEdit *>(editor)) {
        line->setText(index.data().toString());
        line->selectAll();
    }
}

void HexDelegate::setModelData(QWidget *editor,
                               QAbstractItemModel *model,
                               const QModelIndex &index) const
{
    if (auto *line = qobject_cast<QLineEdit *>(editor))
        model->setData(index, line->text(), Qt::EditRole);
}

void HexDelegate::updateEditorGeometry(QWidget *editor,
                                       const QStyleOptionViewItem &option,
                                       const QModelIndex &) const
{
    editor->setGeometry(option.rect);
}
