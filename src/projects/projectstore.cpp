#include "projectstore.h"

#include "model/firmware.h"
#include "model/mappack.h"
#include "model/sha256.h"
#include "platform/platform.h"
#include "projectfiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

using namespace ProjectFiles;

namespace {

QString cleanAbsolute(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

bool sameParent(const QString &parent, const QString &path)
{
    const QString p = cleanAbsolute(path);
    const QFileInfo info(p);
    const QString name = info.fileName();
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    return QDir::cleanPath(info.absolutePath()) == cleanAbsolute(parent);
}

QString fileSha256(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return {};
    return QString::fromLatin1(hash.result().toHex());
}

bool isEmptyFolder(const QString &path)
{
    return QDir(path).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System
                              | QDir::NoDotAndDotDot);
}

} // namespace

ProjectStore::ProjectStore()
    : m_root(defaultRoot())
{
}

ProjectStore::ProjectStore(const QString &root)
    : m_root(cleanAbsolute(root))
{
}

QString ProjectStore::defaultRoot()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)
           + QStringLiteral("/Projects");
}

bool ProjectStore::ensureRoot() const
{
    return !m_root.isEmpty() && QDir().mkpath(m_root);
}

bool ProjectStore::isDirectChild(const QString &parent, const QString &path) const
{
    return sameParent(parent, path);
}

QString ProjectStore::folderForNewProject(const QString &fileName,
                                          const QByteArray &originalBytes) const
{
    const QString base = QFileInfo(fileName).completeBaseName();
    const QString name = sanitizeFolderName(
        fileName.isEmpty() || base.isEmpty() ? QStringLiteral("Project") : base);
    const QString fingerprint = QString::fromLatin1(sha256(originalBytes).toHex());
    for (int n = 1;; ++n) {
        const QString folder = m_root + QLatin1Char('/')
                               + (n == 1 ? name : QStringLiteral("%1 (%2)").arg(name).arg(n));
        const QFileInfo info(folder);
        if (!info.exists() && !info.isSymLink())
            return folder;
        if (!info.isDir() || isLink(folder))
            continue;
        QJsonObject record;
        if (readJsonObject(folder + QLatin1Char('/') + ProjectJson, &record)) {
            if (originalFingerprint(folder, record).compare(fingerprint, Qt::CaseInsensitive) == 0)
                return folder;
            continue;
        }
        // Left behind by a save that failed before writing anything, or that stopped before
        // project.json after writing this same original: nothing else to overwrite.
        if (isEmptyFolder(folder)
            || originalFingerprint(folder, QJsonObject()).compare(fingerprint, Qt::CaseInsensitive)
                   == 0)
            return folder;
    }
}

QList<ProjectEntry> ProjectStore::listProjects() const
{
    QList<ProjectEntry> projects;
    const QDir root(m_root);
    if (m_root.isEmpty() || !root.exists())
        return projects;
    const QStringList names
        = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QString &name : names) {
        ProjectEntry entry;
        entry.folder = m_root + QLatin1Char('/') + name;
        entry.name = name;
        if (!readJsonObject(entry.folder + QLatin1Char('/') + ProjectJson, &entry.record))
            continue;
        projects.append(entry);
    }
    return projects;
}

QList<VersionEntry> ProjectStore::listVersions(const QString &projectFolder)
{
    finishInterruptedSaves(projectFolder);
    QList<VersionEntry> versions;
    VersionEntry original;
    original.name = OriginalName;
    original.folder = projectFolder + QLatin1Char('/') + OriginalFolder;
    original.isOriginal = true;
    QJsonObject originalRecord;
    if (readJsonObject(original.folder + QLatin1Char('/') + VersionJson, &originalRecord))
        original.savedAt = originalRecord.value(QStringLiteral("savedAt")).toString();
    versions.append(original);

    const QDir dir(projectFolder + QLatin1Char('/') + VersionsFolder);
    QList<VersionEntry> named;
    const QStringList names = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &name : names) {
        if (isSaveInProgressName(name))
            continue;
        VersionEntry entry;
        entry.folder = dir.absoluteFilePath(name);
        QJsonObject record;
        if (!readJsonObject(entry.folder + QLatin1Char('/') + VersionJson, &record))
            continue;
        entry.name = record.value(QStringLiteral("name")).toString();
        if (entry.name.trimmed().isEmpty())
            entry.name = name;
        entry.savedAt = record.value(QStringLiteral("savedAt")).toString();
        named.append(entry);
    }
    std::stable_sort(named.begin(), named.end(), [](const VersionEntry &a, const VersionEntry &b) {
        const QDateTime da = parseSavedAt(a.savedAt);
        const QDateTime db = parseSavedAt(b.savedAt);
        if (da.isValid() != db.isValid())
            return da.isValid();
        return da < db;
    });
    versions.append(named);
    return versions;
}

QString ProjectStore::originalFingerprint(const QString &projectFolder, const QJsonObject &record)
{
    const QString stored = record.value(QStringLiteral("originalSha256")).toString().trimmed();
    if (!stored.isEmpty())
        return stored.toLower();
    return fileSha256(projectFolder + QLatin1Char('/') + OriginalFolder + QLatin1Char('/')
                      + FirmwareBin);
}

bool ProjectStore::removeProject(const QString &projectFolder) const
{
    if (m_root.isEmpty() || !isDirectChild(m_root, projectFolder))
        return false;
    return removeTreeWithoutFollowingLinks(cleanAbsolute(projectFolder));
}

