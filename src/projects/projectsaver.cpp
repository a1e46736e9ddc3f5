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

std::optional<QString> askVersionName(const VersionQuestions &questions,
                                      const QString &title,
                                      const QString &label,
                                      const QString &preset)
{
    if (!questions.askName)
        return std::nullopt;
    const std::optional<QString> answer = questions.askName(title, label, preset);
    if (!answer || answer->trimmed().isEmpty())
        return std::nullopt;
    return answer->trimmed();
}

// The version a save writes into; nullopt when the user cancels. Asked before anything is
// written, so that a cancelled save leaves no project the user never saved.
std::optional<QString>
chooseVersion(const FirmwareProject &project, bool unchanged, const VersionQuestions &questions)
{
    if (unchanged)
        return OriginalName;
    if (project.versionName.isEmpty() || project.versionName == OriginalName)
        return askVersionName(questions, QStringLiteral("Salva versione"),
                              QStringLiteral("Nome della versione modificata:"),
                              QStringLiteral("Stage 1"));
    const VersionQuestions::Choice choice = questions.askChoice
                                                ? questions.askChoice(project.versionName)
                                                : VersionQuestions::Choice::Cancel;
    if (choice == VersionQuestions::Choice::Cancel)
        return std::nullopt;
    if (choice == VersionQuestions::Choice::NewVersion)
        return askVersionName(questions, QStringLiteral("Nuova versione"),
                              QStringLiteral("Nome della nuova versione:"), QString());
    return project.versionName;
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

    const std::optional<QString> versionName = chooseVersion(project, unchanged, questions);
    if (!versionName)
        return false;

    if (!store.ensureRoot())
        return false;
    project.originalBytes = original;
    if (project.projectFolder.isEmpty())
        project.projectFolder = store.folderForNewProject(project.fileName, project.originalBytes);
    const QString folder = project.projectFolder;
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
    if (!unchanged) {
        const QString versions = folder + QLatin1Char('/') + VersionsFolder;
        targetFolder = versions + QLatin1Char('/') + sanitizeFolderName(*versionName);
        if (!QDir().mkpath(versions))
            return false;
    }

    // The three files of the version become visible together (see writeVersionFolder).
    const QString firmwarePath = targetFolder + QLatin1Char('/') + FirmwareBin;
    VersionFiles files;
    files.firmware = current;
    files.maps = mapPackBytes(project.maps, current);
    files.record = QJsonDocument(versionJson(*versionName, savedAt, modified))
                       .toJson(QJsonDocument::Indented);
    if (!writeVersionFolder(targetFolder, files)) {
        qDebug().noquote() << "Errore salvataggio mappe progetto:"
                           << QStringLiteral("Errore durante la scrittura del pacchetto mappe.");
        return false;
    }

    project.versionName = *versionName;
    project.savedFirmwarePath = firmwarePath;
    project.modified = false;
    project.hasBeenSaved = true;
    return true;
}
