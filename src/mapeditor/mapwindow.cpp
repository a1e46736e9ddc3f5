#include "mapwindow.h"

#include "mapeditor/mapaddresstext.h"
#include "mapeditor/mapcellappearance.h"
#include "mapeditor/mapcelleditor.h"
#include "mapeditor/mapcellentry.h"
#include "mapeditor/mapcelltext.h"
#include "mapeditor/mapelementcodec.h"
#include "mapeditor/mapplotcanvas.h"
#include "mapeditor/mapplotpainter.h"
#include "mapeditor/mappropertiesdialog.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QComboBox>
#include <QMessageBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLocale>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <limits>

namespace {

const char *const TableStyle
    = "QTableWidget { gridline-color: #C7CDD3; background-color: #FAFBFC; color: #263238; "
      "selection-background-color: #2F80C9; selection-color: white;}"
      "QTableWidget::item { padding: 3px 6px;}"
      "QTableWidget::item:selected { background-color: #2F80C9; color: white;}"
      "QHeaderView::section:horizontal { background-color: #D8E1E8; color: #202830; "
      "font-weight: 600; padding: 5px; border: none; border-right: 1px solid #B5BEC6; "
      "border-bottom: 3px double #46515B;}"
      "QHeaderView::section:vertical { background-color: #D8E1E8; color: #202830; "
      "font-weight: 600; padding: 5px; border: none; border-bottom: 1px solid #B5BEC6; "
      "border-right: 3px double #46515B;}"
      "QTableCornerButton::section { background-color: #C9D4DD; border: none; "
      "border-right: 3px double #46515B; border-bottom: 3px double #46515B;}";

const char *const ViewButtonStyle
    = "QPushButton { background: #F2F4F6; color: #3B4650; border: 1px solid #BFC7CE; "
      "border-radius: 2px; padding: 4px 14px;}"
      "QPushButton:hover { background: #E8EDF1;}"
      "QPushButton:checked { background: #DDEAF6; color: #185A91; border: 1px solid #6FA3CF; "
      "font-weight: 600;}";

const char *const TurnButtonStyle
    = "QPushButton { background:#F2F4F6; color:#3B4650; border:1px solid #BFC7CE; "
      "border-radius:2px; font-weight:600; }"
      "QPushButton:hover { background:#DDEAF6; color:#185A91; border:1px solid #6FA3CF; }";

// The element size and byte order say more reliably than the code how an element is stored.
ValueType typeOf(int elementSize, bool littleEndian, int kind)
{
    ValueType type;
    if (elementSize == 1)
        type.organisation = Organisation8Bit;
    else if (elementSize == 4)
        type.organisation = Organisation32Bit;
    else if (elementSize == 2 && !littleEndian)
        type.organisation = Organisation16BitHiLo;
    type.littleEndian = littleEndian;
    type.kind = kind;
    return normalisedValueType(type);
}

ValueType chosenType(int choice)
{
    const QList<ValueType> &choices = valueTypeChoices();
    return choice >= 0 && choice < choices.size() ? choices.at(choice) : ValueType();
}

QList<double> decodeRun(const QByteArray &bytes, qint64 offset, qint64 count, const ValueType &type)
{
    QList<double> values;
    const int size = elementSizeOfOrganisation(type.organisation);
    const auto *data = reinterpret_cast<const uint8_t *>(bytes.constData());
    values.reserve(count);
    for (qint64 k = 0; k < count; ++k)
        values.append(decodeValue(data, bytes.size(), offset + k * size, type.organisation,
                                  type.littleEndian, type.kind));
    return values;
}

bool runFits(qint64 offset, qint64 count, int organisation, qint64 length)
{
    return offset >= 0 && count >= 1
           && offset + count * elementSizeOfOrganisation(organisation) <= length;
}

} // namespace

MapWindow::MapWindow(int rows,
                     int columns,
                     const QList<double> &xAxisValues,
                     const QList<double> &yAxisValues,
                     const QList<double> &currentValues,
                     const QList<double> &originalValues,
                     const QByteArray &firmwareBytes,
                     int mapOffset,
                     int xAxisOffset,
                     int yAxisOffset,
                     int headerOffset,
                     QWidget *parent,
                     const QString &title,
                     const std::optional<MapDefinition> &definition)
    : QWidget(parent)
    , m_mapOffset(mapOffset)
    , m_xAxisOffset(xAxisOffset)
    , m_yAxisOffset(yAxisOffset)
    , m_headerOffset(headerOffset)
    , m_xAxisValues(xAxisValues)
    , m_yAxisValues(yAxisValues)
    , m_currentValues(currentValues)
    , m_originalValues(originalValues)
    , m_firmwareBytes(firmwareBytes)
{
    if (definition) {
        m_definition = *definition;
        m_hasDefinition = true;
        m_z.factor = m_definition.factor;
        m_z.offset = m_definition.offset;
        m_z.decimals = qBound(0, m_definition.decimals, 15);
        m_xFactor = m_definition.xFactor;
        m_xOffset = m_definition.xOffsetFactor;
        m_xDecimals = qBound(0, m_definition.xDecimals, 15);
        m_yFactor = m_definition.yFactor;
        m_yOffset = m_definition.yOffsetFactor;
        m_yDecimals = qBound(0, m_definition.yDecimals, 15);
        m_committedZType
            = typeOf(m_definition.zElementSize, m_definition.littleEndian, m_definition.zValueKind);
        m_committedXType = typeOf(m_definition.xElementSize, m_definition.xLittleEndian,
                                  m_definition.xValueKind);
        m_committedYType = typeOf(m_definition.yElementSize, m_definition.yLittleEndian,
                                  m_definition.yValueKind);
        m_xAxisSource = m_definition.xAxisSource;
        m_yAxisSource = m_definition.yAxisSource;
    }
    m_zType = m_committedZType;
    // A grid no image could hold would only cost memory and time: clamp it.
    const qint64 capacity
        = qMax<qint64>(m_firmwareBytes.size(), qint64(m_currentValues.size()) * zElementSize());
    m_layout = MapCellLayout::clamped(rows, columns, m_hasDefinition && m_definition.zColumnMajor,
                                      capacity, zElementSize());

    m_title = title.trimmed();
    if (m_title.isEmpty())
        m_title = QStringLiteral("Mappa %1 x %2").arg(columns).arg(rows);
    setWindowTitle(m_title);
    resize(900, 600);

    m_askDouble = [this](const QString &t, const QString &label, double preset, double lo,
                         double hi, int decimals, double *value) {
        bool ok = false;
        const double v = QInputDialog::getDouble(this, t, label, preset, lo, hi, decimals, &ok,
                                                 Qt::WindowFlags(), 1.0);
        if (ok)
            *value = v;
        return ok;
    };
    m_askInt
        = [this](const QString &t, const QString &label, int preset, int lo, int hi, int *value) {
              bool ok = false;
              const int v = QInputDialog::getInt(this, t, label, preset, lo, hi, 1, &ok);
              if (ok)
                  *value = v;
              return ok;
          };
    m_runDialog = [](QDialog &dialog) { return dialog.exec(); };

    buildInterface();

    revertOrganisations(); // the live organisations start as the committed ones
    m_table->installEventFilter(this);
}

