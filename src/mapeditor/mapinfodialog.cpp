#include "mapinfodialog.h"

#include "mapeditor/mapaddresstext.h"
#include "model/mapdefinition.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

MapInfoDialog::MapInfoDialog(const MapDefinition &d, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Caratteristiche mappa"));
    resize(560, 360);
    auto *layout = new QVBoxLayout(this);
    m_form = new QFormLayout;
    auto addRow = [this](const QString &label, const QString &text) {
        auto *edit = new QLineEdit(text, this);
        edit->setReadOnly(true);
        m_form->addRow(label, edit);
    };
    addRow(QStringLiteral("Nome:"), d.name);
    addRow(QStringLiteral("Descrizione:"), d.description);
    addRow(QStringLiteral("Unità:"), d.unit);
    addRow(QStringLiteral("COMPU_METHOD:"), d.compuMethod);
    addRow(QStringLiteral("Indirizzo Z:"),
           QStringLiteral("0x") + MapAddressText::address(d.mapOffset));
    addRow(QStringLiteral("Indirizzo X:"), MapAddressText::prefixedAddress(d.xAxisOffset));
    addRow(QStringLiteral("Indirizzo Y:"), MapAddressText::prefixedAddress(d.yAxisOffset));
    addRow(QStringLiteral("Dimensione:"), MapAddressText::sizeText(d));
    layout->addLayout(m_form);
    layout->addStretch(1);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

QString MapInfoDialog::fieldText(const QString &label) const
{
    for (int row = 0; row < m_form->rowCount(); ++row) {
        auto *labelItem = m_form->itemAt(row, QFormLayout::LabelRole);
        auto *fieldItem = m_form->itemAt(row, QFormLayout::FieldRole);
        const auto *labelWidget = labelItem ? qobject_cast<QLabel *>(labelItem->widget()) : nullptr;
        const auto *edit = fieldItem ? qobject_cast<QLineEdit *>(fieldItem->widget()) : nullptr;
        if (labelWidget && edit && labelWidget->text() == label)
            return edit->text();
    }
    return QString();
}
