#pragma once

#include "projectstore.h"
#include "userprompts.h"

#include <QDialog>

class QTableWidget;

// "Seleziona versione": the original and the versions of one project, with their context
// commands.
class VersionChooser : public QDialog
{
    Q_OBJECT
public:
    VersionChooser(const QString &projectFolder,
                   const UserPrompts &prompts,
                   QWidget *parent = nullptr);

    QTableWidget *table() const { return m_table; }
    const QList<VersionEntry> &versions() const { return m_versions; }
    // The selected version; nullopt without a selection.
    std::optional<VersionEntry> selectedVersion() const;

    // The context commands of a row; the original offers only the export.
    void renameVersion(int row);
    void exportFirmware(int row);
    void deleteVersion(int row);

private:
    void fill();
    void showContextMenu(const QPoint &position);

    QString m_projectFolder;
    UserPrompts m_prompts;
    QList<VersionEntry> m_versions;
    QTableWidget *m_table = nullptr;
};