MapWindow::~MapWindow()
{
    // An in-place editor still open is committed when the table deletes it, after this
    // window's values are gone: its value has nowhere to go.
    if (auto *cellEditor = dynamic_cast<MapCellEditor *>(m_table->itemDelegate()))
        cellEditor->dropCommit();
}

int MapWindow::zElementSize() const
{
    return MapElementCodec::elementSize(m_zType.organisation);
}

void MapWindow::buildInterface()
{
    auto *layout = new QVBoxLayout(this);
    m_stack = new QStackedWidget(this);
    layout->addWidget(m_stack, 1);

    m_table = new QTableWidget(m_layout.rows(), m_layout.columns(), this);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setSelectionBehavior(QAbstractItemView::SelectItems);
    m_table->setContextMenuPolicy(Qt::CustomContextMenu);
    // No trigger: Enter asks with the value dialog, a typed number opens the cell's editor.
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setItemDelegate(new MapCellEditor(
        [this](int row, int column, double value) { setCellValue(row, column, value); }, m_table));
    QHeaderView *horizontal = m_table->horizontalHeader();
    QHeaderView *vertical = m_table->verticalHeader();
    horizontal->setSectionResizeMode(QHeaderView::Interactive);
    vertical->setSectionResizeMode(QHeaderView::Interactive);
    horizontal->setSectionsClickable(true);
    vertical->setSectionsClickable(true);
    horizontal->setMinimumSectionSize(55);
    horizontal->setDefaultSectionSize(72);
    vertical->setMinimumSectionSize(28);
    vertical->setDefaultSectionSize(32);
    horizontal->setFixedHeight(34);
    vertical->setFixedWidth(72);
    m_table->setTextElideMode(Qt::ElideNone);
    m_table->setShowGrid(true);
    m_table->setGridStyle(Qt::SolidLine);
    m_table->setAlternatingRowColors(false);
    m_table->setStyleSheet(QString::fromLatin1(TableStyle));

    QStringList columnLabels;
    for (int c = 0; c < m_layout.columns(); ++c)
        columnLabels.append(c < m_xAxisValues.size() ? formatRaw(m_xAxisValues.at(c))
                                                     : QStringLiteral("-"));
    QStringList rowLabels;
    for (int r = 0; r < m_layout.rows(); ++r)
        rowLabels.append(r < m_yAxisValues.size() ? formatRaw(m_yAxisValues.at(r))
                                                  : QStringLiteral("-"));
    m_table->setHorizontalHeaderLabels(columnLabels);
    m_table->setVerticalHeaderLabels(rowLabels);

    // Filling thousands of items one by one would announce each to the view.
    m_table->model()->blockSignals(true);
    for (int r = 0; r < m_layout.rows(); ++r) {
        for (int c = 0; c < m_layout.columns(); ++c) {
            const qint64 i = m_layout.index(r, c);
            auto *item = new QTableWidgetItem(i < m_currentValues.size()
                                                  ? m_z.rawText(m_currentValues.at(i))
                                                  : QStringLiteral("-"));
            item->setFlags(item->flags() | Qt::ItemIsEditable);
            recolourForeground(item, i);
            m_table->setItem(r, c, item);
        }
    }
    m_table->model()->blockSignals(false);
    m_stack->addWidget(m_table);

    m_canvas2D = new MapPlotCanvas(this);
    m_canvas2D->setPaintCallback([this](QPainter &p, const QRect &r) { paint2D(p, r); });
    m_canvas2D->setClickCallback(
        [this](const QPoint &p, Qt::KeyboardModifiers m) { click2D(p, m); });
    m_canvas2D->setRectCallback([this](const QRect &r, Qt::KeyboardModifiers m) { rect2D(r, m); });
    m_stack->addWidget(m_canvas2D);
    m_canvas3D = new MapPlotCanvas(this);
    m_canvas3D->setPaintCallback([this](QPainter &p, const QRect &r) { paint3D(p, r); });
    m_canvas3D->setClickCallback(
        [this](const QPoint &p, Qt::KeyboardModifiers m) { click3D(p, m); });
    m_canvas3D->setRectCallback([this](const QRect &r, Qt::KeyboardModifiers m) { rect3D(r, m); });
    m_stack->addWidget(m_canvas3D);
    m_stack->setCurrentIndex(0);

    layout->addWidget(buildButtonBar());

    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { repaintPlots(); });
    connect(m_table, &QWidget::customContextMenuRequested, this, &MapWindow::showTableContextMenu);
    // Values travel to and from spreadsheets and other tools as tab-separated text.
    const auto addShortcut = [this](const QKeySequence &keys, const QString &name, auto slot) {
        auto *action = new QAction(this);
        action->setObjectName(name);
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(action, &QAction::triggered, this, slot);
        m_table->addAction(action);
    };
    addShortcut(QKeySequence::Copy, QStringLiteral("mapCopyAction"),
                [this] { copySelection(false); });
    addShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C),
                QStringLiteral("mapCopyWithAxesAction"), [this] { copySelection(true); });
    addShortcut(QKeySequence::Paste, QStringLiteral("mapPasteAction"),
                [this] { pasteFromClipboard(); });
    connect(m_table, &QTableWidget::cellDoubleClicked, this, [this](int, int) {
        m_propertiesStartTab = 0;
        openPropertiesDialog();
    });
    connect(horizontal, &QHeaderView::sectionDoubleClicked, this, [this](int) {
        m_propertiesStartTab = 1;
        openPropertiesDialog();
    });
    connect(vertical, &QHeaderView::sectionDoubleClicked, this, [this](int) {
        m_propertiesStartTab = 2;
        openPropertiesDialog();
    });
}

