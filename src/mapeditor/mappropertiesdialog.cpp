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
#include <QVBoxLayout>

namespace {

const QString IndexAxisText = QStringLiteral("1,2,3,4...");

// The value types in the order of valueTypeChoices(), so that an index names a type.
QStringList organisationItems()
{
    QStringList items;
    for (const ValueType &type : valueTypeChoices())
        items.append(valueTypeLabel(type.organisation, type.littleEndian, type.kind));
    return items;
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
    , m_start(window->properties())
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

    window->setAxisAddressFields(m_x.address, m_y.address);
}

MapPropertiesDialog::~MapPropertiesDialog() = default;

QWidget *MapPropertiesDialog::buildMapTab()
{
    const MapProperties &p = m_start;
    auto *page = new QWidget(this);
    auto *column = new QVBoxLayout(page);
    auto *identity = new QFormLayout;
    m_name = new QLineEdit(p.name, page);
    m_description = new QLineEdit(p.description, page);
    m_unit = new QLineEdit(p.unit, page);
    // Imported descriptions belong to their source file.
    const bool imported = p.hasDefinition
                          && (p.sourceKind == MapDefinition::SourceA2L
                              || p.sourceKind == MapDefinition::SourceWinOLS);
    m_description->setReadOnly(imported);
    m_unit->setReadOnly(imported);
    identity->addRow(QStringLiteral("Nome:"), m_name);
    identity->addRow(QStringLiteral("Descrizione:"), m_description);
    identity->addRow(QStringLiteral("Unità:"), m_unit);
    identity->addRow(QStringLiteral("COMPU_METHOD:"), readOnlyEdit(p.compuMethod, page));
    identity->addRow(QStringLiteral("Indirizzo iniziale Z:"),
                     readOnlyEdit(MapAddressText::axisAddress(p.mapOffset), page));
    identity->addRow(QStringLiteral("Indirizzo asse X:"),
                     readOnlyEdit(MapAddressText::axisAddress(p.x.address), page));
    identity->addRow(QStringLiteral("Indirizzo asse Y:"),
                     readOnlyEdit(MapAddressText::axisAddress(p.y.address), page));
    identity->addRow(QStringLiteral("Tipo:"),
                     combo({QStringLiteral("Valore singolo"), QStringLiteral("Monodimensionale"),
                            QStringLiteral("Bidimensionale"), QStringLiteral("2D Inverso")},
                           2, page));
    auto *columns = new QSpinBox(page);
    columns->setRange(1, 1024);
    columns->setValue(p.columns);
    identity->addRow(QStringLiteral("Colonne:"), columns);
    auto *rows = new QSpinBox(page);
    rows->setRange(1, 1024);
    rows->setValue(p.rows);
    identity->addRow(QStringLiteral("Righe:"), rows);
    column->addLayout(identity);

    auto *scaling = new QFormLayout;
    m_zOrganisation = combo(organisationItems(), valueTypeChoice(p.zType), page);
    scaling->addRow(QStringLiteral("Organizzazione dati:"), m_zOrganisation);
    scaling->addRow(QStringLiteral("Formato numeri:"), combo(numberFormatItems(), 0, page));
    m_factor = scalingBox(p.z.factor, page);
    scaling->addRow(QStringLiteral("Fattore:"), m_factor);
    m_offset = scalingBox(p.z.offset, page);
    scaling->addRow(QStringLiteral("Offset:"), m_offset);
    m_reciprocal = new QCheckBox(page);
    m_reciprocal->setChecked(p.z.reciprocal);
    scaling->addRow(QStringLiteral("Valore reciproco:"), m_reciprocal);
    m_decimals = newDecimalsBox(p.z.decimals, page);
    scaling->addRow(QStringLiteral("Decimali:"), m_decimals);
    column->addLayout(scaling);
    column->addStretch(1);

    connect(m_zOrganisation, qOverload<int>(&QComboBox::currentIndexChanged), this,
            [this](int index) { m_window->setLiveZType(index); });
    return page;
}

QWidget *MapPropertiesDialog::buildAxisTab(bool isX)
{
    MapWindow *w = m_window;
    const MapAxisProperties &start = isX ? m_start.x : m_start.y;
    AxisPage &axis = isX ? m_x : m_y;
    auto *page = new QWidget(this);
    auto *form = new QFormLayout(page);
    axis.name = new QLineEdit(start.name, page);
    form->addRow(QStringLiteral("Nome:"), axis.name);
    axis.unit = new QLineEdit(start.unit, page);
    axis.unit->setPlaceholderText(QStringLiteral("es. rpm, mg/ciclo, %, bar..."));
    form->addRow(QStringLiteral("Unità:"), axis.unit);
    axis.compuMethod = readOnlyEdit(start.compuMethod, page);
    form->addRow(QStringLiteral("COMPU_METHOD:"), axis.compuMethod);
    axis.source = combo({IndexAxisText, QStringLiteral("Eprom")}, start.source == 0 ? 0 : 1, page);
    form->addRow(QStringLiteral("Fonte dei dati:"), axis.source);
    auto *addressRow = new QWidget(page);
    auto *addressLayout = new QHBoxLayout(addressRow);
    addressLayout->setContentsMargins(0, 0, 0, 0);
    axis.address = new QLineEdit(MapAddressText::axisAddress(start.address), addressRow);
    axis.fromCursor = new QPushButton(QStringLiteral("Come cursore Hexdump"), addressRow);
    addressLayout->addWidget(axis.address, 1);
    addressLayout->addWidget(axis.fromCursor);
    form->addRow(QStringLiteral("Indirizzo iniziale:"), addressRow);
    axis.organisation = combo(organisationItems(), valueTypeChoice(start.type), page);
    form->addRow(QStringLiteral("Organizzazione dati:"), axis.organisation);
    axis.numberFormat = combo(numberFormatItems(), 0, page);
    form->addRow(QStringLiteral("Formato numeri:"), axis.numberFormat);
    axis.factor = scalingBox(start.factor, page);
    form->addRow(QStringLiteral("Fattore:"), axis.factor);
    axis.offset = scalingBox(start.offset, page);
    form->addRow(QStringLiteral("Offset:"), axis.offset);
    axis.decimals = newDecimalsBox(start.decimals, page);
    form->addRow(QStringLiteral("Decimali:"), axis.decimals);
    axis.invert = new QCheckBox(page);
    form->addRow(QStringLiteral("Inverti asse:"), axis.invert);

    connect(axis.organisation, qOverload<int>(&QComboBox::currentIndexChanged), this,
            [w, isX](int index) {
                if (isX)
                    w->setLiveXType(index);
                else
                    w->setLiveYType(index);
            });
    connect(axis.source, &QComboBox::currentTextChanged, this, [w, isX](const QString &text) {
        w->chooseAxisSource(isX, text == IndexAxisText ? 0 : 1);
    });
    connect(axis.fromCursor, &QPushButton::clicked, this, [w, isX, source = axis.source] {
        source->setCurrentIndex(1);
        w->requestAxisFromCursor(isX);
    });
    return page;
}

QWidget *MapPropertiesDialog::buildCommentTab()
{
    auto *page = new QWidget(this);
    auto *layout = new QVBoxLayout(page);
    m_comment = new QPlainTextEdit(page);
    m_comment->setPlaceholderText(QStringLiteral("Inserisci qui eventuali note sulla mappa..."));
    m_comment->setPlainText(m_start.comment);
    layout->addWidget(m_comment);
    return page;
}

void MapPropertiesDialog::accept()
{
    MapProperties p = m_start;
    p.name = m_name->text().trimmed();
    p.description = m_description->text().trimmed();
    p.unit = m_unit->text().trimmed();
    p.comment = m_comment->toPlainText().trimmed();
    p.zType = valueTypeChoices().value(m_zOrganisation->currentIndex());
    p.z.factor = m_factor->value();
    p.z.offset = m_offset->value();
    p.z.reciprocal = m_reciprocal->isChecked();
    p.z.decimals = m_decimals->value();
    auto take = [](const AxisPage &page, MapAxisProperties &axis) {
        axis.name = page.name->text().trimmed();
        axis.unit = page.unit->text().trimmed();
        axis.source = page.source->currentText() == IndexAxisText ? 0 : 1;
        axis.type = valueTypeChoices().value(page.organisation->currentIndex());
        axis.factor = page.factor->value();
        axis.offset = page.offset->value();
        axis.decimals = page.decimals->value();
        // An address that does not parse leaves the axis where it was.
        int address = 0;
        axis.address = -1;
        if (axis.source == 1 && MapAddressText::parseAddress(page.address->text(), &address))
            axis.address = address;
    };
    take(m_x, p.x);
    take(m_y, p.y);
    m_window->applyProperties(p);
    QDialog::accept();
}

void MapPropertiesDialog::reject()
{
    m_window->revertOrganisations();
    QDialog::reject();
}
