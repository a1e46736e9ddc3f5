#include "hexviewer.h"

#include "hex/hexcells.h"
#include "hex/hexdelegate.h"
#include "hex/hexmodel.h"
#include "hex/hexoverview.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionSlider>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

HexViewer::HexViewer(QWidget *parent)
    : QWidget(parent)
    , m_prompts(HexPrompts::interactive())
{
    setProperty("pending2DMapOffset", -1);
    setProperty("initial2DSyncDone", false);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_table = new QTableView(this);
    m_model = new HexModel(this);
    m_delegate = new HexDelegate(this);
    m_table->setModel(m_model);
    m_table->setItemDelegate(m_delegate);
    layout->addWidget(m_table);
    setFocusProxy(m_table);

    QHeaderView *vertical = m_table->verticalHeader();
    vertical->setSectionResizeMode(QHeaderView::Fixed);
    vertical->setDefaultSectionSize(20);
    vertical->setMinimumSectionSize(20);
    vertical->hide(); // the offset column names the rows
    QHeaderView *horizontal = m_table->horizontalHeader();
    horizontal->setSectionResizeMode(QHeaderView::Fixed);
    horizontal->setStretchLastSection(false);
    horizontal->setHighlightSections(false);
    m_table->setSelectionBehavior(QAbstractItemView::SelectItems);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setShowGrid(false);
    // The table's own selection only follows clicks; what is selected is the model's, and
    // the delegate paints it. The view must not paint its stale highlight behind the cells.
    QPalette palette = m_table->palette();
    palette.setColor(QPalette::Highlight, Qt::transparent);
    m_table->setPalette(palette);
    m_table->setWordWrap(false);
    m_table->setAlternatingRowColors(false);
    m_table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    m_table->setFocusPolicy(Qt::StrongFocus);
    m_table->setContextMenuPolicy(Qt::CustomContextMenu);
    m_table->installEventFilter(this);
    m_table->viewport()->installEventFilter(this);
    m_table->verticalScrollBar()->installEventFilter(this);
    m_table->verticalScrollBar()->setMouseTracking(true);

    setDarkColorMode(qApp->property("ecuColorMode").toBool());
    m_model->setPercentMode(qApp->property("ecuPercentMode").toBool());

    // Every layout change of the model (columns, row origin, cell width, a new image) starts the
    // table over; the top row's offset and the current cell are carried across it.
    connect(m_model, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        m_resetTop = topOffset();
        m_resetCurrent = currentOffset();
    });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        applyColumnWidths();
        const QModelIndex current = m_model->indexForOffset(m_resetCurrent);
        if (current.isValid())
            m_table->selectionModel()->setCurrentIndex(current, QItemSelectionModel::NoUpdate);
        scrollToOffsetTop(m_resetTop);
        m_table->verticalScrollBar()->update();
    });
    connect(m_table->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        if (!m_quietScrolling)
            onScrolled();
    });
    connect(m_table, &QAbstractItemView::clicked, this, &HexViewer::onClicked);
    // The delegate draws no focus frame: a cursor moved with the keys shows by selecting the
    // cell it lands on, as a click does.
    connect(m_table->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) {
                if (!m_keyboardMove)
                    return;
                m_keyboardMove = false;
                const int o = pressOffset(current);
                if (o < 0)
                    return;
                m_anchorOffset = o;
                m_model->setSelection(o, std::min<qint64>(qint64(o) + m_model->cellBytes() - 1,
                                                          m_model->currentData().size() - 1));
            });
    connect(m_table, &QAbstractItemView::doubleClicked, this, &HexViewer::onDoubleClicked);
    connect(m_model, &HexModel::selectionChanged, m_table->viewport(),
            [this] { m_table->viewport()->update(); });
    connect(m_model, &HexModel::dataModified, m_table->verticalScrollBar(),
            [this] { m_table->verticalScrollBar()->update(); });
    connect(m_table, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        QMenu *menu = createContextMenu(pos);
        if (!menu)
            return;
        menu->exec(m_table->viewport()->mapToGlobal(pos));
        delete menu;
    });
    applyColumnWidths();
}

HexViewer::~HexViewer()
{
    // An in-place editor still open is committed while the table goes away; by then this
    // viewer and its owner are half destroyed and must hear nothing from the model.
    m_model->blockSignals(true);
}