QWidget *MapWindow::buildButtonBar()
{
    auto *bar = new QWidget(this);
    auto *row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 4, 0, 0);
    row->setSpacing(6);
    m_viewButtons = new QButtonGroup(this);
    m_viewButtons->setExclusive(true);
    const QStringList views = {QStringLiteral("Text"), QStringLiteral("2D"), QStringLiteral("3D")};
    for (int id = 0; id < views.size(); ++id) {
        auto *button = new QPushButton(views.at(id), bar);
        button->setCheckable(true);
        button->setMinimumWidth(96);
        button->setFixedHeight(30);
        button->setStyleSheet(QString::fromLatin1(ViewButtonStyle));
        m_viewButtons->addButton(button, id);
        row->addWidget(button);
    }
    m_viewButtons->button(0)->setChecked(true);
    connect(m_viewButtons, &QButtonGroup::idClicked, m_stack, &QStackedWidget::setCurrentIndex);

    const struct
    {
        QString text;
        void (MapWindow::*turn)();
    } turns[] = {{QStringLiteral("◀"), &MapWindow::rotateLeft},
                 {QStringLiteral("▶"), &MapWindow::rotateRight},
                 {QStringLiteral("▲"), &MapWindow::tiltUp},
                 {QStringLiteral("▼"), &MapWindow::tiltDown},
                 {QStringLiteral("R"), &MapWindow::resetView}};
    for (const auto &t : turns) {
        auto *button = new QPushButton(t.text, bar);
        button->setFixedSize(34, 30);
        button->setToolTip(QStringLiteral("Vista 3D"));
        button->setStyleSheet(QString::fromLatin1(TurnButtonStyle));
        connect(button, &QPushButton::clicked, this, t.turn);
        row->addWidget(button);
    }
    row->addStretch(1);
    // Shown once a comparison gives the map another side.
    m_otherViewBox = new QComboBox(bar);
    m_otherViewBox->setObjectName(QStringLiteral("otherSideViewBox"));
    m_otherViewBox->addItems({QStringLiteral("Solo valori"), QStringLiteral("Altro lato"),
                              QStringLiteral("Differenza"), QStringLiteral("Differenza %")});
    m_otherViewBox->setVisible(false);
    connect(m_otherViewBox, &QComboBox::currentIndexChanged, this,
            [this](int index) { setOtherSideView(MapCellAppearance::OtherSideView(index)); });
    row->addWidget(m_otherViewBox);
    auto *takeOther = new QPushButton(QStringLiteral("Copia altro lato"), bar);
    takeOther->setObjectName(QStringLiteral("copyOtherSideButton"));
    takeOther->setFixedHeight(30);
    takeOther->setVisible(false);
    connect(takeOther, &QPushButton::clicked, this, &MapWindow::copyOtherSideValues);
    row->addWidget(takeOther);
    return bar;
}

void MapWindow::rotateLeft()
{
    m_rotation = (m_rotation + 3) % 4;
    after3DButton();
}

void MapWindow::rotateRight()
{
    m_rotation = (m_rotation + 1) % 4;
    after3DButton();
}

void MapWindow::tiltUp()
{
    m_tilt = qMin(m_tilt + 1, 3);
    after3DButton();
}

void MapWindow::tiltDown()
{
    m_tilt = qMax(m_tilt - 1, -3);
    after3DButton();
}

void MapWindow::resetView()
{
    m_rotation = 0;
    m_tilt = 0;
    after3DButton();
}

void MapWindow::after3DButton()
{
    m_stack->setCurrentIndex(2);
    m_viewButtons->button(2)->setChecked(true);
    repaintPlots();
}

void MapWindow::repaintPlots()
{
    m_canvas2D->update();
    m_canvas3D->update();
}

void MapWindow::reloadZ()
{
    const qint64 count = m_layout.cellCount();
    if (m_mapOffset < 0 || m_layout.rows() < 1 || m_layout.columns() < 1
        || !runFits(m_mapOffset, count, m_zType.organisation, m_firmwareBytes.size()))
        return;
    m_currentValues = decodeRun(m_firmwareBytes, m_mapOffset, count, m_zType);
    refreshTable();
    repaintPlots();
}

void MapWindow::reloadXAxis()
{
    // An index axis stays one, whatever address the definition still carries.
    if (m_xAxisSource == 0 || m_xAxisOffset < 0 || m_layout.columns() < 1
        || !runFits(m_xAxisOffset, m_layout.columns(), m_xType.organisation,
                    m_firmwareBytes.size())) {
        if (m_xAxisSource == 0 && m_xAxisValues.isEmpty())
            useIndexXAxis();
        return;
    }
    m_xAxisValues = decodeRun(m_firmwareBytes, m_xAxisOffset, m_layout.columns(), m_xType);
    labelXAxis();
    repaintPlots();
}

void MapWindow::reloadYAxis()
{
    if (m_yAxisSource == 0 || m_yAxisOffset < 0 || m_layout.rows() < 1
        || !runFits(m_yAxisOffset, m_layout.rows(), m_yType.organisation, m_firmwareBytes.size())) {
        if (m_yAxisSource == 0 && m_yAxisValues.isEmpty())
            useIndexYAxis();
        return;
    }
    m_yAxisValues = decodeRun(m_firmwareBytes, m_yAxisOffset, m_layout.rows(), m_yType);
    labelYAxis();
    repaintPlots();
}

void MapWindow::labelXAxis()
{
    QStringList labels;
    for (int c = 0; c < m_layout.columns(); ++c)
        labels.append(c < m_xAxisValues.size()
                          ? formatPhysical(m_xAxisValues.at(c) * m_xFactor + m_xOffset, m_xDecimals)
                          : QStringLiteral("-"));
    m_table->setHorizontalHeaderLabels(labels);
}

void MapWindow::labelYAxis()
{
    QStringList labels;
    for (int r = 0; r < m_layout.rows(); ++r)
        labels.append(r < m_yAxisValues.size()
                          ? formatPhysical(m_yAxisValues.at(r) * m_yFactor + m_yOffset, m_yDecimals)
                          : QStringLiteral("-"));
    m_table->setVerticalHeaderLabels(labels);
}

void MapWindow::useIndexXAxis()
{
    m_xAxisValues.clear();
    QStringList labels;
    for (int c = 0; c < m_layout.columns(); ++c) {
        m_xAxisValues.append(double(c + 1));
        labels.append(QString::number(c + 1));
    }
    m_table->setHorizontalHeaderLabels(labels);
    m_xAxisSource = 0;
    repaintPlots();
}

