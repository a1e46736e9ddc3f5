#include "mapfilterdialog.h"

#include "model/mapdefinition.h"

#include <QCheckBox>
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
    m_changedOnly = new QCheckBox(QStringLiteral("Solo mappe modificate"), this);
    m_changedOnly->setObjectName(QStringLiteral("filterChangedOnlyCheck"));
    m_changedOnly->setToolTip(
        QStringLiteral("Mostra solo le mappe che l'ultimo confronto ha trovato modificate"));
    form->addRow(QString(), m_changedOnly);
    connect(m_changedOnly, &QCheckBox::toggled, this, &MapFilterDialog::applyFilter);

    connect(this, &QDialog::finished, this, &MapFilterDialog::showAllEntries);
}

MapFilter MapFilterDialog::filter() const
{
    return {m_name->text(), m_description->text(), m_unit->text(), m_compuMethod->text(),
            m_changedOnly->isChecked()};
}

namespace {

// Hides the entries under parent that do not match, and a group whose entries are all hidden;
// true when something under parent stays visible.
bool filterBranch(QTreeWidgetItem *parent,
                  const QList<MapDefinition> &maps,
                  const MapFilter &filter)
{
    bool anyVisible = false;
    for (int i = 0; i < parent->childCount(); ++i) {
        QTreeWidgetItem *entry = parent->child(i);
        bool visible = true;
        if (entry->data(0, MapGroupRole).isValid()) {
            visible = filterBranch(entry, maps, filter);
            // What a filter finds is shown, even inside a group that was closed.
            if (visible && !filter.isEmpty())
                entry->setExpanded(true);
        } else {
            bool ok = false;
            const int index = entry->data(0, Qt::UserRole + 10).toInt(&ok);
            const bool valid = ok && index >= 0 && index < maps.size();
            visible = !valid
                      || filter.matches(maps.at(index), entry->data(0, MapChangedRole).toBool());
        }
        entry->setHidden(!visible);
        anyVisible = anyVisible || visible;
    }
    return anyVisible;
}

void showBranch(QTreeWidgetItem *parent)
{
    for (int i = 0; i < parent->childCount(); ++i) {
        parent->child(i)->setHidden(false);
        showBranch(parent->child(i));
    }
}

} // namespace

void MapFilterDialog::applyFilter()
{
    QTreeWidgetItem *branch = m_mapsItem ? m_mapsItem() : nullptr;
    const QList<MapDefinition> *list = m_maps ? m_maps() : nullptr;
    if (!branch || !list)
        return;
    filterBranch(branch, *list, filter());
}

void MapFilterDialog::showAllEntries()
{
    QTreeWidgetItem *branch = m_mapsItem ? m_mapsItem() : nullptr;
    if (branch)
        showBranch(branch);
}
