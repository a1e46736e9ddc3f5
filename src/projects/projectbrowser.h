#pragma once

#include "projectstore.h"
#include "userprompts.h"

#include <QDialog>

class QTableWidget;

// "Apri progetto": the saved projects, one row each, with their context commands.
class ProjectBrowser : public QDialog
{
    Q_OBJECT
public:
    ProjectBrowser(const ProjectStore &store,
                   const UserPrompts &prompts,
                   QWidget *parent = nullptr);

    QTableWidget *table() const { return m_table; }
    int rowCount() const;
    // The folder of the selected row; blank without a selection.
    QString selectedFolder() const;

    // The context commands of a row.
    void showCharacteristics(int row);
    void exportFirmware(int row);
    void deleteProject(int row);

    static QString buttonStyle();
    static QString headingStyle(int fontSize);

private:
    void fill();
    void showContextMenu(const QPoint &position);

    ProjectStore m_store;
    UserPrompts m_prompts;
    QList<ProjectEntry> m_projects;
    QTableWidget *m_table = nullptr;
};