void MapWindow::useIndexYAxis()
{
    m_yAxisValues.clear();
    QStringList labels;
    for (int r = 0; r < m_layout.rows(); ++r) {
        m_yAxisValues.append(double(r + 1));
        labels.append(QString::number(r + 1));
    }
    m_table->setVerticalHeaderLabels(labels);
    m_yAxisSource = 0;
    repaintPlots();
}

void MapWindow::setLiveZType(int choice)
{
    m_zType = chosenType(choice);
    reloadZ();
}

void MapWindow::setLiveXType(int choice)
{
    m_xType = chosenType(choice);
    reloadXAxis();
}

void MapWindow::setLiveYType(int choice)
{
    m_yType = chosenType(choice);
    reloadYAxis();
}

void MapWindow::revertOrganisations()
{
    m_zType = m_committedZType;
    m_xType = m_committedXType;
    m_yType = m_committedYType;
    reloadZ();
    reloadXAxis();
    reloadYAxis();
}

void MapWindow::chooseAxisSource(bool xAxis, int source)
{
    if (source == 0) {
        if (xAxis)
            useIndexXAxis();
        else
            useIndexYAxis();
    } else if (xAxis) {
        m_xAxisSource = 1;
        reloadXAxis();
    } else {
        m_yAxisSource = 1;
        reloadYAxis();
    }
    if (!m_hasDefinition)
        return;
    if (xAxis) {
        m_definition.xAxisSource = m_xAxisSource;
        m_definition.xAxis = m_xAxisValues;
    } else {
        m_definition.yAxisSource = m_yAxisSource;
        m_definition.yAxis = m_yAxisValues;
    }
    emit mapDefinitionChanged(m_definition);
}

void MapWindow::requestAxisFromCursor(bool xAxis)
{
    if (xAxis)
        emit xAxisCursorRequested();
    else
        emit yAxisCursorRequested();
}

void MapWindow::setAxisAddressFields(QLineEdit *xField, QLineEdit *yField)
{
    m_xAddressField = xField;
    m_yAddressField = yField;
}

MapProperties MapWindow::properties() const
{
    MapProperties p;
    p.name = m_title;
    p.hasDefinition = m_hasDefinition;
    if (m_hasDefinition) {
        p.description = m_definition.description;
        p.unit = m_definition.unit;
        p.compuMethod = m_definition.compuMethod;
        p.comment = m_definition.comment;
        p.sourceKind = m_definition.sourceKind;
        p.x.name = m_definition.xAxisName;
        p.x.unit = m_definition.xUnit;
        p.x.compuMethod = m_definition.xCompuMethod;
        p.y.name = m_definition.yAxisName;
        p.y.unit = m_definition.yUnit;
        p.y.compuMethod = m_definition.yCompuMethod;
    }
    p.mapOffset = m_mapOffset;
    p.rows = rows();
    p.columns = columns();
    p.zType = m_committedZType;
    p.z = m_z;
    p.x.source = m_xAxisSource;
    p.x.address = m_xAxisOffset;
    p.x.type = m_committedXType;
    p.x.factor = m_xFactor;
    p.x.offset = m_xOffset;
    p.x.decimals = m_xDecimals;
    p.y.source = m_yAxisSource;
    p.y.address = m_yAxisOffset;
    p.y.type = m_committedYType;
    p.y.factor = m_yFactor;
    p.y.offset = m_yOffset;
    p.y.decimals = m_yDecimals;
    return p;
}

void MapWindow::applyProperties(const MapProperties &p)
{
    const QString name = p.name.trimmed();
    if (!name.isEmpty()) {
        m_title = name;
        setWindowTitle(name);
        if (m_hasDefinition)
            m_definition.name = name;
        emit mapNameChanged(m_mapOffset, name);
    }

    if (normalisedValueType(p.zType) != m_zType)
        setLiveZType(valueTypeChoice(p.zType));
    if (normalisedValueType(p.x.type) != m_xType)
        setLiveXType(valueTypeChoice(p.x.type));
    if (normalisedValueType(p.y.type) != m_yType)
        setLiveYType(valueTypeChoice(p.y.type));
    m_committedZType = m_zType;
    m_committedXType = m_xType;
    m_committedYType = m_yType;

    m_xAxisSource = p.x.source == 0 ? 0 : 1;
    m_yAxisSource = p.y.source == 0 ? 0 : 1;

    m_z.factor = p.z.factor;
    m_z.offset = p.z.offset;
    m_z.reciprocal = p.z.reciprocal;
    m_z.decimals = p.z.decimals;
    m_xFactor = p.x.factor;
    m_xOffset = p.x.offset;
    m_xDecimals = p.x.decimals;
    m_yFactor = p.y.factor;
    m_yOffset = p.y.offset;
    m_yDecimals = p.y.decimals;

    if (m_xAxisSource == 1 && p.x.address >= 0 && p.x.address != m_xAxisOffset) {
        m_xAxisOffset = p.x.address;
        reloadXAxis();
    }
    if (m_yAxisSource == 1 && p.y.address >= 0 && p.y.address != m_yAxisOffset) {
        m_yAxisOffset = p.y.address;
        reloadYAxis();
    }

    const bool blocked = m_table->blockSignals(true);
    if (m_hasDefinition) {
        MapDefinition &d = m_definition;
        setZValueType(d, m_committedZType);
        // The axes' types are kept too, or the next opening would forget them.
        setXValueType(d, m_committedXType);
        setYValueType(d, m_committedYType);
        d.factor = m_z.factor;
        d.offset = m_z.offset;
        d.decimals = m_z.decimals;
        d.xAxisName = p.x.name.trimmed();
        d.xUnit = p.x.unit.trimmed();
        d.xFactor = m_xFactor;
        d.xOffsetFactor = m_xOffset;
        d.xDecimals = m_xDecimals;
        d.yAxisName = p.y.name.trimmed();
        d.yUnit = p.y.unit.trimmed();
        d.yFactor = m_yFactor;
        d.yOffsetFactor = m_yOffset;
        d.yDecimals = m_yDecimals;
        d.xAxisOffset = m_xAxisOffset;
        d.yAxisOffset = m_yAxisOffset;
        d.xAxisSource = m_xAxisSource;
        d.yAxisSource = m_yAxisSource;
        d.xAxis = m_xAxisValues;
        d.yAxis = m_yAxisValues;
        d.name = m_title;
        d.description = p.description.trimmed();
        d.unit = p.unit.trimmed();
        d.comment = p.comment.trimmed();
        emit mapDefinitionChanged(d);
    }
    refreshTable();
    if (m_xAxisSource == 1)
        labelXAxis();
    if (m_yAxisSource == 1)
        labelYAxis();
    repaintPlots();
    m_table->blockSignals(blocked);
}

