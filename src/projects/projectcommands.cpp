#include "projectcommands.h"

#include "importwizard.h"
#include "model/firmwareproject.h"
#include "model/mappack.h"
#include "projectbrowser.h"
#include "projectdatadialog.h"
#include "projectfiles.h"
#include "projectsaver.h"
#include "versionchooser.h"

#include <QFileInfo>

using namespace ProjectFiles;

namespace {

const QLatin1String PackFilter("Tessamorvandi Map Pack (*.tvp)");

QByteArray currentBytes(const FirmwareProject &record)
{
    const std::vector<uint8_t> &data = record.firmware->data();
    return QByteArray(reinterpret_cast<const char *>(data.data()), qsizetype(data.size()));
}

} // namespace

ProjectCommands::ProjectCommands(DocumentHost *host, QWidget *dialogParent)
    : QObject(dialogParent)
    , m_host(host)
    , m_parent(dialogParent)
    , m_prompts(UserPrompts::dialogs(dialogParent))
{
    m_prompts.status
        = [host](const QString &text, int timeout) { host->showStatus(text, timeout); };
    m_runWizard = [](QWidget *parent, Firmware &firmware, const QString &path,
                     const ProjectStore &store, WizardResult &result) {
        return runImportWizard(parent, firmware, path, store, result);
    };
    m_chooseProject = [this](const ProjectStore &store) {
        ProjectBrowser browser(store, m_prompts, m_parent);
        return browser.exec() == QDialog::Accepted ? browser.selectedFolder() : QString();
    };
    m_pickVersion = [this](const QString &folder) -> std::optional<VersionEntry> {
        VersionChooser chooser(folder, m_prompts, m_parent);
        if (chooser.exec() != QDialog::Accepted)
            return std::nullopt;
        return chooser.selectedVersion();
    };
}

void ProjectCommands::warn(const QString &title, const QString &text)
{
    m_prompts.message(QMessageBox::Warning, title, text);
}

bool ProjectCommands::openFirmwareThroughWizard(const QString &path)
{
    auto firmware = std::make_unique<Firmware>();
    if (!firmware->load(path.toStdString())) {
        QString text = QStringLiteral("Impossibile caricare il firmware.");
        if (!firmware->errorString().empty())
            text += QStringLiteral("\n\n") + QString::fromStdString(firmware->errorString());
        warn(QStringLiteral("Errore"), text);
        return false;
    }
    if (!acceptLoadWarnings(*firmware))
        return false;
    WizardResult result;
    if (!m_runWizard(m_parent, *firmware, path, m_store, result))
        return false;
    m_lastWizardResult = result;
    if (!result.projectFolderToOpen.isEmpty()) {
        firmware.reset();
        return openProject(result.projectFolderToOpen);
    }
    FirmwareProject *record = m_host->createDocument(firmware.release(), {});
    if (!record)
        return false;
    record->savedFirmwarePath = path;
    applyWizardResult(*record, result);
    if (result.searchMapsAfterImport && m_mapSearch)
        m_mapSearch(record);
    return true;
}

bool ProjectCommands::acceptLoadWarnings(const Firmware &firmware)
{
    const std::vector<std::string> &warnings = firmware.loadWarnings();
    if (warnings.empty())
        return true;
    // The data that could be read is kept, but nobody should edit an image believing it whole.
    QString text = QStringLiteral("Il file è stato letto, ma non è integro:\n");
    for (const std::string &w : warnings)
        text += QStringLiteral("\n- ") + QString::fromStdString(w);
    text += QStringLiteral("\n\nL'immagine potrebbe essere incompleta. Vuoi aprirlo comunque?");
    const int pressed
        = m_prompts.choose
              ? m_prompts.choose(QStringLiteral("Apri Firmware"), text,
                                 {{QStringLiteral("Apri comunque"), QMessageBox::AcceptRole},
                                  {QStringLiteral("Annulla"), QMessageBox::RejectRole}})
              : -1;
    return pressed == 0;
}

bool ProjectCommands::saveProject(FirmwareProject &record)
{
    return ::saveProject(record, m_store, versionQuestions(m_prompts));
}

bool ProjectCommands::openProject(const QString &projectFolder)
{
    OpenedVersion opened = ProjectStore::openOriginal(projectFolder);
    if (!opened.error.isEmpty()) {
        warn(QStringLiteral("Apri progetto"), opened.error);
        return false;
    }
    FirmwareProject *record = m_host->createDocument(opened.firmware.release(), opened.maps);
    if (!record) {
        warn(QStringLiteral("Apri progetto"),
             QStringLiteral("Impossibile inizializzare il progetto."));
        return false;
    }
    record->projectFolder = projectFolder;
    record->savedFirmwarePath = opened.firmwarePath;
    record->versionName = OriginalName;
    applyProjectJson(*record, opened.record);
    if (m_prompts.status)
        m_prompts.status(QStringLiteral("Progetto esistente aperto."), 3000);
    return true;
}