void HexViewer::setFirmware(const QByteArray &bytes)
{
    m_model->setFirmware(bytes);
    m_table->verticalScrollBar()->update();
}

void HexViewer::applyColumnWidths()
{
    const QFontMetrics fm = m_table->fontMetrics();
    QString sample;
    if (m_model->floatMode())
        sample = QStringLiteral("-123456.78");
    else if (m_model->widthMode() == HexModel::Width16)
        sample = m_model->isDecimal() ? QStringLiteral("65535") : QStringLiteral("FFFF");
    else if (m_model->widthMode() == HexModel::Width32)
        sample = m_model->isDecimal() ? QStringLiteral("4294967295") : QStringLiteral("FFFFFFFF");
    else
        sample = m_model->isDecimal() ? QStringLiteral("255") : QStringLiteral("FF");
    const int cellWidth = std::max(fm.horizontalAdvance(sample) + 18, 46);
    m_table->setColumnWidth(0, fm.horizontalAdvance(QStringLiteral("00000000")) + 22);
    for (int c = 1; c <= m_model->columns(); ++c)
        m_table->setColumnWidth(c, cellWidth);
    m_table->setColumnWidth(m_model->lastColumn(), 138);
}

void HexViewer::keepViewWhile(const std::function<void()> &change)
{
    const int top = topOffset();
    const int current = currentOffset();
    // The view itself must still follow its scroll bars, so their signals stay on; only the
    // range reports to the other views are held back.
    const bool quiet = m_quietScrolling;
    m_quietScrolling = true;
    m_table->setUpdatesEnabled(false);
    change();
    applyColumnWidths();
    if (current >= 0) {
        const QModelIndex idx = m_model->indexForOffset(current);
        if (idx.isValid())
            m_table->selectionModel()->setCurrentIndex(idx, QItemSelectionModel::NoUpdate);
    }
    scrollToOffsetTop(top);
    m_table->setUpdatesEnabled(true);
    m_quietScrolling = quiet;
    m_table->viewport()->update();
}

void HexViewer::setDarkColorMode(bool dark)
{
    m_delegate->setProperty("darkColorMode", dark);
    // The area beyond the last row and column goes dark with the cells.
    QPalette palette = m_table->palette();
    palette.setColor(QPalette::Base,
                     dark ? QColor(12, 15, 18) : QApplication::palette().color(QPalette::Base));
    m_table->setPalette(palette);
    m_table->viewport()->update();
}

void HexViewer::setByteOrder(int order)
{
    m_model->setByteOrder(order);
}

void HexViewer::setDecimal(bool decimal)
{
    keepViewWhile([&] { m_model->setDecimal(decimal); });
}

void HexViewer::setWidthMode(int mode)
{
    keepViewWhile([&] { m_model->setWidthMode(mode); });
}

void HexViewer::setFloatMode(bool on)
{
    keepViewWhile([&] {
        if (on)
            m_model->setWidthMode(HexModel::Width32);
        m_model->setFloatMode(on);
    });
}

void HexViewer::setColumnCount(int columns, int keepOffset)
{
    columns = std::max(columns, 1);
    if (columns == m_model->columns())
        return;
    keepViewWhile([&] { m_model->setColumnCount(columns); });
    scrollToOffsetTop(keepOffset);
}

int HexViewer::currentOffset() const
{
    return m_model->offsetForIndex(m_table->currentIndex());
}

int HexViewer::topOffset() const
{
    if (m_model->rowCount() == 0)
        return 0;
    const QModelIndex top = m_table->indexAt(QPoint(0, 0));
    if (!top.isValid())
        return 0;
    return std::max(0, m_model->offsetForIndex(m_model->index(top.row(), 1)));
}

void HexViewer::scrollTo(int offset, QAbstractItemView::ScrollHint hint)
{
    const QModelIndex idx = m_model->indexForOffset(offset);
    if (!idx.isValid())
        return;
    // After a model reset the scroll range is only renewed by the next layout pass; scrolling
    // against the old range would stop short.
    m_table->doItemsLayout();
    m_table->scrollTo(idx, hint);
}

void HexViewer::scrollToOffsetTop(int offset)
{
    scrollTo(offset, QAbstractItemView::PositionAtTop);
}

