#pragma once

#include "documenthost.h"
#include "projectstore.h"
#include "userprompts.h"
#include "wizardresult.h"

#include <QObject>

#include <functional>

class Firmware;
struct FirmwareProject;
class QWidget;

// The project and map pack commands: import through the wizard, save, the saved-projects
// browser, the project data dialog, map pack export and import. They act on the documents of
// a DocumentHost; the window that holds the documents wires its actions to them.
class ProjectCommands : public QObject
{
    Q_OBJECT
public:
    using WizardRunner = std::function<bool(QWidget *parent,
                                            Firmware &firmware,
                                            const QString &path,
                                            const ProjectStore &store,
                                            WizardResult &result)>;
    using FolderChooser = std::function<QString(const ProjectStore &store)>;
    using VersionPicker = std::function<std::optional<VersionEntry>(const QString &folder)>;

    // dialogParent owns the dialogs and message boxes.
    ProjectCommands(DocumentHost *host, QWidget *dialogParent);

    void setStore(const ProjectStore &store) { m_store = store; }
    const ProjectStore &store() const { return m_store; }
    void setPrompts(const UserPrompts &prompts) { m_prompts = prompts; }
    const UserPrompts &prompts() const { return m_prompts; }
    // Tests replace the modal wizard, the browser and the version choice.
    void setWizardRunner(WizardRunner runner) { m_runWizard = std::move(runner); }
    void setProjectChooser(FolderChooser chooser) { m_chooseProject = std::move(chooser); }
    void setVersionPicker(VersionPicker picker) { m_pickVersion = std::move(picker); }

    bool openFirmwareThroughWizard(const QString &path);
    bool saveProject(FirmwareProject &record);
    // Opens the original of a project as a new document.
    bool openProject(const QString &projectFolder);
    // Opens one version with the project's original as its reference.
    FirmwareProject *openVersion(const QString &projectFolder, const VersionEntry &version);

    void showProjectData();
    void browseProjects();
    void exportMapPack();
    void importMapPack();

    // What the last finished wizard returned (the map search flag waits for the online
    // driver search).
    const WizardResult &lastWizardResult() const { return m_lastWizardResult; }

private:
    void warn(const QString &title, const QString &text);
    // What the loader worked around, told before anything opens; false when the user cancels.
    bool acceptLoadWarnings(const Firmware &firmware);

    DocumentHost *m_host;
    QWidget *m_parent;
    ProjectStore m_store;
    UserPrompts m_prompts;
    WizardRunner m_runWizard;
    FolderChooser m_chooseProject;
    VersionPicker m_pickVersion;
    WizardResult m_lastWizardResult;
};
