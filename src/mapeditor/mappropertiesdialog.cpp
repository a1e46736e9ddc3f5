#include "mappropertiesdialog.h"

#include "mapeditor/mapaddresstext.h"
#include "mapeditor/mapwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

const QString IndexAxisText = QStringLiteral("1,2,3,4...");

QStringList organisationItems()
{
    return {QStringLiteral("8 Bit"), QStringLiteral("16 Bit (LoHi)"),
            QStringLiteral("16 Bit (HiLo)"), QStringLiteral("32 Bit")};
}

QStringList numberFormatItems()
{
    return {QStringLiteral("Decimale"), QStringLiteral("Esadecimale")};
}

QLineEdit *readOnlyEdit(const QString &text, QWidget *parent)
{
    auto *edit = new QLineEdit(text, parent);
    edit->setReadOnly(true);
    return edit;
}

QDoubleSpinBox *scalingBox(double value, QWidget *parent)
{
    auto *box = new QDoubleSpinBox(parent);
    box->setDecimals(6);
    box->setRange(-1000000.0, 1000000.0);
    box->setValue(value);
    return box;
}

QSpinBox *newDecimalsBox(int value, QWidget *parent)
{
    auto *box = new QSpinBox(parent);
    box->setRange(0, 8);
    box->setValue(value);
    return box;
}

QComboBox *combo(const QStringList &items, int current, QWidget *parent)
{
    auto *box = new QComboBox(parent);
    box->addItems(items);
    box->setCurrentIndex(qBound(0, current, items.size() - 1));
    return box;
}

} // namespace

MapPropertiesDialog::MapPropertiesDialog(MapWindow *window)
    : QDialog(window)
    , m_window(window)
{
    setWindowTitle(QStringLiteral("Caratteristiche mappa"));
    resize(620, 560);
    auto *layout = new QVBoxLayout(this);
    m_tabs = new QTabWidget(this);
    m_tabs->addTab(buildMapTab(), QStringLiteral("Mappa"));
    m_tabs->addTab(buildAxisTab(true), QStringLiteral("Asse X"));
    m_tabs->addTab(buildAxisTab(false), QStringLiteral("Asse Y"));
    m_tabs->addTab(buildCommentTab(), QStringLiteral("Commento"));
    m_tabs->setCurrentIndex(qBound(0, window->propertiesStartTab(), 2));
    layout->addWidget(m_tabs, 1);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &MapPropertiesDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &MapPropertiesDialog::reject);
    layout->addWidget(buttons);

    window->m_xAddressField = m_x.address;
    window->m_yAddressField = m_y.address;
}

MapPropertiesDialog::~MapPropertiesDialog() = default;