void HexViewer::makeCurrent(int offset)
{
    const QModelIndex idx = m_model->indexForOffset(offset);
    if (idx.isValid() && m_table->currentIndex() != idx)
        m_table->selectionModel()->setCurrentIndex(idx, QItemSelectionModel::ClearAndSelect);
}

void HexViewer::goToOffset(int offset)
{
    const QModelIndex idx = m_model->indexForOffset(offset);
    if (!idx.isValid())
        return;
    const int end = std::min<qint64>(qint64(offset) + m_model->cellBytes() - 1,
                                     m_model->currentData().size() - 1);
    m_model->setSelection(offset, end);
    m_table->selectionModel()->setCurrentIndex(idx, QItemSelectionModel::ClearAndSelect);
    scrollTo(offset, QAbstractItemView::PositionAtCenter);
    m_table->viewport()->update();
    m_table->setFocus();
    emit viewOffsetChanged(offset);
}

void HexViewer::setSelectionRange(int start, int end)
{
    if (start < 0 || start > end || !m_model->indexForOffset(start).isValid())
        return;
    if (start == m_model->selectionStart() && end == m_model->selectionEnd()
        && !m_model->isBlockSelection())
        return;
    m_anchorOffset = start;
    m_model->setSelection(start, end);
    makeCurrent(start);
    m_table->viewport()->update();
}

void HexViewer::centerOnSelection()
{
    if (!m_model->hasSelection())
        return;
    const int middle
        = m_model->selectionStart() + (m_model->selectionEnd() - m_model->selectionStart()) / 2;
    scrollTo(middle, QAbstractItemView::PositionAtCenter);
}

void HexViewer::setActiveSavedMap(int mapOffset)
{
    m_model->setActiveSavedMap(mapOffset);
    const QModelIndex idx = m_model->indexForOffset(mapOffset);
    if (mapOffset >= 0 && idx.isValid()) {
        const bool quiet = m_quietScrolling;
        m_quietScrolling = true; // no range reports follow
        scrollTo(mapOffset, QAbstractItemView::PositionAtCenter);
        m_quietScrolling = quiet;
    }
    m_table->viewport()->update();
}

QByteArray HexViewer::selectedBytes() const
{
    return m_model->selectedBytes();
}

bool HexViewer::pasteBytes(const QByteArray &bytes)
{
    return m_model->writeBytesAt(m_anchorOffset, bytes);
}

void HexViewer::syncView()
{
    onScrolled();
}

void HexViewer::focusTable()
{
    m_table->setFocus();
}

void HexViewer::onScrolled()
{
    if (m_model->rowCount() == 0)
        return;
    const QModelIndex topCell = m_table->indexAt(QPoint(0, 0));
    if (!topCell.isValid())
        return;
    const qsizetype size = m_model->currentData().size();
    const int s = std::max(0, m_model->offsetForIndex(m_model->index(topCell.row(), 1)));
    const QModelIndex bottomCell = m_table->indexAt(QPoint(0, m_table->viewport()->height()));
    qint64 e = bottomCell.isValid() ? m_model->offsetForIndex(m_model->index(bottomCell.row(), 1))
                                    : qint64(s) + 16;
    e = std::min<qint64>(e + m_model->cellBytes(), size);
    emit viewOffsetChanged(s);
    emit viewRangeChanged(s, int(e));
}

int HexViewer::pressOffset(const QModelIndex &index) const
{
    if (!index.isValid() || index.column() == 0)
        return -1;
    int o = m_model->offsetForIndex(index);
    if (index.column() == m_model->lastColumn())
        o = std::max(o, 0); // the row column stands for the row's first byte
    if (o < 0 || o >= m_model->currentData().size())
        return -1;
    return o;
}

