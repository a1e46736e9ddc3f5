#include "projectbrowser.h"

#include "model/firmwareproject.h"
#include "pickerdialog.h"
#include "projectdatadialog.h"
#include "projectfiles.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace ProjectFiles;

ProjectBrowser::ProjectBrowser(const ProjectStore &store,
                               const UserPrompts &prompts,
                               QWidget *parent)
    : QDialog(parent)
    , m_store(store)
    , m_prompts(prompts)
{
    setWindowTitle(QStringLiteral("Apri progetto - Tessamorvandi"));
    resize(650, 450);
    m_table = buildPickerDialog(
        this, QStringLiteral("PROGETTI SALVATI"), 18,
        {QStringLiteral("Marca"), QStringLiteral("Modello"), QStringLiteral("Motore"),
         QStringLiteral("ECU"), QStringLiteral("Software"), QStringLiteral("Data / Ora")},
        [this] { return !selectedFolder().isEmpty(); });
    m_table->setObjectName(QStringLiteral("projectsTable"));
    m_table->horizontalHeader()->setStretchLastSection(true);
    connect(m_table, &QWidget::customContextMenuRequested, this, &ProjectBrowser::showContextMenu);

    fill();
}

QString ProjectBrowser::buttonStyle()
{
    return QStringLiteral("QPushButton { background-color: #269653; color: white; border: none; "
                          "border-radius: 4px; padding: 6px 24px; font-weight: 600;}"
                          "QPushButton:hover { background-color: #31ad64;}");
}

QString ProjectBrowser::headingStyle(int fontSize)
{
    return QStringLiteral(
               "QLabel { color: #269653; font-size: %1px; font-weight: bold; padding: 8px;}")
        .arg(fontSize);
}

void ProjectBrowser::fill()
{
    m_projects = m_store.listProjects();
    m_table->setRowCount(int(m_projects.size()));
    const char *const keys[]
        = {"vehicleBrand", "vehicleModel", "engine", "ecu", "software", "savedAt"};
    for (int row = 0; row < m_projects.size(); ++row) {
        for (int column = 0; column < 6; ++column) {
            auto *item = new QTableWidgetItem(
                m_projects.at(row).record.value(QLatin1String(keys[column])).toString());
            m_table->setItem(row, column, item);
        }
    }
    if (!m_projects.isEmpty())
        m_table->setCurrentCell(0, 0);
    m_table->resizeColumnsToContents();
}

int ProjectBrowser::rowCount() const
{
    return int(m_projects.size());
}

QString ProjectBrowser::selectedFolder() const
{
    const int row = m_table->currentRow();
    return row >= 0 && row < m_projects.size() ? m_projects.at(row).folder : QString();
}

void ProjectBrowser::showContextMenu(const QPoint &position)
{
    const int row = m_table->rowAt(position.y());
    if (row < 0)
        return;
    m_table->selectRow(row);
    QMenu menu(this);
    QAction *characteristics = menu.addAction(QStringLiteral("Caratteristiche..."));
    QAction *exportAction = menu.addAction(QStringLiteral("Esporta..."));
    QAction *remove = menu.addAction(QStringLiteral("Cancella"));
    QAction *chosen = menu.exec(m_table->viewport()->mapToGlobal(position));
    if (chosen == characteristics)
        showCharacteristics(row);
    else if (chosen == exportAction)
        exportFirmware(row);
    else if (chosen == remove)
        deleteProject(row);
}

void ProjectBrowser::showCharacteristics(int row)
{
    if (row < 0 || row >= m_projects.size())
        return;
    QJsonObject record;
    bool cannotRead = false;
    if (!readJsonObject(m_projects.at(row).folder + QLatin1Char('/') + ProjectJson, &record,
                        &cannotRead)) {
        m_prompts.message(QMessageBox::Warning, QStringLiteral("Caratteristiche"),
                          cannotRead ? QStringLiteral("Impossibile leggere i dati del progetto.")
                                     : QStringLiteral("Il file project.json non è valido."));
        return;
    }
    FirmwareProject project;
    applyProjectJson(project, record);
    ProjectDataDialog dialog(project, ProjectDataDialog::Mode::ReadOnly, this);
    dialog.exec();
}

void ProjectBrowser::exportFirmware(int row)
{
    if (row < 0 || row >= m_projects.size())
        return;
    const QString folder = m_projects.at(row).folder;
    QString source = folder + QLatin1Char('/') + OriginalFolder + QLatin1Char('/') + FirmwareBin;
    if (!QFileInfo(source).isFile())
        source = folder + QLatin1Char('/') + FirmwareBin;
    exportSavedFirmware(m_prompts, QFileInfo(source).isFile() ? source : QString(), FirmwareBin,
                        QStringLiteral("Il firmware del progetto non è stato trovato."));
}

void ProjectBrowser::deleteProject(int row)
{
    if (row < 0 || row >= m_projects.size())
        return;
    const QString title = QStringLiteral("Cancella progetto");
    if (!m_prompts.confirm(title,
                           QStringLiteral("Eliminare definitivamente questo progetto?\n\n"
                                          "Verranno eliminate anche tutte le versioni salvate "
                                          "nel progetto.")))
        return;
    if (m_store.removeProject(m_projects.at(row).folder)) {
        m_projects.removeAt(row);
        m_table->removeRow(row);
        m_prompts.message(QMessageBox::Information, title, QStringLiteral("Progetto eliminato."));
    } else {
        // Part of it may be gone: show what is left.
        fill();
        m_prompts.message(QMessageBox::Warning, title,
                          QStringLiteral("Impossibile eliminare il progetto."));
    }
}