QWidget *MapPropertiesDialog::buildMapTab()
{
    const MapWindow &w = *m_window;
    const MapDefinition &d = w.m_definition;
    const bool fromDefinition = w.m_hasDefinition;
    auto *page = new QWidget(this);
    auto *column = new QVBoxLayout(page);
    auto *identity = new QFormLayout;
    m_name = new QLineEdit(w.m_title, page);
    m_description = new QLineEdit(fromDefinition ? d.description : QString(), page);
    m_unit = new QLineEdit(fromDefinition ? d.unit : QString(), page);
    // Imported descriptions belong to their source file.
    const bool imported = fromDefinition
                          && (d.sourceKind == MapDefinition::SourceA2L
                              || d.sourceKind == MapDefinition::SourceWinOLS);
    m_description->setReadOnly(imported);
    m_unit->setReadOnly(imported);
    identity->addRow(QStringLiteral("Nome:"), m_name);
    identity->addRow(QStringLiteral("Descrizione:"), m_description);
    identity->addRow(QStringLiteral("Unità:"), m_unit);
    identity->addRow(QStringLiteral("COMPU_METHOD:"),
                     readOnlyEdit(fromDefinition ? d.compuMethod : QString(), page));
    identity->addRow(QStringLiteral("Indirizzo iniziale Z:"),
                     readOnlyEdit(MapAddressText::axisAddress(w.m_mapOffset), page));
    identity->addRow(QStringLiteral("Indirizzo asse X:"),
                     readOnlyEdit(MapAddressText::axisAddress(w.m_xAxisOffset), page));
    identity->addRow(QStringLiteral("Indirizzo asse Y:"),
                     readOnlyEdit(MapAddressText::axisAddress(w.m_yAxisOffset), page));
    identity->addRow(QStringLiteral("Tipo:"),
                     combo({QStringLiteral("Valore singolo"), QStringLiteral("Monodimensionale"),
                            QStringLiteral("Bidimensionale"), QStringLiteral("2D Inverso")},
                           2, page));
    auto *columns = new QSpinBox(page);
    columns->setRange(1, 1024);
    columns->setValue(w.columns());
    identity->addRow(QStringLiteral("Colonne:"), columns);
    auto *rows = new QSpinBox(page);
    rows->setRange(1, 1024);
    rows->setValue(w.rows());
    identity->addRow(QStringLiteral("Righe:"), rows);
    column->addLayout(identity);

    auto *scaling = new QFormLayout;
    m_zOrganisation = combo(organisationItems(), w.m_committedZOrganisation, page);
    scaling->addRow(QStringLiteral("Organizzazione dati:"), m_zOrganisation);
    scaling->addRow(QStringLiteral("Formato numeri:"), combo(numberFormatItems(), 0, page));
    m_factor = scalingBox(w.m_z.factor, page);
    scaling->addRow(QStringLiteral("Fattore:"), m_factor);
    m_offset = scalingBox(w.m_z.offset, page);
    scaling->addRow(QStringLiteral("Offset:"), m_offset);
    m_reciprocal = new QCheckBox(page);
    m_reciprocal->setChecked(w.m_z.reciprocal);
    scaling->addRow(QStringLiteral("Valore reciproco:"), m_reciprocal);
    m_decimals = newDecimalsBox(w.m_z.decimals, page);
    scaling->addRow(QStringLiteral("Decimali:"), m_decimals);
    column->addLayout(scaling);
    column->addStretch(1);

    connect(m_zOrganisation, qOverload<int>(&QComboBox::currentIndexChanged), this,
            [this](int index) { m_window->setLiveZOrganisation(index); });
    return page;
}

