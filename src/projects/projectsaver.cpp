#include "projectsaver.h"

#include "model/firmwareproject.h"
#include "model/mappack.h"
#include "projectfiles.h"
#include "projectstore.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QtDebug>

using namespace ProjectFiles;

namespace {

// A name for a new version of the project in projectFolder. A name whose folder the project
// already has is asked again: taking it would replace that version without a word.
std::optional<QString> askVersionName(const VersionQuestions &questions,
                                      const QString &projectFolder,
                                      const QString &title,
                                      const QString &label,
                                      const QString &preset)
{
    if (!questions.askName)
        return std::nullopt;
    QString prompt = label;
    QString proposed = preset;
    for (;;) {
        const std::optional<QString> answer = questions.askName(title, prompt, proposed);
        if (!answer || answer->trimmed().isEmpty())
            return std::nullopt;
        const QString name = answer->trimmed();
        const QString versionFolder = projectFolder + QLatin1Char('/') + VersionsFolder
                                      + QLatin1Char('/') + sanitizeFolderName(name);
        if (projectFolder.isEmpty() || !QFileInfo::exists(versionFolder))
            return name;
        prompt = QStringLiteral("Esiste già una versione \"%1\".\n").arg(name) + label;
        proposed = name;
    }
}

// Where a save writes: the original's folder or a named version.
struct SaveTarget
{
    QString versionName;
    bool intoOriginal = false;
};

// The version a save writes into; nullopt when the user cancels. Asked before anything is
// written, so that a cancelled save leaves no project the user never saved.
std::optional<SaveTarget> chooseVersion(const FirmwareProject &project,
                                        const QString &projectFolder,
                                        bool unchanged,
                                        const VersionQuestions &questions)
{
    const bool namedVersion = !project.versionName.isEmpty() && project.versionName != OriginalName;
    // A named version whose bytes went back to the original still is that version: saving
    // it into the original would replace the original's maps with the version's.
    if (unchanged && !namedVersion)
        return SaveTarget{OriginalName, true};
    std::optional<QString> name;
    if (!namedVersion) {
        name = askVersionName(questions, projectFolder, QStringLiteral("Salva versione"),
                              QStringLiteral("Nome della versione modificata:"),
                              QStringLiteral("Stage 1"));
    } else {
        const VersionQuestions::Choice choice = questions.askChoice
                                                    ? questions.askChoice(project.versionName)
                                                    : VersionQuestions::Choice::Cancel;
        if (choice == VersionQuestions::Choice::SaveInto)
            name = project.versionName;
        else if (choice == VersionQuestions::Choice::NewVersion)
            name = askVersionName(questions, projectFolder, QStringLiteral("Nuova versione"),
                                  QStringLiteral("Nome della nuova versione:"), QString());
    }
    if (!name)
        return std::nullopt;
    return SaveTarget{*name, false};
}

bool holdsProject(const QString &folder)
{
    return QFileInfo::exists(folder + QLatin1Char('/') + ProjectJson)
           || QFileInfo::exists(folder + QLatin1Char('/') + OriginalFolder + QLatin1Char('/')
                                + MapsTvp);
}

// A document joining a project keeps what the user typed and takes the project's data for
// every field it leaves blank (customer, vehicle, notes), so that nothing of it is lost.
void adoptProjectData(FirmwareProject &project, const QString &folder)
{
    QJsonObject existing;
    if (!readJsonObject(folder + QLatin1Char('/') + ProjectJson, &existing))
        return;
    QJsonObject merged = projectJson(project, QString());
    for (auto it = existing.constBegin(); it != existing.constEnd(); ++it) {
        if (it.value().isString() && merged.value(it.key()).toString().isEmpty())
            merged.insert(it.key(), it.value());
    }
    applyProjectJson(project, merged);
}

} // namespace

bool saveProject(FirmwareProject &project,
                 const ProjectStore &store,
                 const VersionQuestions &questions)
{
    if (!project.firmware)
        return false;

    const std::vector<uint8_t> &image = project.firmware->data();
    const QByteArray current(reinterpret_cast<const char *>(image.data()), qsizetype(image.size()));
    const QByteArray original = project.originalBytes.isEmpty() ? current : project.originalBytes;
    const bool unchanged
        = !current.isEmpty() && current.size() == original.size() && current == original;
    const bool modified = !current.isEmpty() && !original.isEmpty() && current != original;

    // The first save of a document may find its project already there, from an earlier
    // import of the same original: what that project holds is replaced only when asked to.
    QString folder = project.projectFolder;
    std::optional<SaveTarget> target;
    bool joinsProject = false;
    if (folder.isEmpty()) {
        folder = store.folderForNewProject(project.fileName, original);
        const bool existing = holdsProject(folder);
        if (existing) {
            const VersionQuestions::Choice choice
                = questions.askExisting ? questions.askExisting(QFileInfo(folder).fileName())
                                        : VersionQuestions::Choice::Cancel;
            if (choice == VersionQuestions::Choice::Cancel)
                return false;
            if (choice == VersionQuestions::Choice::NewVersion) {
                const std::optional<QString> name
                    = askVersionName(questions, folder, QStringLiteral("Nuova versione"),
                                     QStringLiteral("Nome della nuova versione:"),
                                     unchanged ? QString() : QStringLiteral("Stage 1"));
                if (!name)
                    return false;
                target = SaveTarget{*name, false};
                joinsProject = true;
            }
        }
    }
    if (!target)
        target = chooseVersion(project, folder, unchanged, questions);
    if (!target)
        return false;

    if (!store.ensureRoot())
        return false;
    project.originalBytes = original;
    if (joinsProject)
        adoptProjectData(project, folder);
    project.projectFolder = folder;
    if (!QDir().mkpath(folder))
        return false;
    const QString savedAt = savedAtText(QDateTime::currentDateTime());

    finishInterruptedSaves(folder);
    // The original comes before project.json: a folder that lists as a project can be opened.
    const QString originalFolder = folder + QLatin1Char('/') + OriginalFolder;
    if (!QDir().mkpath(originalFolder))
        return false;
    const QString originalFirmware = originalFolder + QLatin1Char('/') + FirmwareBin;
    if (!QFileInfo::exists(originalFirmware)
        && !writeFileAtomically(originalFirmware, project.originalBytes))
        return false;

    if (!writeJsonAtomically(folder + QLatin1Char('/') + ProjectJson,
                             projectJson(project, savedAt)))
        return false;

    QString targetFolder = originalFolder;
    if (!target->intoOriginal) {
        const QString versions = folder + QLatin1Char('/') + VersionsFolder;
        targetFolder = versions + QLatin1Char('/') + sanitizeFolderName(target->versionName);
        if (!QDir().mkpath(versions))
            return false;
    }

    // The three files of the version become visible together (see writeVersionFolder).
    const QString firmwarePath = targetFolder + QLatin1Char('/') + FirmwareBin;
    VersionFiles files;
    files.firmware = current;
    files.maps = mapPackBytes(project.maps, current);
    files.record = QJsonDocument(versionJson(target->versionName, savedAt, modified))
                       .toJson(QJsonDocument::Indented);
    if (!writeVersionFolder(targetFolder, files)) {
        qDebug().noquote() << "Errore salvataggio mappe progetto:"
                           << QStringLiteral("Errore durante la scrittura del pacchetto mappe.");
        return false;
    }

    project.versionName = target->versionName;
    project.savedFirmwarePath = firmwarePath;
    project.modified = false;
    project.hasBeenSaved = true;
    return true;
}
