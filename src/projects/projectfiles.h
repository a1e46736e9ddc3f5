#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>

struct FirmwareProject;

// File names and JSON records of a project folder, and the file operations a save and a
// deletion rely on. No widgets, no questions.
namespace ProjectFiles {

inline const QString ProjectJson = QStringLiteral("project.json");
inline const QString VersionJson = QStringLiteral("version.json");
inline const QString FirmwareBin = QStringLiteral("firmware.bin");
inline const QString MapsTvp = QStringLiteral("maps.tvp");
inline const QString OriginalFolder = QStringLiteral("Originale");
inline const QString VersionsFolder = QStringLiteral("Versioni");
inline const QString OriginalName = QStringLiteral("Originale");
constexpr int ProjectFormat = 2;

// A folder name made from a file or version name. Characters Windows forbids become "_";
// so do dots and blanks at the end (Windows strips them) and the whole of an empty name,
// so that the result is never empty, ".", ".." or a device name, and always names a
// folder of its own below its parent.
QString sanitizeFolderName(const QString &name);

// The status line after a version was reopened: the project (its folder's name) and the
// version, since the image file of every version is called "firmware.bin".
QString openedVersionText(const QString &projectFolder, const QString &versionName);

// "dd/MM/yyyy HH:mm" of the save.
QString savedAtText(const QDateTime &when);
// The date of a "savedAt" text; invalid when it does not parse.
QDateTime parseSavedAt(const QString &text);

// The project record of a document.
QJsonObject projectJson(const FirmwareProject &record, const QString &savedAt);
// The string keys and "fileSize" of a project record, copied into a document record.
void applyProjectJson(FirmwareProject &record, const QJsonObject &object);
QJsonObject versionJson(const QString &name, const QString &savedAt, bool modified);

// Reads a file that must hold a JSON object. Returns false with cannotRead set when the
// file cannot be read, or false with cannotRead clear when it is not a JSON object.
bool readJsonObject(const QString &path, QJsonObject *object, bool *cannotRead = nullptr);

// Whole-file writes that replace the target only when everything was written.
bool writeFileAtomically(const QString &path, const QByteArray &bytes);
bool writeJsonAtomically(const QString &path, const QJsonObject &object);

// Copies a file so that the destination is either the whole source or left as it was;
// copying a file onto itself changes nothing.
bool copyFileAtomically(const QString &source, const QString &destination);

// The files of one version folder ("Originale" or a folder under "Versioni"), replaced
// together: they are written into a staging folder beside it, version.json last, which then
// takes the folder's place. A crash at any moment leaves the folder with all its old files or
// all its new ones; files of the folder that a save does not write are kept.
struct VersionFiles
{
    QByteArray firmware;
    QByteArray maps;
    QByteArray record;
};
bool writeVersionFolder(const QString &folder, const VersionFiles &files);
// Completes or undoes what a save cut short by a crash left beside the version folders of a
// project (a complete staging folder takes the place of the version, an incomplete one goes).
// Everything that reads a project calls it first.
void finishInterruptedSaves(const QString &projectFolder);
// Whether a folder name is one that a save uses while it runs, never a version.
bool isSaveInProgressName(const QString &name);

// Whether path is a symbolic link, a Windows junction or shortcut: something whose
// removal must never reach what it points at.
bool isLink(const QString &path);
// Removes the folder and everything in it without following any link inside it; a link
// is removed as a link. False when something could not be removed.
bool removeTreeWithoutFollowingLinks(const QString &folder);

} // namespace ProjectFiles
