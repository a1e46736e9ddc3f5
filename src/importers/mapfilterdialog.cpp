#include "mapfilterdialog.h"

#include "model/mapdefinition.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QTreeWidgetItem>

MapFilterDialog::MapFilterDialog(std::function<const QList<MapDefinition> *()> maps,
                                 std::function<QTreeWidgetItem *()> mapsItem,
                                 QWidget *parent)
    : QDialog(parent)
    , m_maps(std::move(maps))
    , m_mapsItem(std::move(mapsItem))
{
    setWindowTitle(QStringLiteral("Filtro mappe - Tessamorvandi"));
    setMinimumWidth(420);
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);

    auto *form = new QFormLayout(this);
    auto addEdit
        = [this, form](const QString &label, const QString &placeholder, const QString &name) {
              auto *edit = new QLineEdit(this);
              edit->setObjectName(name);
              edit->setPlaceholderText(placeholder);
              form->addRow(label, edit);
              connect(edit, &QLineEdit::textChanged, this, &MapFilterDialog::applyFilter);
              return edit;
          };
    m_name = addEdit(QStringLiteral("Nome:"), QStringLiteral("es. Rail, Torque, Boost..."),
                     QStringLiteral("filterNameEdit"));
    m_description = addEdit(QStringLiteral("Descrizione:"),
                            QStringLiteral("Testo contenuto nella descrizione"),
                            QStringLiteral("filterDescriptionEdit"));
    m_unit = addEdit(QStringLiteral("Unità:"), QStringLiteral("es. Nm, bar, rpm, mg/ciclo..."),
                     QStringLiteral("filterUnitEdit"));
    m_compuMethod = addEdit(QStringLiteral("COMPU_METHOD:"), QStringLiteral("COMPU_METHOD / ID"),
                            QStringLiteral("filterCompuMethodEdit"));

    connect(this, &QDialog::finished, this, &MapFilterDialog::showAllEntries);
}

MapFilter MapFilterDialog::filter() const
{
    return {m_name->text(), m_description->text(), m_unit->text(), m_compuMethod->text()};
}

void MapFilterDialog::applyFilter()
{
    QTreeWidgetItem *branch = m_mapsItem ? m_mapsItem() : nullptr;
    const QList<MapDefinition> *list = m_maps ? m_maps() : nullptr;
    if (!branch || !list)
        return;
    const QList<MapDefinition> &maps = *list;
    const MapFilter current = filter();
    for (int i = 0; i < branch->childCount(); ++i) {
        QTreeWidgetItem *entry = branch->child(i);
        bool ok = false;
        const int index = entry->data(0, Qt::UserRole + 10).toInt(&ok);
        const bool valid = ok && index >= 0 && index < maps.size();
        entry->setHidden(valid && !current.matches(maps.at(index)));
    }
}

void MapFilterDialog::showAllEntries()
{
    QTreeWidgetItem *branch = m_mapsItem ? m_mapsItem() : nullptr;
    if (!branch)
        return;
    for (int i = 0; i < branch->childCount(); ++i)
        branch->child(i)->setHidden(false);
}