bool ProjectStore::removeVersion(const QString &versionFolder)
{
    const QString folder = cleanAbsolute(versionFolder);
    const QFileInfo info(folder);
    const QString versions = QDir::cleanPath(info.absolutePath());
    if (QFileInfo(versions).fileName() != VersionsFolder || !sameParent(versions, folder))
        return false;
    return removeTreeWithoutFollowingLinks(folder);
}

ProjectStore::RenameResult ProjectStore::renameVersion(const QString &versionFolder,
                                                       const QString &newName,
                                                       QString *newFolder)
{
    const QString trimmed = newName.trimmed();
    const QString folder = cleanAbsolute(versionFolder);
    const QFileInfo info(folder);
    const QString parent = QDir::cleanPath(info.absolutePath());
    if (trimmed.isEmpty() || QFileInfo(parent).fileName() != VersionsFolder || !info.isDir())
        return RenameResult::Failed;
    const QString target = parent + QLatin1Char('/') + sanitizeFolderName(trimmed);
    if (target != folder) {
        const QFileInfo targetInfo(target);
        if (targetInfo.exists() || targetInfo.isSymLink())
            return RenameResult::NameExists;
        if (!QDir().rename(folder, target))
            return RenameResult::Failed;
        Platform::syncFolder(parent);
    }
    const QString jsonPath = target + QLatin1Char('/') + VersionJson;
    QJsonObject record;
    readJsonObject(jsonPath, &record);
    record.insert(QStringLiteral("name"), trimmed);
    if (!writeJsonAtomically(jsonPath, record))
        return RenameResult::Failed;
    if (newFolder)
        *newFolder = target;
    return RenameResult::Renamed;
}

OpenedVersion ProjectStore::openOriginal(const QString &projectFolder)
{
    finishInterruptedSaves(projectFolder);
    OpenedVersion opened;
    const QString jsonPath = projectFolder + QLatin1Char('/') + ProjectJson;
    const QString firmwarePath
        = projectFolder + QLatin1Char('/') + OriginalFolder + QLatin1Char('/') + FirmwareBin;
    if (!QFileInfo(jsonPath).isFile() || !QFileInfo(firmwarePath).isFile()) {
        opened.error = QStringLiteral("Il progetto selezionato è incompleto.");
        return opened;
    }
    bool cannotRead = false;
    if (!readJsonObject(jsonPath, &opened.record, &cannotRead)) {
        opened.error = cannotRead ? QStringLiteral("Impossibile leggere project.json.")
                                  : QStringLiteral("Il file project.json non è valido.");
        return opened;
    }
    auto firmware = std::make_unique<Firmware>();
    if (!firmware->load(firmwarePath.toStdString())) {
        opened.error = QStringLiteral("Impossibile caricare il firmware originale del progetto.");
        return opened;
    }
    MapPackData pack;
    const QString packPath
        = projectFolder + QLatin1Char('/') + OriginalFolder + QLatin1Char('/') + MapsTvp;
    if (QFileInfo(packPath).isFile() && readMapPack(packPath, pack))
        opened.maps = pack.maps;
    opened.originalBytes = QByteArray(reinterpret_cast<const char *>(firmware->data().data()),
                                      qsizetype(firmware->size()));
    opened.firmware = std::move(firmware);
    opened.versionName = OriginalName;
    opened.firmwarePath = firmwarePath;
    return opened;
}

OpenedVersion ProjectStore::openVersion(const QString &projectFolder, const VersionEntry &version)
{
    finishInterruptedSaves(projectFolder);
    OpenedVersion opened;
    bool cannotRead = false;
    if (!readJsonObject(projectFolder + QLatin1Char('/') + ProjectJson, &opened.record,
                        &cannotRead)) {
        opened.error = cannotRead ? QStringLiteral("Impossibile leggere project.json.")
                                  : QStringLiteral("Il file project.json non è valido.");
        return opened;
    }
    const QString originalPath
        = projectFolder + QLatin1Char('/') + OriginalFolder + QLatin1Char('/') + FirmwareBin;
    if (!QFileInfo(originalPath).isFile()) {
        opened.error = QStringLiteral("Firmware originale non trovato.");
        return opened;
    }
    {
        Firmware original;
        if (!original.load(originalPath.toStdString())) {
            opened.error = QStringLiteral("Impossibile leggere il firmware originale.");
            return opened;
        }
        opened.originalBytes = QByteArray(reinterpret_cast<const char *>(original.data().data()),
                                          qsizetype(original.size()));
    }
    const QString folder
        = version.isOriginal ? projectFolder + QLatin1Char('/') + OriginalFolder : version.folder;
    const QString firmwarePath = folder + QLatin1Char('/') + FirmwareBin;
    if (!QFileInfo(firmwarePath).isFile()) {
        opened.error = QStringLiteral("Il firmware della versione selezionata non esiste.");
        return opened;
    }
    auto firmware = std::make_unique<Firmware>();
    if (!firmware->load(firmwarePath.toStdString())) {
        opened.error = QStringLiteral("Impossibile caricare il firmware selezionato.");
        return opened;
    }
    // Every view compares the image with its original cell by cell; a version file of
    // another length (changed outside the program) has no such reference.
    if (qsizetype(firmware->size()) != opened.originalBytes.size()) {
        opened.error = QStringLiteral(
            "Il firmware della versione selezionata non ha la stessa lunghezza dell'originale.");
        return opened;
    }
    MapPackData pack;
    const QString packPath = folder + QLatin1Char('/') + MapsTvp;
    if (QFileInfo(packPath).isFile() && readMapPack(packPath, pack))
        opened.maps = pack.maps;
    opened.firmware = std::move(firmware);
    opened.versionName = version.isOriginal ? OriginalName : version.name;
    opened.firmwarePath = firmwarePath;
    return opened;
}
