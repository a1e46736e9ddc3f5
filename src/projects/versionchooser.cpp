#include "versionchooser.h"

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
    auto *layout = new QVBoxLayout(this);
    auto *heading = new QLabel(QStringLiteral("VERSIONI DEL PROGETTO"), this);
    heading->setStyleSheet(ProjectBrowser::headingStyle(17));
    layout->addWidget(heading);

    m_table = new QTableWidget(0, 2, this);
    m_table->setObjectName(QStringLiteral("versionsTable"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("Versione"), QStringLiteral("Data / Ora")});
    m_table->setAlternatingRowColors(true);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    m_table->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_table, &QWidget::customContextMenuRequested, this, &VersionChooser::showContextMenu);
    connect(m_table, &QTableWidget::cellDoubleClicked, this, [this] {
        if (selectedVersion())
            accept();
    });
    layout->addWidget(m_table, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto *cancel = new QPushButton(QStringLiteral("Annulla"), this);
    auto *open = new QPushButton(QStringLiteral("Apri"), this);
    open->setObjectName(QStringLiteral("openButton"));
    open->setStyleSheet(ProjectBrowser::buttonStyle());
    open->setDefault(true);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(open, &QPushButton::clicked, this, [this] {
        if (selectedVersion())
            accept();
    });
    buttons->addWidget(cancel);
    buttons->addWidget(open);
    layout->addLayout(buttons);

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
