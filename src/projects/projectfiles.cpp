#include "projectfiles.h"

#include "model/firmwareproject.h"
#include "model/sha256.h"
#include "platform/platform.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>

#include <iterator>

namespace ProjectFiles {

namespace {

const QLatin1String SavedAtFormat("dd/MM/yyyy HH:mm");
// project.json and version.json are a few hundred bytes; a huge one is not ours.
constexpr qint64 MaxJsonFileSize = 16 * 1024 * 1024;

const char *const StringKeys[]
    = {"ecu",       "software",   "calibration", "hardware",     "upgrade",
       "ecuNumber", "engineCode", "customer",    "vehicleBrand", "vehicleModel",
       "engine",    "year",       "notes",       "fileName",     "fileExtension"};

QString *recordField(FirmwareProject &r, int index)
{
    QString *fields[]
        = {&r.ecu,       &r.software,   &r.calibration, &r.hardware,     &r.upgrade,
           &r.ecuNumber, &r.engineCode, &r.customer,    &r.vehicleBrand, &r.vehicleModel,
           &r.engine,    &r.year,       &r.notes,       &r.fileName,     &r.fileExtension};
    return fields[index];
}

bool isReservedDeviceName(const QString &name)
{
    // Windows treats these as devices whatever extension follows.
    const QString stem = name.section(QLatin1Char('.'), 0, 0).trimmed().toUpper();
    static const QStringList fixed = {QStringLiteral("CON"), QStringLiteral("PRN"),
                                      QStringLiteral("AUX"), QStringLiteral("NUL")};
    if (fixed.contains(stem))
        return true;
    if (stem.size() == 4
        && (stem.startsWith(QLatin1String("COM")) || stem.startsWith(QLatin1String("LPT"))))
        return stem.at(3) >= QLatin1Char('1') && stem.at(3) <= QLatin1Char('9');
    return false;
}

} // namespace

QString openedVersionText(const QString &projectFolder, const QString &versionName)
{
    return QStringLiteral("Progetto aperto: %1 - %2")
        .arg(QDir(projectFolder).dirName(), versionName);
}

QString sanitizeFolderName(const QString &name)
{
    QString result = name;
    for (QChar &c : result) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7F || u == '\\' || u == '/' || u == ':' || u == '*' || u == '?'
            || u == '"' || u == '<' || u == '>' || u == '|')
            c = QLatin1Char('_');
    }
    if (result.isEmpty())
        return QStringLiteral("_");
    for (qsizetype i = result.size() - 1; i >= 0; --i) {
        const QChar c = result.at(i);
        if (c != QLatin1Char('.') && !c.isSpace())
            break;
        result[i] = QLatin1Char('_');
    }
    if (isReservedDeviceName(result))
        result.prepend(QLatin1Char('_'));
    return result;
}

QString savedAtText(const QDateTime &when)
{
    return when.toString(SavedAtFormat);
}

QDateTime parseSavedAt(const QString &text)
{
    return QDateTime::fromString(text, SavedAtFormat);
}

QJsonObject projectJson(const FirmwareProject &record, const QString &savedAt)
{
    QJsonObject o;
    FirmwareProject &r = const_cast<FirmwareProject &>(record);
    for (int i = 0; i < int(std::size(StringKeys)); ++i)
        o.insert(QLatin1String(StringKeys[i]), *recordField(r, i));
    o.insert(QStringLiteral("fileSize"), double(record.fileSize));
    o.insert(QStringLiteral("originalSha256"),
             QString::fromLatin1(sha256(record.originalBytes).toHex()));
    o.insert(QStringLiteral("savedAt"), savedAt);
    o.insert(QStringLiteral("projectFormat"), ProjectFormat);
    return o;
}

void applyProjectJson(FirmwareProject &record, const QJsonObject &object)
{
    for (int i = 0; i < int(std::size(StringKeys)); ++i)
        *recordField(record, i) = object.value(QLatin1String(StringKeys[i])).toString();
    record.fileSize = object.value(QStringLiteral("fileSize")).toInteger();
}

QJsonObject versionJson(const QString &name, const QString &savedAt, bool modified)
{
    QJsonObject o;
    o.insert(QStringLiteral("name"), name);
    o.insert(QStringLiteral("savedAt"), savedAt);
    o.insert(QStringLiteral("modified"), modified);
    return o;
}

bool readJsonObject(const QString &path, QJsonObject *object, bool *cannotRead)
{
    if (cannotRead)
        *cannotRead = true;
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return false;
    if (cannotRead)
        *cannotRead = false;
    if (file.size() > MaxJsonFileSize)
        return false;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;
    if (object)
        *object = document.object();
    return true;
}

namespace {

// A save must reach the disk in the order it makes its files visible: each file written and
// each rename is followed by a sync of the folder that lists it. A folder that cannot be
// synced leaves the save as it is, as QSaveFile does with a file.
bool syncFolderOf(const QString &path)
{
    return Platform::syncFolder(QFileInfo(path).absolutePath());
}

} // namespace

bool writeFileAtomically(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit())
        return false;
    syncFolderOf(path);
    return true;
}

bool writeJsonAtomically(const QString &path, const QJsonObject &object)
{
    return writeFileAtomically(path, QJsonDocument(object).toJson(QJsonDocument::Indented));
}

bool copyFileAtomically(const QString &source, const QString &destination)
{
    QFile in(source);
    if (!QFileInfo(source).isFile() || !in.open(QIODevice::ReadOnly))
        return false;
    const QString canonical = QFileInfo(destination).canonicalFilePath();
    if (!canonical.isEmpty() && canonical == QFileInfo(source).canonicalFilePath())
        return true;
    QSaveFile out(destination);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    char buffer[1 << 16];
    for (;;) {
        const qint64 n = in.read(buffer, sizeof buffer);
        if (n < 0 || (n > 0 && out.write(buffer, n) != n)) {
            out.cancelWriting();
            return false;
        }
        if (n == 0)
            break;
    }
    if (!out.commit())
        return false;
    syncFolderOf(destination);
    return true;
}

