#pragma once

#include "model/mapdefinition.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <memory>

class Firmware;

// One saved project as the browser lists it.
struct ProjectEntry
{
    QString folder; // absolute path
    QString name;   // the folder's name
    QJsonObject record;
};

// One version of a project: the original or a folder under "Versioni".
struct VersionEntry
{
    QString name;
    QString savedAt;
    QString folder; // absolute path of the folder holding its firmware.bin
    bool isOriginal = false;
};

// What opening a project or one of its versions reads from disk. error is blank on success.
struct OpenedVersion
{
    std::unique_ptr<Firmware> firmware;
    QList<MapDefinition> maps;
    QByteArray originalBytes;
    QJsonObject record;
    QString versionName;
    QString firmwarePath;
    QString error;
};

// The tree of saved projects under one root folder (the application data folder followed by
// "/Projects"; tests give a temporary folder). Every path it hands out or accepts for removal
// lies below that root.
class ProjectStore
{
public:
    ProjectStore();
    explicit ProjectStore(const QString &root);

    static QString defaultRoot();
    const QString &root() const { return m_root; }
    bool ensureRoot() const;

    // The folder a document without one saves into: named after the file's complete base
    // name ("Project" without a name). A folder of that name that holds a project of another
    // original image is never reused: the first free one among "<name> (2)", "<name> (3)", …
    // is taken instead. Projects of the same original share their folder.
    QString folderForNewProject(const QString &fileName, const QByteArray &originalBytes) const;

    // Projects whose project.json reads as a JSON object, by folder name.
    QList<ProjectEntry> listProjects() const;
    // "Originale" first, then the readable versions under "Versioni" oldest first.
    static QList<VersionEntry> listVersions(const QString &projectFolder);

    // The fingerprint of a project's original: its "originalSha256", or the SHA-256 of
    // "Originale/firmware.bin" when that key is blank; blank when neither can be had.
    static QString originalFingerprint(const QString &projectFolder, const QJsonObject &record);

    // Removes one project folder below the root; false for anything else.
    bool removeProject(const QString &projectFolder) const;
    // Removes one version folder below the project's "Versioni"; false for anything else.
    static bool removeVersion(const QString &versionFolder);

    enum class RenameResult { Renamed, NameExists, Failed };
    // Renames a version folder after newName (trimmed, made a safe folder name) and sets
    // "name" in its version.json to the trimmed name.
    static RenameResult renameVersion(const QString &versionFolder,
                                      const QString &newName,
                                      QString *newFolder = nullptr);

    // Reads what opening a project's original needs (messages of "Apri progetto").
    static OpenedVersion openOriginal(const QString &projectFolder);
    // Reads what opening one version needs, with the project's original as reference.
    static OpenedVersion openVersion(const QString &projectFolder, const VersionEntry &version);

private:
    bool isDirectChild(const QString &parent, const QString &path) const;

    QString m_root;
};
