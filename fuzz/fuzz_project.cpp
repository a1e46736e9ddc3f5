// The project readers over a project folder whose files are the input: project.json, the
// version records, the map packs and the images (pieces separated by "#FILE#", in the order
// of Files below). Listing and opening give a document or a message, never both or neither.
#include "fuzzcheck.h"
#include "model/firmware.h"
#include "projects/projectfiles.h"
#include "projects/projectstore.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>

namespace {

const char *const Files[] = {
    "P/project.json",         "P/Originale/firmware.bin",        "P/Originale/maps.tvp",
    "P/Originale/version.json", "P/Versioni/A/version.json",     "P/Versioni/A/firmware.bin",
    "P/Versioni/A/maps.tvp",  "P/Versioni/B/version.json",
};

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    TESSA_FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    TESSA_FUZZ_CHECK(file.write(bytes) == bytes.size());
}

void checkOpened(const OpenedVersion &opened)
{
    TESSA_FUZZ_CHECK(opened.error.isEmpty() == bool(opened.firmware));
    if (!opened.firmware)
        return;
    TESSA_FUZZ_CHECK(opened.firmware->size() > 0);
    TESSA_FUZZ_CHECK(qsizetype(opened.firmware->size()) == opened.originalBytes.size());
    TESSA_FUZZ_CHECK(!opened.versionName.isEmpty() && !opened.firmwarePath.isEmpty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir(fuzzScratchRoot() + QStringLiteral("/tessa-fuzz-XXXXXX"));
    const QString root = dir.path() + QStringLiteral("/Projects");
    QDir(root).removeRecursively();
    for (const char *folder : {"P/Originale", "P/Versioni/A", "P/Versioni/B"})
        TESSA_FUZZ_CHECK(QDir().mkpath(root + QLatin1Char('/') + QLatin1String(folder)));

    const QByteArray input
        = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const QByteArray separator("#FILE#");
    QList<QByteArray> files;
    for (qsizetype from = 0;;) {
        const qsizetype at = input.indexOf(separator, from);
        files.append(input.mid(from, at < 0 ? -1 : at - from));
        if (at < 0)
            break;
        from = at + separator.size();
    }
    for (qsizetype i = 0; i < files.size() && i < qsizetype(std::size(Files)); ++i)
        writeFile(root + QLatin1Char('/') + QLatin1String(Files[i]), files[i]);

    const ProjectStore store(root);
    const QList<ProjectEntry> projects = store.listProjects();
    TESSA_FUZZ_CHECK(projects.size() <= 1);
    const QString folder = root + QStringLiteral("/P");
    checkOpened(ProjectStore::openOriginal(folder));
    const QList<VersionEntry> versions = ProjectStore::listVersions(folder);
    TESSA_FUZZ_CHECK(!versions.isEmpty() && versions.first().isOriginal);
    for (const VersionEntry &version : versions) {
        TESSA_FUZZ_CHECK(!version.name.isEmpty());
        checkOpened(ProjectStore::openVersion(folder, version));
    }
    QJsonObject record;
    if (ProjectFiles::readJsonObject(folder + QStringLiteral("/project.json"), &record))
        (void)ProjectStore::originalFingerprint(folder, record);
    return 0;
}