bool isLink(const QString &path)
{
    const QFileInfo info(path);
    return info.isSymLink() || info.isJunction() || info.isShortcut();
}

bool removeTreeWithoutFollowingLinks(const QString &folder)
{
    const QFileInfo top(folder);
    if (isLink(folder)) {
        // The link itself is what was asked to go; never what it points at.
        return QFile::remove(folder) || QDir().rmdir(folder);
    }
    if (!top.exists())
        return true;
    if (!top.isDir())
        return QFile::remove(folder);
    bool ok = true;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        if (isLink(path)) {
            if (!QFile::remove(path) && !QDir().rmdir(path))
                ok = false;
        } else if (info.isDir()) {
            ok = removeTreeWithoutFollowingLinks(path) && ok;
        } else {
            if (!QFile::remove(path)) {
                QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
                ok = QFile::remove(path) && ok;
            }
        }
    }
    return QDir().rmdir(folder) && ok;
}

namespace {

const QLatin1String StagingSuffix(".saving");
const QLatin1String ReplacedSuffix(".replaced");

QString besideFolder(const QString &folder, QLatin1String suffix)
{
    const QFileInfo info(folder);
    return info.path() + QStringLiteral("/.") + info.fileName() + suffix;
}

// version.json is written last, so a staging folder holding it holds the whole version.
bool isCompleteStaging(const QString &staging)
{
    return QFileInfo(staging + QLatin1Char('/') + VersionJson).isFile();
}

// Moves what the old folder held beyond the files a save writes into the new one.
void keepOtherEntries(const QString &from, const QString &to)
{
    const QStringList names
        = QDir(from).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        const QString target = to + QLatin1Char('/') + name;
        if (!QFileInfo::exists(target) && !QFileInfo(target).isSymLink())
            QDir().rename(from + QLatin1Char('/') + name, target);
    }
}

void finishInterruptedSave(const QString &folder)
{
    const QString staging = besideFolder(folder, StagingSuffix);
    const QString replaced = besideFolder(folder, ReplacedSuffix);
    const bool stagingExists = QFileInfo(staging).isDir();
    const bool replacedExists = QFileInfo(replaced).isDir();
    if (!stagingExists && !replacedExists)
        return; // every read of a project passes here; nothing was interrupted
    if (!QFileInfo(folder).isDir()) {
        if (stagingExists && isCompleteStaging(staging))
            QDir().rename(staging, folder);
        else if (replacedExists)
            QDir().rename(replaced, folder);
        syncFolderOf(folder);
    }
    const bool folderExists = QFileInfo(folder).isDir();
    if (folderExists && QFileInfo(replaced).isDir()) {
        keepOtherEntries(replaced, folder);
        Platform::syncFolder(folder);
        removeTreeWithoutFollowingLinks(replaced);
    }
    if (QFileInfo(staging).isDir() && (folderExists || !isCompleteStaging(staging)))
        removeTreeWithoutFollowingLinks(staging);
}

} // namespace

bool isSaveInProgressName(const QString &name)
{
    return name.startsWith(QLatin1Char('.'))
           && (name.endsWith(StagingSuffix) || name.endsWith(ReplacedSuffix));
}

void finishInterruptedSaves(const QString &projectFolder)
{
    finishInterruptedSave(projectFolder + QLatin1Char('/') + OriginalFolder);
    const QDir versions(projectFolder + QLatin1Char('/') + VersionsFolder);
    const QStringList names
        = versions.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        if (!isSaveInProgressName(name))
            continue;
        const QString version = name.mid(1, name.size() - 1
                                                 - (name.endsWith(StagingSuffix)
                                                        ? StagingSuffix.size()
                                                        : ReplacedSuffix.size()));
        finishInterruptedSave(versions.absoluteFilePath(version));
    }
}

bool writeVersionFolder(const QString &folder, const VersionFiles &files)
{
    finishInterruptedSave(folder);
    const QString staging = besideFolder(folder, StagingSuffix);
    if (!removeTreeWithoutFollowingLinks(staging) || !QDir().mkpath(staging))
        return false;
    const auto in = [&](const QString &name) -> QString { return staging + QLatin1Char('/') + name; };
    if (!writeFileAtomically(in(FirmwareBin), files.firmware)
        || !writeFileAtomically(in(MapsTvp), files.maps)
        || !writeFileAtomically(in(VersionJson), files.record)) {
        removeTreeWithoutFollowingLinks(staging);
        return false;
    }
    if (!QFileInfo::exists(folder)) {
        if (QDir().rename(staging, folder)) {
            syncFolderOf(folder);
            return true;
        }
        removeTreeWithoutFollowingLinks(staging);
        return false;
    }
    const QString replaced = besideFolder(folder, ReplacedSuffix);
    if (!QDir().rename(folder, replaced)) {
        removeTreeWithoutFollowingLinks(staging);
        return false;
    }
    if (!QDir().rename(staging, folder)) {
        QDir().rename(replaced, folder);
        removeTreeWithoutFollowingLinks(staging);
        return false;
    }
    syncFolderOf(folder); // the swap is on the disk before the old version goes
    keepOtherEntries(replaced, folder);
    Platform::syncFolder(folder);
    removeTreeWithoutFollowingLinks(replaced);
    return true;
}

} // namespace ProjectFiles