void MapWindow::setXAxisOffset(int offset)
{
    if (offset < 0)
        return;
    m_xAxisOffset = offset;
    m_xAxisSource = 1;
    if (m_xAddressField)
        m_xAddressField->setText(MapAddressText::address(offset));
    reloadXAxis();
    if (m_hasDefinition) {
        m_definition.xAxisSource = 1;
        m_definition.xAxisOffset = offset;
        m_definition.xAxis = m_xAxisValues;
        emit mapDefinitionChanged(m_definition);
    }
}

void MapWindow::setYAxisOffset(int offset)
{
    if (offset < 0)
        return;
    m_yAxisOffset = offset;
    m_yAxisSource = 1;
    if (m_yAddressField)
        m_yAddressField->setText(MapAddressText::address(offset));
    reloadYAxis();
    if (m_hasDefinition) {
        m_definition.yAxisSource = 1;
        m_definition.yAxisOffset = offset;
        m_definition.yAxis = m_yAxisValues;
        emit mapDefinitionChanged(m_definition);
    }
}

void MapWindow::setShowOriginal(bool on)
{
    if (m_showOriginal == on)
        return;
    m_showOriginal = on;
    refreshTable();
    repaintPlots();
}

void MapWindow::setPercentMode(bool on)
{
    if (m_percentMode == on)
        return;
    m_percentMode = on;
    refreshTable();
}

void MapWindow::setColorMode(bool on)
{
    if (m_colorMode == on)
        return;
    m_colorMode = on;
    refreshTable();
}

void MapWindow::recolourForeground(QTableWidgetItem *item, qint64 index)
{
    if (index < 0 || index >= m_originalValues.size() || index >= m_currentValues.size()) {
        if (item->data(Qt::ForegroundRole).isValid())
            item->setData(Qt::ForegroundRole, QVariant());
        return;
    }
    switch (
        MapCellAppearance::changeDirection(m_currentValues.at(index), m_originalValues.at(index))) {
    case 1:
        item->setForeground(Qt::red);
        break;
    case -1:
        item->setForeground(Qt::darkGreen);
        break;
    default:
        if (item->data(Qt::ForegroundRole).isValid())
            item->setData(Qt::ForegroundRole, QVariant());
        break;
    }
}

void MapWindow::refreshTable()
{
    const QList<double> &source = m_showOriginal ? m_originalValues : m_currentValues;
    double minimum = 0;
    double maximum = 0;
    if (m_colorMode && !source.isEmpty()) {
        minimum = maximum = source.constFirst();
        for (double v : source) {
            minimum = qMin(minimum, v);
            maximum = qMax(maximum, v);
        }
    }
    const bool tableBlocked = m_table->blockSignals(true);
    // Per-item change notices would repaint the view thousands of times; one repaint after.
    QAbstractItemModel *model = m_table->model();
    const bool modelBlocked = model->blockSignals(true);
    for (int r = 0; r < m_layout.rows(); ++r) {
        for (int c = 0; c < m_layout.columns(); ++c) {
            const qint64 i = m_layout.index(r, c);
            QTableWidgetItem *item = m_table->item(r, c);
            if (i >= m_currentValues.size() || !item || i >= source.size())
                continue;
            QString text;
            if (!m_percentMode || i >= m_originalValues.size())
                text = m_z.rawText(source.at(i));
            else
                text = MapCellAppearance::percentText(m_z.toPhysical(m_currentValues.at(i)),
                                                      m_z.toPhysical(m_originalValues.at(i)));
            if (m_otherView != MapCellAppearance::OtherSideView::None && i < m_otherValues.size())
                text += u' '
                        + MapCellAppearance::otherSideText(m_otherView,
                                                           m_z.toPhysical(source.at(i)),
                                                           m_z.toPhysical(m_otherValues.at(i)),
                                                           m_z.decimals);
            item->setText(text);
            const double hue
                = m_colorMode ? MapCellAppearance::heatHue(source.at(i), minimum, maximum) : -1.0;
            if (hue >= 0.0)
                item->setBackground(QColor::fromHsvF(float(hue), MapCellAppearance::HeatSaturation,
                                                     MapCellAppearance::HeatValue,
                                                     MapCellAppearance::HeatAlpha));
            else if (item->data(Qt::BackgroundRole).isValid())
                item->setData(Qt::BackgroundRole, QVariant());
            recolourForeground(item, i);
        }
    }
    model->blockSignals(modelBlocked);
    m_table->blockSignals(tableBlocked);
    m_table->viewport()->update();
}