QWidget *MapPropertiesDialog::buildAxisTab(bool isX)
{
    MapWindow *w = m_window;
    const MapDefinition &d = w->m_definition;
    const bool fromDefinition = w->m_hasDefinition;
    AxisPage &axis = isX ? m_x : m_y;
    auto *page = new QWidget(this);
    auto *form = new QFormLayout(page);
    axis.name = new QLineEdit(fromDefinition ? (isX ? d.xAxisName : d.yAxisName) : QString(), page);
    form->addRow(QStringLiteral("Nome:"), axis.name);
    axis.unit = new QLineEdit(fromDefinition ? (isX ? d.xUnit : d.yUnit) : QString(), page);
    axis.unit->setPlaceholderText(QStringLiteral("es. rpm, mg/ciclo, %, bar..."));
    form->addRow(QStringLiteral("Unità:"), axis.unit);
    axis.compuMethod
        = readOnlyEdit(fromDefinition ? (isX ? d.xCompuMethod : d.yCompuMethod) : QString(), page);
    form->addRow(QStringLiteral("COMPU_METHOD:"), axis.compuMethod);
    axis.source = combo({IndexAxisText, QStringLiteral("Eprom")},
                        (isX ? w->m_xAxisSource : w->m_yAxisSource) == 0 ? 0 : 1, page);
    form->addRow(QStringLiteral("Fonte dei dati:"), axis.source);
    auto *addressRow = new QWidget(page);
    auto *addressLayout = new QHBoxLayout(addressRow);
    addressLayout->setContentsMargins(0, 0, 0, 0);
    const int offset = isX ? w->m_xAxisOffset : w->m_yAxisOffset;
    axis.address = new QLineEdit(MapAddressText::axisAddress(offset), addressRow);
    axis.fromCursor = new QPushButton(QStringLiteral("Come cursore Hexdump"), addressRow);
    addressLayout->addWidget(axis.address, 1);
    addressLayout->addWidget(axis.fromCursor);
    form->addRow(QStringLiteral("Indirizzo iniziale:"), addressRow);
    axis.organisation = combo(
        organisationItems(), isX ? w->m_committedXOrganisation : w->m_committedYOrganisation, page);
    form->addRow(QStringLiteral("Organizzazione dati:"), axis.organisation);
    axis.numberFormat = combo(numberFormatItems(), 0, page);
    form->addRow(QStringLiteral("Formato numeri:"), axis.numberFormat);
    axis.factor = scalingBox(isX ? w->m_xFactor : w->m_yFactor, page);
    form->addRow(QStringLiteral("Fattore:"), axis.factor);
    axis.offset = scalingBox(isX ? w->m_xOffset : w->m_yOffset, page);
    form->addRow(QStringLiteral("Offset:"), axis.offset);
    axis.decimals = newDecimalsBox(isX ? w->m_xDecimals : w->m_yDecimals, page);
    form->addRow(QStringLiteral("Decimali:"), axis.decimals);
    axis.invert = new QCheckBox(page);
    form->addRow(QStringLiteral("Inverti asse:"), axis.invert);

    connect(axis.organisation, qOverload<int>(&QComboBox::currentIndexChanged), this,
            [w, isX](int index) {
                if (isX)
                    w->setLiveXOrganisation(index);
                else
                    w->setLiveYOrganisation(index);
            });
    connect(axis.source, &QComboBox::currentTextChanged, this, [w, isX](const QString &text) {
        MapDefinition &def = w->m_definition;
        if (text == IndexAxisText) {
            if (isX)
                w->useIndexXAxis();
            else
                w->useIndexYAxis();
        } else {
            if (isX) {
                w->m_xAxisSource = 1;
                w->reloadXAxis();
            } else {
                w->m_yAxisSource = 1;
                w->reloadYAxis();
            }
        }
        if (!w->m_hasDefinition)
            return;
        if (isX) {
            def.xAxisSource = w->m_xAxisSource;
            def.xAxis = w->m_xAxisValues;
        } else {
            def.yAxisSource = w->m_yAxisSource;
            def.yAxis = w->m_yAxisValues;
        }
        emit w->mapDefinitionChanged(def);
    });
    connect(axis.fromCursor, &QPushButton::clicked, this, [w, isX, source = axis.source] {
        source->setCurrentIndex(1);
        if (isX)
            emit w->xAxisCursorRequested();
        else
            emit w->yAxisCursorRequested();
    });
    return page;
}

QWidget *MapPropertiesDialog::buildCommentTab()
{
    auto *page = new QWidget(this);
    auto *layout = new QVBoxLayout(page);
    m_comment = new QPlainTextEdit(page);
    m_comment->setPlaceholderText(QStringLiteral("Inserisci qui eventuali note sulla mappa..."));
    if (m_window->m_hasDefinition)
        m_comment->setPlainText(m_window->m_definition.comment);
    layout->addWidget(m_comment);
    return page;
}

