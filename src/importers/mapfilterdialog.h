#pragma once

#include "importers/mapfilter.h"

#include <QDialog>
#include <QList>

#include <functional>

struct MapDefinition;
class QCheckBox;
class QLineEdit;
class QTreeWidgetItem;

// "Filtro mappe": four texts that hide, live, the entries of a document's map list whose
// definition does not match. Non-modal; every entry is shown again when it finishes.
class MapFilterDialog : public QDialog
{
    Q_OBJECT
public:
    // maps finds the document's map list and mapsItem its current "Mappe" branch (the tree
    // rebuilds it whenever the maps change); each gives nullptr once the document is gone.
    MapFilterDialog(std::function<const QList<MapDefinition> *()> maps,
                    std::function<QTreeWidgetItem *()> mapsItem,
                    QWidget *parent = nullptr);

    MapFilter filter() const;
    QLineEdit *nameEdit() const { return m_name; }
    QLineEdit *descriptionEdit() const { return m_description; }
    QLineEdit *unitEdit() const { return m_unit; }
    QLineEdit *compuMethodEdit() const { return m_compuMethod; }
    QCheckBox *changedOnlyCheck() const { return m_changedOnly; }

    // Hides the entries that do not match; entries without a valid map index stay visible.
    // Called again whenever the maps change, since a rebuilt branch comes back whole.
    void applyFilter();
    void showAllEntries();

private:
    std::function<const QList<MapDefinition> *()> m_maps;
    std::function<QTreeWidgetItem *()> m_mapsItem;
    QLineEdit *m_name = nullptr;
    QLineEdit *m_description = nullptr;
    QLineEdit *m_unit = nullptr;
    QLineEdit *m_compuMethod = nullptr;
    QCheckBox *m_changedOnly = nullptr;
};