bool MapWindow::eventFilter(QObject *watched, QEvent *event)
{
    // Keys an open in-place editor leaves (Return does) reach the table too: they are the
    // editor's, not commands.
    if (watched == m_table && event->type() == QEvent::KeyPress
        && !m_table->indexWidget(m_table->currentIndex())) {
        const auto *ke = static_cast<QKeyEvent *>(event);
        if (ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter) {
            editCurrentCell();
            return true;
        }
        // A number edits the cell; left to the table it would jump to a cell starting with it.
        if (MapCellEntry::startsEntry(ke->text(), ke->modifiers())) {
            typeIntoCurrentCell(ke->text());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MapWindow::editCurrentCell()
{
    const int row = m_table->currentRow();
    const int column = m_table->currentColumn();
    const qint64 i = m_layout.index(row, column);
    if (i < 0 || i >= m_currentValues.size())
        return;
    // The type's whole range, and at least the +-1000000 the dialog always offered.
    const double low = m_z.toPhysical(minimumRaw(m_zType.organisation, m_zType.kind));
    const double high = m_z.toPhysical(maximumRaw(m_zType.organisation, m_zType.kind));
    double value = 0.0;
    if (!m_askDouble(QStringLiteral("Modifica valore"), QStringLiteral("Nuovo valore:"),
                     m_z.toPhysical(m_currentValues.at(i)), std::min({-1000000.0, low, high}),
                     std::max({1000000.0, low, high}), m_z.decimals, &value))
        return;
    setCellValue(row, column, value);
}

void MapWindow::typeIntoCurrentCell(const QString &typed)
{
    const int row = m_table->currentRow();
    const int column = m_table->currentColumn();
    const qint64 i = m_layout.index(row, column);
    if (i < 0 || i >= m_currentValues.size())
        return;
    const QModelIndex index = m_table->model()->index(row, column);
    m_table->edit(index);
    if (auto *editor = qobject_cast<QLineEdit *>(m_table->indexWidget(index)))
        editor->setText(typed);
}

void MapWindow::syncWithImage()
{
    if (!m_imageSource)
        return;
    const QByteArray image = m_imageSource();
    if (image.isEmpty() || image == m_firmwareBytes)
        return;
    m_firmwareBytes = image;
    reloadZ();
    reloadXAxis();
    reloadYAxis();
}

bool MapWindow::setCellValue(int row, int column, double physical)
{
    syncWithImage();
    const qint64 i = m_layout.index(row, column);
    if (i < 0 || i >= m_currentValues.size())
        return false;
    m_currentValues[i] = m_z.toRaw(physical, m_zType);
    emitValue(i);
    refreshTable();
    repaintPlots();
    return true;
}

QList<qint64> MapWindow::selectedIndices() const
{
    QList<qint64> indices;
    const QModelIndexList selected = m_table->selectionModel()->selectedIndexes();
    for (const QModelIndex &index : selected) {
        const qint64 i = m_layout.index(index.row(), index.column());
        if (i >= 0 && i < m_currentValues.size())
            indices.append(i);
    }
    return indices;
}

void MapWindow::applyAbsoluteValue(double raw)
{
    syncWithImage();
    const QList<qint64> indices = selectedIndices();
    if (indices.isEmpty())
        return;
    const double value = clampRaw(raw, m_zType.organisation, m_zType.kind);
    for (qint64 i : indices)
        m_currentValues[i] = value;
    refreshTable();
    repaintPlots();
    emitBlock(indices);
}

void MapWindow::applyPercentChange(double percent)
{
    syncWithImage();
    const QList<qint64> indices = selectedIndices();
    if (indices.isEmpty())
        return;
    for (qint64 i : indices) {
        const double v = m_z.toPhysical(m_currentValues.at(i));
        m_currentValues[i] = m_z.toRaw((percent / 100.0 + 1.0) * v, m_zType);
    }
    refreshTable();
    repaintPlots();
    emitBlock(indices);
}

void MapWindow::stepSelection(int delta)
{
    syncWithImage();
    const QList<qint64> indices = selectedIndices();
    if (indices.isEmpty())
        return;
    for (qint64 i : indices)
        m_currentValues[i] = MapElementCodec::stepped(m_currentValues.at(i), delta, m_zType);
    refreshTable();
    repaintPlots();
    emitBlock(indices);
}

void MapWindow::restoreOriginalSelection()
{
    syncWithImage();
    const QList<qint64> indices = selectedIndices();
    for (qint64 i : indices) {
        if (i >= m_originalValues.size())
            continue;
        m_currentValues[i] = m_originalValues.at(i);
        emitValue(i);
    }
    refreshTable();
    repaintPlots();
}

void MapWindow::askAbsoluteValue()
{
    const double low = minimumRaw(m_zType.organisation, m_zType.kind);
    const double high = maximumRaw(m_zType.organisation, m_zType.kind);
    const QString title = QStringLiteral("Modifica assoluta");
    const QString label = QStringLiteral("Nuovo valore:");
    // A raw value that an int cannot hold (unsigned 32-bit, float) is asked as a double.
    if (m_zType.kind != ValueFloat && high <= std::numeric_limits<int>::max()) {
        int value = 0;
        if (m_askInt(title, label, 0, int(low), int(high), &value))
            applyAbsoluteValue(value);
        return;
    }
    double value = 0.0;
    if (m_askDouble(title, label, 0.0, low, high, m_zType.kind == ValueFloat ? 6 : 0, &value))
        applyAbsoluteValue(value);
}

void MapWindow::askPercentChange()
{
    double value = 0.0;
    if (m_askDouble(QStringLiteral("Modifica in percentuale"), QStringLiteral("Percentuale:"), 5.0,
                    -1000.0, 1000.0, 2, &value))
        applyPercentChange(value);
}

void MapWindow::showTableContextMenu(const QPoint &position)
{
    if (m_table->selectedItems().isEmpty())
        return;
    QMenu menu(this);
    menu.addAction(QStringLiteral("Modifica assoluta..."), this, &MapWindow::askAbsoluteValue);
    menu.addAction(QStringLiteral("Modifica in percentuale..."), this,
                   &MapWindow::askPercentChange);
    menu.addSeparator();
    menu.addAction(QStringLiteral("+1"), this, [this] { stepSelection(1); });
    menu.addAction(QStringLiteral("-1"), this, [this] { stepSelection(-1); });
    menu.addSeparator();
    menu.addAction(QStringLiteral("Valore originale"), this, &MapWindow::restoreOriginalSelection);
    menu.addSeparator();
    menu.addAction(QStringLiteral("Copia\tCtrl+C"), this, [this] { copySelection(false); });
    menu.addAction(QStringLiteral("Copia con assi\tCtrl+Shift+C"), this,
                   [this] { copySelection(true); });
    menu.addAction(QStringLiteral("Incolla\tCtrl+V"), this, &MapWindow::pasteFromClipboard);
    menu.exec(m_table->viewport()->mapToGlobal(position));
}

void MapWindow::setOtherSide(const QList<double> &rawValues, const QString &name)
{
    m_otherValues = rawValues.size() == m_currentValues.size() ? rawValues : QList<double>();
    m_otherName = name;
    const bool shown = !m_otherValues.isEmpty();
    m_otherViewBox->setVisible(shown);
    m_otherViewBox->setToolTip(QStringLiteral("Confronto con %1").arg(name));
    if (auto *button = findChild<QPushButton *>(QStringLiteral("copyOtherSideButton"))) {
        button->setVisible(shown);
        button->setToolTip(
            QStringLiteral("Scrive nella selezione (o in tutta la mappa) i valori di %1").arg(name));
    }
    if (!shown)
        setOtherSideView(MapCellAppearance::OtherSideView::None);
    refreshTable();
}

void MapWindow::setOtherSideView(MapCellAppearance::OtherSideView view)
{
    m_otherView = m_otherValues.isEmpty() ? MapCellAppearance::OtherSideView::None : view;
    const bool blocked = m_otherViewBox->blockSignals(true);
    m_otherViewBox->setCurrentIndex(int(m_otherView));
    m_otherViewBox->blockSignals(blocked);
    refreshTable();
    m_table->resizeColumnsToContents();
}

void MapWindow::copyOtherSideValues()
{
    if (m_otherValues.isEmpty())
        return;
    syncWithImage();
    QList<qint64> indices = selectedIndices();
    if (indices.isEmpty())
        for (qint64 i = 0; i < m_currentValues.size(); ++i)
            indices.append(i);
    for (qint64 i : indices)
        m_currentValues[i] = m_otherValues.at(i);
    refreshTable();
    repaintPlots();
    emitBlock(indices);
}

QString MapWindow::selectionText(bool withAxes) const
{
    const QModelIndexList selected = m_table->selectionModel()->selectedIndexes();
    if (selected.isEmpty())
        return {};
    int top = INT_MAX, left = INT_MAX, bottom = -1, right = -1;
    for (const QModelIndex &index : selected) {
        top = qMin(top, index.row());
        left = qMin(left, index.column());
        bottom = qMax(bottom, index.row());
        right = qMax(right, index.column());
    }
    const QList<double> &source = m_showOriginal ? m_originalValues : m_currentValues;
    const auto headerText = [](const QTableWidgetItem *item) {
        return item ? item->text() : QString();
    };
    QList<QStringList> rows;
    QStringList xTexts, yTexts;
    for (int c = left; c <= right; ++c)
        xTexts.append(headerText(m_table->horizontalHeaderItem(c)));
    for (int r = top; r <= bottom; ++r) {
        QStringList cells;
        for (int c = left; c <= right; ++c) {
            const qint64 i = m_layout.index(r, c);
            cells.append(i >= 0 && i < source.size() ? m_z.rawText(source.at(i)) : QString());
        }
        rows.append(cells);
        yTexts.append(headerText(m_table->verticalHeaderItem(r)));
    }
    return withAxes ? MapCellText::format(rows, xTexts, yTexts) : MapCellText::format(rows);
}

void MapWindow::copySelection(bool withAxes)
{
    const QString text = selectionText(withAxes);
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text);
}

void MapWindow::pasteFromClipboard()
{
    pasteText(QApplication::clipboard()->text());
}

bool MapWindow::pasteText(const QString &text)
{
    const auto refuse = [this](const QString &error) {
        QMessageBox::warning(this, QStringLiteral("Incolla"), error);
        return false;
    };
    if (!m_hasDefinition || m_currentValues.isEmpty())
        return refuse(QStringLiteral("Incolla: la mappa non ha valori."));
    syncWithImage();
    const qint64 cells = qint64(m_layout.rows()) * m_layout.columns();
    const MapCellText::Grid grid
        = MapCellText::parse(text, int(qMin<qint64>(cells, std::numeric_limits<int>::max())));
    if (!grid.error.isEmpty())
        return refuse(grid.error);
    const QModelIndexList selected = m_table->selectionModel()->selectedIndexes();
    QModelIndex current = m_table->currentIndex();
    if (!current.isValid() && !selected.isEmpty())
        current = selected.first();
    int top = current.isValid() ? current.row() : 0;
    int left = current.isValid() ? current.column() : 0;
    int bottom = top, right = left;
    if (selected.size() > 1) {
        top = left = INT_MAX;
        bottom = right = -1;
        for (const QModelIndex &index : selected) {
            top = qMin(top, index.row());
            left = qMin(left, index.column());
            bottom = qMax(bottom, index.row());
            right = qMax(right, index.column());
        }
    }
    const MapCellText::Placement place
        = MapCellText::place(grid, m_layout.rows(), m_layout.columns(), top, left,
                             bottom - top + 1, right - left + 1, int(selected.size()));
    if (!place.error.isEmpty())
        return refuse(place.error);
    QList<qint64> indices;
    QList<double> raws;
    for (int r = 0; r < place.rows; ++r) {
        for (int c = 0; c < place.columns; ++c) {
            const double physical = place.repeat ? grid.rows.at(0).at(0) : grid.rows.at(r).at(c);
            double raw = 0.0;
            if (!MapCellText::pastedRaw(physical, m_z, m_zType, &raw))
                return refuse(QStringLiteral("Incolla: il valore %1 non entra nel tipo della "
                                             "mappa (%2).")
                                  .arg(QLocale(QLocale::Italian).toString(physical),
                                       valueTypeLabel(m_zType.organisation,
                                                      m_zType.littleEndian, m_zType.kind)));
            const qint64 i = m_layout.index(place.row + r, place.column + c);
            if (i < 0 || i >= m_currentValues.size())
                return refuse(QStringLiteral("Incolla: la cella %1, %2 non ha valore.")
                                  .arg(place.row + r + 1)
                                  .arg(place.column + c + 1));
            indices.append(i);
            raws.append(raw);
        }
    }
    for (qsizetype k = 0; k < indices.size(); ++k)
        m_currentValues[indices.at(k)] = raws.at(k);
    // What was pasted stays selected, so that it can be seen and edited further.
    const QModelIndex first = m_table->model()->index(place.row, place.column);
    m_table->selectionModel()->select(
        QItemSelection(first, m_table->model()->index(place.row + place.rows - 1,
                                                      place.column + place.columns - 1)),
        QItemSelectionModel::ClearAndSelect);
    m_table->selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
    refreshTable();
    repaintPlots();
    emitBlock(indices);
    return true;
}

void MapWindow::rememberWrite(int offset, const QByteArray &bytes)
{
    if (offset < 0 || qint64(offset) + bytes.size() > m_firmwareBytes.size())
        return;
    std::copy(bytes.cbegin(), bytes.cend(), m_firmwareBytes.begin() + offset);
}

void MapWindow::emitValue(qint64 index)
{
    if (m_mapOffset < 0 || index < 0 || index >= m_currentValues.size())
        return;
    const qint64 offset = m_mapOffset + index * zElementSize();
    if (offset > std::numeric_limits<int>::max())
        return;
    const double raw = m_currentValues.at(index);
    rememberWrite(int(offset), MapElementCodec::encode(raw, m_zType));
    emit mapValueChanged(int(offset), raw);
}

void MapWindow::emitBlock(const QList<qint64> &indices)
{
    const MapElementCodec::Block block
        = MapElementCodec::buildBlock(indices, m_currentValues, m_mapOffset, m_zType);
    if (block.isEmpty())
        return;
    rememberWrite(block.startOffset, block.data);
    emit mapBlockChanged(block.startOffset, block.data);
}

void MapWindow::selectCell(int row, int column, Qt::KeyboardModifiers modifiers)
{
    if (row < 0 || column < 0 || row >= m_table->rowCount() || column >= m_table->columnCount()
        || !m_table->item(row, column))
        return;
    QItemSelectionModel *selection = m_table->selectionModel();
    const QModelIndex clicked = m_table->model()->index(row, column);
    const QModelIndex current = selection->currentIndex();
    if ((modifiers & Qt::ShiftModifier) && current.isValid()) {
        if (!(modifiers & Qt::ControlModifier))
            selection->clearSelection();
        const QModelIndex topLeft
            = m_table->model()->index(qMin(current.row(), row), qMin(current.column(), column));
        const QModelIndex bottomRight
            = m_table->model()->index(qMax(current.row(), row), qMax(current.column(), column));
        selection->select(QItemSelection(topLeft, bottomRight), QItemSelectionModel::Select);
    } else if (modifiers & Qt::ControlModifier) {
        selection->select(clicked, QItemSelectionModel::Toggle);
    } else {
        selection->select(clicked, QItemSelectionModel::ClearAndSelect);
    }
    selection->setCurrentIndex(clicked, QItemSelectionModel::NoUpdate);
    repaintPlots();
}

void MapWindow::selectCells(const QList<QPoint> &cells, Qt::KeyboardModifiers modifiers)
{
    if (cells.isEmpty())
        return;
    QItemSelectionModel *selection = m_table->selectionModel();
    QItemSelection chosen;
    QModelIndex last;
    for (const QPoint &cell : cells) {
        // x is the column, y the row.
        const QModelIndex index = m_table->model()->index(cell.y(), cell.x());
        if (!index.isValid())
            continue;
        chosen.select(index, index);
        last = index;
    }
    if (!last.isValid())
        return;
    const bool keep = modifiers & (Qt::ShiftModifier | Qt::ControlModifier);
    selection->select(chosen,
                      keep ? QItemSelectionModel::Select : QItemSelectionModel::ClearAndSelect);
    selection->setCurrentIndex(last, QItemSelectionModel::NoUpdate);
    repaintPlots();
}

QString MapWindow::legend() const
{
    QString text = QStringLiteral("X");
    if (!m_hasDefinition)
        return text;
    if (!m_definition.xUnit.trimmed().isEmpty())
        text += QStringLiteral(" [") + m_definition.xUnit + QLatin1Char(']');
    if (!m_definition.yUnit.trimmed().isEmpty())
        text += QStringLiteral("   Y [") + m_definition.yUnit + QLatin1Char(']');
    if (!m_definition.unit.trimmed().isEmpty())
        text += QStringLiteral("   Z [") + m_definition.unit + QLatin1Char(']');
    return text;
}

MapPlotScene MapWindow::plotScene() const
{
    MapPlotScene scene;
    scene.layout = m_layout;
    scene.currentValues = m_currentValues;
    scene.originalValues = m_originalValues;
    scene.showOriginal = m_showOriginal;
    scene.zScaling = m_z;
    scene.xAxisValues = m_xAxisValues;
    scene.yAxisValues = m_yAxisValues;
    scene.xFactor = m_xFactor;
    scene.xOffset = m_xOffset;
    scene.yFactor = m_yFactor;
    scene.yOffset = m_yOffset;
    scene.rotation = m_rotation;
    scene.tilt = m_tilt;
    scene.selected = QList<bool>(m_layout.cellCount(), false);
    const QModelIndexList selected = m_table->selectionModel()->selectedIndexes();
    for (const QModelIndex &index : selected) {
        const qint64 k = qint64(index.row()) * m_layout.columns() + index.column();
        if (k >= 0 && k < scene.selected.size())
            scene.selected[k] = true;
    }
    scene.title = m_title;
    scene.legend = legend();
    return scene;
}

void MapWindow::paint2D(QPainter &painter, const QRect &rect)
{
    MapPlotPainter::paintLinePlot(painter, rect, plotScene());
}

void MapWindow::paint3D(QPainter &painter, const QRect &rect)
{
    MapPlotPainter::paintSurface(painter, rect, plotScene());
}

void MapWindow::click2D(const QPoint &point, Qt::KeyboardModifiers modifiers)
{
    const QRectF area = MapPlotGeometry::linePlotArea(QRectF(m_canvas2D->rect()));
    if (!area.contains(point) || m_currentValues.isEmpty())
        return;
    const QList<QPointF> points = plotScene().linePlotPoints(area);
    const int k
        = MapPlotGeometry::nearestPoint(points, point, MapPlotGeometry::LinePlotClickRadiusSquared);
    if (k >= 0)
        selectCell(k / m_layout.columns(), k % m_layout.columns(), modifiers);
}

void MapWindow::click3D(const QPoint &point, Qt::KeyboardModifiers modifiers)
{
    const QRectF area = MapPlotGeometry::surfacePlotArea(QRectF(m_canvas3D->rect()));
    if (!area.contains(point) || m_layout.cellCount() < 1)
        return;
    const int k = plotScene().surfaceGrid(area, true).hitTest(point);
    if (k >= 0)
        selectCell(k / m_layout.columns(), k % m_layout.columns(), modifiers);
}

void MapWindow::rect2D(const QRect &rect, Qt::KeyboardModifiers modifiers)
{
    const QRectF area = MapPlotGeometry::linePlotArea(QRectF(m_canvas2D->rect()));
    const QRectF band = MapPlotGeometry::selectionRectangle(QRectF(rect), area);
    if (band.isEmpty())
        return;
    QList<QPoint> cells;
    for (int k : MapPlotGeometry::pointsInside(plotScene().linePlotPoints(area), band))
        cells.append(QPoint(k % m_layout.columns(), k / m_layout.columns()));
    selectCells(cells, modifiers);
}

void MapWindow::rect3D(const QRect &rect, Qt::KeyboardModifiers modifiers)
{
    const QRectF area = MapPlotGeometry::surfacePlotArea(QRectF(m_canvas3D->rect()));
    const QRectF band = MapPlotGeometry::selectionRectangle(QRectF(rect), area);
    if (band.isEmpty())
        return;
    QList<QPoint> cells;
    const SurfaceGrid grid = plotScene().surfaceGrid(area, true);
    for (int k : MapPlotGeometry::pointsInside(grid.points(), band))
        cells.append(QPoint(k % m_layout.columns(), k / m_layout.columns()));
    selectCells(cells, modifiers);
}

void MapWindow::openPropertiesDialog()
{
    MapPropertiesDialog dialog(this);
    m_propertiesStartTab = 0;
    m_runDialog(dialog);
}