void HexViewer::onClicked(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    const int w = m_model->cellBytes();
    if (index.column() != 0) {
        const int o = pressOffset(index);
        if (o < 0)
            return;
        const int map = m_model->savedMapAt(o, w);
        m_model->setActiveSavedMap(map);
        emit activeSavedMapChanged(map);
        m_table->viewport()->update();
        m_model->setSelection(
            o, std::min<qint64>(qint64(o) + w - 1, m_model->currentData().size() - 1));
        m_anchorOffset = o;
        makeCurrent(o);
        emit viewOffsetChanged(o);
        return;
    }
    if (m_model->columns() < 1)
        return;
    // The offset column selects the whole row.
    const int s = std::max(0, m_model->offsetForIndex(m_model->index(index.row(), 1)));
    const int e = m_model->offsetForIndex(m_model->index(index.row(), m_model->columns()));
    if (s < 0 || s > e)
        return;
    m_model->setSelection(s,
                          std::min<qint64>(m_model->currentData().size() - 1, qint64(e) + w - 1));
    QItemSelection row(m_model->index(index.row(), 1),
                       m_model->index(index.row(), m_model->columns()));
    m_table->selectionModel()->select(row, QItemSelectionModel::ClearAndSelect);
    m_table->selectionModel()->setCurrentIndex(m_model->index(index.row(), 1),
                                               QItemSelectionModel::NoUpdate);
    m_table->viewport()->update();
}

void HexViewer::onDoubleClicked(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    if (index.column() == 0) {
        goToAddress(index.data().toString());
        return;
    }
    if (!m_model->isCellColumn(index.column()))
        return;
    const int map = m_model->savedMapAt(m_model->offsetForIndex(index), m_model->cellBytes());
    if (map >= 0)
        emit openSavedMapRequested(map);
}

QMenu *HexViewer::createContextMenu(const QPoint &viewportPosition)
{
    const QModelIndex index = m_table->indexAt(viewportPosition);
    int map = -1;
    if (index.isValid() && m_model->isCellColumn(index.column()))
        map = m_model->savedMapAt(m_model->offsetForIndex(index), m_model->cellBytes());
    if (!m_model->hasSelection() && map < 0)
        return nullptr;
    auto *menu = new QMenu(this);
    connect(menu->addAction(QStringLiteral("Modifica assoluta...")), &QAction::triggered, this,
            &HexViewer::absoluteEdit);
    connect(menu->addAction(QStringLiteral("Modifica in percentuale...")), &QAction::triggered,
            this, &HexViewer::percentageEdit);
    menu->addSeparator();
    connect(menu->addAction(QStringLiteral("+1")), &QAction::triggered, this, &HexViewer::plusOne);
    connect(menu->addAction(QStringLiteral("-1")), &QAction::triggered, this, &HexViewer::minusOne);
    menu->addSeparator();
    connect(menu->addAction(QStringLiteral("Valore originale")), &QAction::triggered, this,
            &HexViewer::originalValue);
    menu->addSeparator();
    QAction *remove = menu->addAction(QStringLiteral("Elimina mappa"));
    remove->setEnabled(map >= 0);
    connect(remove, &QAction::triggered, this, [this, map] { emit deleteMapRequested(map); });
    return menu;
}

void HexViewer::requestCreateMap()
{
    if (m_model->selectionStart() >= 0 && m_model->selectionStart() < m_model->selectionEnd())
        emit createMapRequested(m_model->selectionStart(), m_model->selectionEnd());
}

void HexViewer::editCurrent()
{
    const QModelIndex current = m_table->currentIndex();
    if (!current.isValid())
        return;
    if (m_model->selectionEnd() - m_model->selectionStart() < m_model->cellBytes()) {
        if (m_model->isCellColumn(current.column()))
            m_table->edit(current);
    } else
        selectionEdit();
}

void HexViewer::editCurrentWith(const QString &typed)
{
    const QModelIndex current = m_table->currentIndex();
    if (!current.isValid() || !m_model->isCellColumn(current.column())
        || !m_model->data(current).isValid())
        return;
    const int o = m_model->offsetForIndex(current);
    m_anchorOffset = o;
    m_model->setSelection(o, o + m_model->cellBytes() - 1);
    m_table->edit(current);
    if (auto *editor = qobject_cast<QLineEdit *>(m_table->indexWidget(current)))
        editor->setText(typed);
}

