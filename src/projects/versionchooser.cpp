#include "versionchooser.h"

#include "pickerdialog.h"
#include "projectbrowser.h"
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

VersionChooser::VersionChooser(const QString &projectFolder,
                               const UserPrompts &prompts,
                               QWidget *parent)
    : QDialog(parent)
    , m_projectFolder(projectFolder)
    , m_prompts(prompts)
{
    setWindowTitle(QStringLiteral("Seleziona versione - Tessamorvandi"));
    resize(430, 330);
    m_table = buildPickerDialog(this, QStringLiteral("VERSIONI DEL PROGETTO"), 17,
                                {QStringLiteral("Versione"), QStringLiteral("Data / Ora")},
                                [this] { return selectedVersion().has_value(); });
    m_table->setObjectName(QStringLiteral("versionsTable"));
    m_table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    connect(m_table, &QWidget::customContextMenuRequested, this, &VersionChooser::showContextMenu);

    fill();
}

void VersionChooser::fill()
{
    m_versions = ProjectStore::listVersions(m_projectFolder);
    m_table->setRowCount(int(m_versions.size()));
    for (int row = 0; row < m_versions.size(); ++row) {
        m_table->setItem(row, 0, new QTableWidgetItem(m_versions.at(row).name));
        m_table->setItem(row, 1, new QTableWidgetItem(m_versions.at(row).savedAt));
    }
    m_table->setCurrentCell(0, 0);
}

std::optional<VersionEntry> VersionChooser::selectedVersion() const
{
    const int row = m_table->currentRow();
    if (row < 0 || row >= m_versions.size())
        return std::nullopt;
    return m_versions.at(row);
}

void VersionChooser::showContextMenu(const QPoint &position)
{
    const int row = m_table->rowAt(position.y());
    if (row < 0 || row >= m_versions.size())
        return;
    m_table->selectRow(row);
    QMenu menu(this);
    QAction *rename = nullptr;
    QAction *remove = nullptr;
    if (!m_versions.at(row).isOriginal)
        rename = menu.addAction(QStringLiteral("Modifica nome..."));
    QAction *exportAction = menu.addAction(QStringLiteral("Esporta..."));
    if (!m_versions.at(row).isOriginal) {
        menu.addSeparator();
        remove = menu.addAction(QStringLiteral("Cancella"));
    }
    QAction *chosen = menu.exec(m_table->viewport()->mapToGlobal(position));
    if (!chosen)
        return;
    if (chosen == rename)
        renameVersion(row);
    else if (chosen == exportAction)
        exportFirmware(row);
    else if (chosen == remove)
        deleteVersion(row);
}

void VersionChooser::renameVersion(int row)
{
    if (row < 0 || row >= m_versions.size() || m_versions.at(row).isOriginal)
        return;
    VersionEntry &version = m_versions[row];
    const std::optional<QString> answer = m_prompts.text(
        QStringLiteral("Modifica nome versione"), QStringLiteral("Nuovo nome:"), version.name);
    if (!answer || answer->trimmed().isEmpty())
        return;
    QString folder;
    switch (ProjectStore::renameVersion(version.folder, *answer, &folder)) {
    case ProjectStore::RenameResult::NameExists:
        m_prompts.message(QMessageBox::Warning, QStringLiteral("Modifica nome"),
                          QStringLiteral("Esiste già una versione con questo nome."));
        return;
    case ProjectStore::RenameResult::Failed:
        m_prompts.message(QMessageBox::Warning, QStringLiteral("Modifica nome"),
                          QStringLiteral("Impossibile rinominare la versione."));
        return;
    case ProjectStore::RenameResult::Renamed:
        break;
    }
    version.name = answer->trimmed();
    version.folder = folder;
    m_table->item(row, 0)->setText(version.name);
}

void VersionChooser::exportFirmware(int row)
{
    if (row < 0 || row >= m_versions.size())
        return;
    const VersionEntry &version = m_versions.at(row);
    const QString source = version.folder + QLatin1Char('/') + FirmwareBin;
    exportSavedFirmware(m_prompts, QFileInfo(source).isFile() ? source : QString(),
                        sanitizeFolderName(version.name) + QStringLiteral(".bin"),
                        QStringLiteral("Il firmware della versione selezionata non è stato "
                                       "trovato."));
}

void VersionChooser::deleteVersion(int row)
{
    if (row < 0 || row >= m_versions.size() || m_versions.at(row).isOriginal)
        return;
    const QString name = m_versions.at(row).name;
    const QString title = QStringLiteral("Cancella versione");
    if (!m_prompts.confirm(title, QStringLiteral("Eliminare definitivamente la versione \"%1\"?"
                                                 "\n\nQuesta operazione non può essere "
                                                 "annullata.")
                                      .arg(name)))
        return;
    if (ProjectStore::removeVersion(m_versions.at(row).folder)) {
        m_versions.removeAt(row);
        m_table->removeRow(row);
        m_prompts.message(QMessageBox::Information, title,
                          QStringLiteral("Versione \"%1\" eliminata.").arg(name));
    } else {
        fill();
        m_prompts.message(QMessageBox::Warning, title,
                          QStringLiteral("Impossibile eliminare la versione."));
    }
}