FirmwareProject *ProjectCommands::openVersion(const QString &projectFolder,
                                              const VersionEntry &version)
{
    OpenedVersion opened = ProjectStore::openVersion(projectFolder, version);
    if (!opened.error.isEmpty()) {
        warn(QStringLiteral("Apri progetto"), opened.error);
        return nullptr;
    }
    FirmwareProject *record = m_host->createDocument(opened.firmware.release(), opened.maps);
    if (!record) {
        warn(QStringLiteral("Apri progetto"),
             QStringLiteral("Impossibile inizializzare il progetto."));
        return nullptr;
    }
    // The document starts with its own bytes as reference; a version compares with the
    // project's original instead, in the record and in both views.
    m_host->setReferenceBytes(record, opened.originalBytes);
    record->versionName = opened.versionName;
    if (!version.isOriginal)
        m_host->setDocumentTitle(record, opened.versionName);
    record->projectFolder = projectFolder;
    record->savedFirmwarePath = opened.firmwarePath;
    applyProjectJson(*record, opened.record);
    record->modified = false;
    record->hasBeenSaved = true;
    if (m_prompts.status)
        m_prompts.status(openedVersionText(projectFolder, opened.versionName), 0);
    return record;
}

void ProjectCommands::browseProjects()
{
    if (m_store.listProjects().isEmpty()) {
        m_prompts.message(QMessageBox::Information, QStringLiteral("Apri progetto"),
                          QStringLiteral("Nessun progetto salvato."));
        return;
    }
    const QString folder = m_chooseProject(m_store);
    if (folder.isEmpty())
        return;
    QJsonObject record;
    bool cannotRead = false;
    if (!readJsonObject(folder + QLatin1Char('/') + ProjectJson, &record, &cannotRead)) {
        warn(QStringLiteral("Apri progetto"),
             cannotRead ? QStringLiteral("Impossibile leggere project.json.")
                        : QStringLiteral("Il file project.json non è valido."));
        return;
    }
    // Read for the format of later releases; every format so far opens the same way.
    const int format = record.value(QStringLiteral("projectFormat")).toInt();
    Q_UNUSED(format);
    if (!QFileInfo(folder + QLatin1Char('/') + OriginalFolder + QLatin1Char('/') + FirmwareBin)
             .isFile()) {
        warn(QStringLiteral("Apri progetto"),
             QStringLiteral("Il progetto è incompleto o danneggiato."));
        return;
    }
    const std::optional<VersionEntry> version = m_pickVersion(folder);
    if (!version)
        return;
    openVersion(folder, *version);
}

void ProjectCommands::showProjectData()
{
    FirmwareProject *record = m_host->activeDocument();
    if (!record) {
        m_prompts.message(QMessageBox::Information, QStringLiteral("Progetto"),
                          QStringLiteral("Apri prima un firmware."));
        return;
    }
    ProjectDataDialog dialog(*record, ProjectDataDialog::Mode::Edit, m_parent);
    if (dialog.exec() != QDialog::Accepted)
        return;
    // The dialog is modal, but the record could have gone while it was open.
    if (!m_host->documents().contains(record))
        return;
    dialog.applyTo(*record);
    if (!saveProject(*record))
        warn(QStringLiteral("Salvataggio progetto"),
             QStringLiteral("Impossibile salvare il progetto."));
}

void ProjectCommands::exportMapPack()
{
    const QString title = QStringLiteral("Esporta pacchetto mappe");
    FirmwareProject *record = m_host->activeDocument();
    if (!record || !record->firmware) {
        warn(title, QStringLiteral("Apri prima un firmware."));
        return;
    }
    if (record->maps.isEmpty()) {
        warn(title, QStringLiteral("Il firmware non contiene mappe salvate."));
        return;
    }
    if (record->firmware->size() == 0) {
        warn(title, QStringLiteral("Il firmware è vuoto."));
        return;
    }
    const QByteArray bytes = currentBytes(*record);
    const QString chosen = m_prompts.saveFile(
        title, proposedMapPackName(QString::fromStdString(record->firmware->fileName())),
        PackFilter);
    if (chosen.isEmpty())
        return;
    const QString path = withMapPackSuffix(chosen);
    QString error;
    if (writeMapPack(path, record->maps, bytes, &error)) {
        m_prompts.message(QMessageBox::Information, QStringLiteral("Tessamorvandi"),
                          QStringLiteral("Pacchetto mappe esportato correttamente.\n\n"
                                         "Mappe salvate: %1\nFile: %2")
                              .arg(record->maps.size())
                              .arg(path));
    } else {
        m_prompts.message(QMessageBox::Critical, title, error);
    }
}

void ProjectCommands::importMapPack()
{
    const QString title = QStringLiteral("Importa pacchetto mappe");
    FirmwareProject *record = m_host->activeDocument();
    if (!record || !record->firmware) {
        warn(title, QStringLiteral("Apri prima il firmware originale associato."));
        return;
    }
    const QString path = m_prompts.openFile(title, PackFilter);
    if (path.isEmpty())
        return;
    MapPackData pack;
    if (!readMapPack(path, pack)) {
        m_prompts.message(QMessageBox::Critical, title, pack.errorMessage);
        return;
    }
    if (!isCompatible(pack, currentBytes(*record))) {
        m_prompts.message(QMessageBox::Critical, QStringLiteral("Pacchetto non compatibile"),
                          QStringLiteral("Il pacchetto mappe non appartiene al firmware "
                                         "attualmente aperto.\n\nDimensione o SHA-256 del "
                                         "firmware non corrispondono."));
        return;
    }
    if (pack.maps.isEmpty()) {
        warn(title, QStringLiteral("Il pacchetto non contiene mappe."));
        return;
    }
    m_host->setDocumentMaps(record, pack.maps);
    m_prompts.message(QMessageBox::Information, QStringLiteral("Tessamorvandi"),
                      QStringLiteral("Pacchetto mappe importato correttamente.\n\n"
                                     "Mappe caricate: %1")
                          .arg(record->maps.size()));
}