bool HexViewer::eventFilter(QObject *watched, QEvent *event)
{
    QScrollBar *bar = m_table->verticalScrollBar();
    if (watched == bar) {
        switch (event->type()) {
        case QEvent::Paint:
            return paintScrollBar();
        case QEvent::MouseMove: {
            const auto *me = static_cast<QMouseEvent *>(event);
            m_handleHovered = handleRect().contains(me->position().toPoint());
            bar->update();
            break;
        }
        case QEvent::Enter:
            bar->update();
            break;
        case QEvent::Leave:
            m_handleHovered = false;
            bar->update();
            break;
        default:
            break;
        }
        return QWidget::eventFilter(watched, event);
    }

    if (watched == m_table->viewport()) {
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            const auto *me = static_cast<QMouseEvent *>(event);
            if (me->button() != Qt::LeftButton)
                break;
            const int o = pressOffset(m_table->indexAt(me->position().toPoint()));
            m_keyboardMove = false;
            if (o < 0)
                break;
            m_dragging = true;
            m_anchorOffset = m_dragAnchor = m_lastDragOffset = o;
            m_model->setSelection(o, std::min<qint64>(qint64(o) + m_model->cellBytes() - 1,
                                                      m_model->currentData().size() - 1));
            emit viewOffsetChanged(o);
            break;
        }
        case QEvent::MouseMove: {
            if (!m_dragging || m_dragAnchor < 0)
                break;
            const auto *me = static_cast<QMouseEvent *>(event);
            const int o = pressOffset(m_table->indexAt(me->position().toPoint()));
            if (o < 0 || o == m_lastDragOffset)
                break;
            m_lastDragOffset = o;
            m_model->extendSelection(m_dragAnchor, o);
            break;
        }
        case QEvent::MouseButtonRelease:
            m_dragging = false;
            m_dragAnchor = -1;
            m_lastDragOffset = -1;
            break;
        default:
            break;
        }
        return QWidget::eventFilter(watched, event);
    }

    // Keys typed into an open in-place editor reach the table too when the editor leaves them
    // (Return does): they are the editor's, not commands.
    if (watched == m_table && event->type() == QEvent::KeyPress && m_table->hasFocus()) {
        const auto *ke = static_cast<QKeyEvent *>(event);
        const bool ctrl = ke->modifiers() & Qt::ControlModifier;
        if (ctrl && ke->key() == Qt::Key_Left) {
            emit rowOriginChangeRequested(-2);
            return true;
        }
        if (ctrl && ke->key() == Qt::Key_Right) {
            emit rowOriginChangeRequested(2);
            return true;
        }
        if (ke->key() == Qt::Key_K && !ctrl) {
            requestCreateMap();
            return true;
        }
        if ((ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter)
            && m_table->currentIndex().isValid()) {
            editCurrent();
            return true;
        }
        // A digit edits the cell; left to the table it would jump to a cell starting with it.
        if (HexCells::startsCellEdit(ke->text(), ke->modifiers(), m_model->isDecimal())) {
            editCurrentWith(ke->text());
            return true;
        }
        switch (ke->key()) {
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Home:
        case Qt::Key_End:
            m_keyboardMove = true; // the table moves the cursor; currentChanged follows
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

namespace {

// The style option the vertical scroll bar paints itself with, for asking where its parts lie.
QStyleOptionSlider sliderOption(QScrollBar *bar)
{
    QStyleOptionSlider opt;
    opt.initFrom(bar);
    opt.orientation = Qt::Vertical;
    opt.minimum = bar->minimum();
    opt.maximum = bar->maximum();
    opt.sliderPosition = bar->sliderPosition();
    opt.sliderValue = bar->value();
    opt.singleStep = bar->singleStep();
    opt.pageStep = bar->pageStep();
    return opt;
}

} // namespace

QRect HexViewer::handleRect() const
{
    QScrollBar *bar = m_table->verticalScrollBar();
    const QStyleOptionSlider opt = sliderOption(bar);
    const QRect slider
        = bar->style()->subControlRect(QStyle::CC_ScrollBar, &opt, QStyle::SC_ScrollBarSlider, bar);
    const int middle = slider.center().y();
    return QRect(QPoint(slider.left() + 2, middle - 4), QPoint(slider.right() - 2, middle + 3));
}

bool HexViewer::paintScrollBar()
{
    QScrollBar *bar = m_table->verticalScrollBar();
    QPainter p(bar);
    p.fillRect(bar->rect(), Qt::white);
    const QStyleOptionSlider opt = sliderOption(bar);
    QStyle *style = bar->style();
    const struct
    {
        QStyle::SubControl control;
        QStyle::PrimitiveElement arrow;
    } buttons[] = {{QStyle::SC_ScrollBarSubLine, QStyle::PE_IndicatorArrowUp},
                   {QStyle::SC_ScrollBarAddLine, QStyle::PE_IndicatorArrowDown}};
    for (const auto &b : buttons) {
        const QRect r = style->subControlRect(QStyle::CC_ScrollBar, &opt, b.control, bar);
        if (r.isEmpty())
            continue;
        p.fillRect(r, Qt::white);
        QStyleOption arrow;
        arrow.initFrom(bar);
        arrow.rect = r.adjusted(3, 3, -3, -3);
        style->drawPrimitive(b.arrow, &arrow, &p, bar);
    }
    const QRect groove
        = style->subControlRect(QStyle::CC_ScrollBar, &opt, QStyle::SC_ScrollBarGroove, bar);
    HexOverview::paintStrip(p, groove.adjusted(2, 0, -2, 0), m_model->currentData());
    if (bar->maximum() > bar->minimum()) {
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(Qt::NoPen);
        p.setBrush(m_handleHovered ? QColor(220, 45, 45) : QColor(145, 145, 145));
        p.drawRoundedRect(handleRect(), 2, 2);
    }
    return true;
}

// ---- editing commands ---------------------------------------------------------------------

void HexViewer::absoluteEdit()
{
    if (!m_model->hasSelection())
        return;
    const int w = m_model->cellBytes();
    const int maximum = w == 1 ? 255 : (w == 2 ? 65535 : 2147483647);
    const auto value = m_prompts.integer(this, QStringLiteral("Modifica assoluta"),
                                         QStringLiteral("Nuovo valore:"), 0, 0, maximum);
    if (value)
        m_model->setSelectionValue(quint32(*value));
}

void HexViewer::percentageEdit()
{
    if (!m_model->hasSelection())
        return;
    const auto percent = m_prompts.number(this, QStringLiteral("Modifica in percentuale"),
                                          QStringLiteral("Percentuale:"), 5.0, -1000.0, 1000.0, 2);
    if (!percent || !m_model->hasSelection())
        return;
    m_model->replaceSelection(HexCells::scaled(m_model->selectedBytes(), m_model->cellBytes(),
                                               m_model->effectiveByteOrder(), *percent));
}

void HexViewer::selectionEdit()
{
    if (!m_model->hasSelection())
        return;
    const auto text = m_prompts.text(this, QStringLiteral("Modifica selezione"),
                                     QStringLiteral("Nuovo valore:"), QString());
    if (!text || text->trimmed().isEmpty())
        return;
    const auto value
        = HexCells::selectionEditValue(*text, m_model->isDecimal(), m_model->cellBytes());
    if (value)
        m_model->setSelectionValue(*value);
}

void HexViewer::plusOne()
{
    const QByteArray bytes = m_model->selectedBytes();
    if (bytes.size() < m_model->cellBytes())
        return;
    m_model->replaceSelection(
        HexCells::stepped(bytes, m_model->cellBytes(), m_model->effectiveByteOrder(), 1));
}

void HexViewer::minusOne()
{
    const QByteArray bytes = m_model->selectedBytes();
    if (bytes.size() < m_model->cellBytes())
        return;
    m_model->replaceSelection(
        HexCells::stepped(bytes, m_model->cellBytes(), m_model->effectiveByteOrder(), -1));
}

void HexViewer::originalValue()
{
    const QByteArray original = m_model->selectedOriginalBytes();
    if (!original.isEmpty())
        m_model->replaceSelection(original);
}

void HexViewer::goToAddress(const QString &prefill)
{
    const QString title = QStringLiteral("Vai all'indirizzo");
    const auto text = m_prompts.text(this, title, QStringLiteral("Indirizzo:"), prefill);
    if (!text || text->trimmed().isEmpty())
        return;
    const auto address = HexCells::parseAddress(*text);
    if (!address) {
        m_prompts.warning(this, title, QStringLiteral("Indirizzo non valido."));
        return;
    }
    if (*address < 0 || *address >= m_model->currentData().size()) {
        m_prompts.warning(this, title, QStringLiteral("L'indirizzo è fuori dal firmware."));
        return;
    }
    goToOffset(*address);
}

void HexViewer::undo()
{
    m_model->undo();
}

void HexViewer::redo()
{
    m_model->redo();
}