void MapPropertiesDialog::accept()
{
    MapWindow &w = *m_window;
    const QString name = m_name->text().trimmed();
    if (!name.isEmpty()) {
        w.m_title = name;
        w.setWindowTitle(name);
        if (w.m_hasDefinition)
            w.m_definition.name = name;
        emit w.mapNameChanged(w.m_mapOffset, name);
    }

    w.m_committedZOrganisation = w.m_zOrganisation;
    w.m_committedXOrganisation = w.m_xOrganisation;
    w.m_committedYOrganisation = w.m_yOrganisation;

    w.m_xAxisSource = m_x.source->currentText() == IndexAxisText ? 0 : 1;
    w.m_yAxisSource = m_y.source->currentText() == IndexAxisText ? 0 : 1;

    w.m_z.factor = m_factor->value();
    w.m_z.offset = m_offset->value();
    w.m_z.reciprocal = m_reciprocal->isChecked();
    w.m_z.decimals = m_decimals->value();
    w.m_xFactor = m_x.factor->value();
    w.m_xOffset = m_x.offset->value();
    w.m_xDecimals = m_x.decimals->value();
    w.m_yFactor = m_y.factor->value();
    w.m_yOffset = m_y.offset->value();
    w.m_yDecimals = m_y.decimals->value();

    int address = 0;
    if (w.m_xAxisSource == 1 && MapAddressText::parseAddress(m_x.address->text(), &address)
        && address != w.m_xAxisOffset) {
        w.m_xAxisOffset = address;
        w.reloadXAxis();
    }
    if (w.m_yAxisSource == 1 && MapAddressText::parseAddress(m_y.address->text(), &address)
        && address != w.m_yAxisOffset) {
        w.m_yAxisOffset = address;
        w.reloadYAxis();
    }

    const bool blocked = w.m_table->blockSignals(true);
    if (w.m_hasDefinition) {
        MapDefinition &d = w.m_definition;
        auto store = [](int organisation, int &dataType, int &size, bool &littleEndian) {
            dataType = organisation;
            size = elementSizeOfOrganisation(organisation);
            littleEndian = organisation != Organisation16BitHiLo;
        };
        store(w.m_committedZOrganisation, d.dataType, d.zElementSize, d.littleEndian);
        // The axes' organisations are kept too, or the next opening would forget them.
        store(w.m_committedXOrganisation, d.xDataType, d.xElementSize, d.xLittleEndian);
        store(w.m_committedYOrganisation, d.yDataType, d.yElementSize, d.yLittleEndian);
        d.factor = w.m_z.factor;
        d.offset = w.m_z.offset;
        d.decimals = w.m_z.decimals;
        d.xAxisName = m_x.name->text().trimmed();
        d.xUnit = m_x.unit->text().trimmed();
        d.xFactor = w.m_xFactor;
        d.xOffsetFactor = w.m_xOffset;
        d.xDecimals = w.m_xDecimals;
        d.yAxisName = m_y.name->text().trimmed();
        d.yUnit = m_y.unit->text().trimmed();
        d.yFactor = w.m_yFactor;
        d.yOffsetFactor = w.m_yOffset;
        d.yDecimals = w.m_yDecimals;
        d.xAxisOffset = w.m_xAxisOffset;
        d.yAxisOffset = w.m_yAxisOffset;
        d.xAxisSource = w.m_xAxisSource;
        d.yAxisSource = w.m_yAxisSource;
        d.xAxis = w.m_xAxisValues;
        d.yAxis = w.m_yAxisValues;
        d.name = w.m_title;
        d.description = m_description->text().trimmed();
        d.unit = m_unit->text().trimmed();
        d.comment = m_comment->toPlainText().trimmed();
        emit w.mapDefinitionChanged(d);
    }
    w.refreshTable();
    if (w.m_xAxisSource == 1)
        w.labelXAxis();
    if (w.m_yAxisSource == 1)
        w.labelYAxis();
    w.repaintPlots();
    w.m_table->blockSignals(blocked);
    QDialog::accept();
}

void MapPropertiesDialog::reject()
{
    MapWindow &w = *m_window;
    w.m_zOrganisation = w.m_committedZOrganisation;
    w.m_xOrganisation = w.m_committedXOrganisation;
    w.m_yOrganisation = w.m_committedYOrganisation;
    w.reloadZ();
    w.reloadXAxis();
    w.reloadYAxis();
    QDialog::reject();
}
