#include "model/fingerprint.h"
#include "model/firmwareproject.h"
#include "model/mappack.h"
#include "projects/projectfiles.h"
#include "projects/projectmatch.h"
#include "projects/projectsaver.h"
#include "projects/projectstore.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "firmwarefixture.h"
#include "testsupport.h"

using Choice = VersionQuestions::Choice;

namespace {

using testsupport::addRow;
using testsupport::byteOf;
using testsupport::readFile;

QJsonObject readObject(const QString &path)
{
    return QJsonDocument::fromJson(readFile(path)).object();
}

QJsonValue jsonValue(const QString &path, const char *key)
{
    return readObject(path).value(QLatin1String(key));
}

void writeText(const QString &path, const QByteArray &bytes)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QVERIFY(ProjectFiles::writeFileAtomically(path, bytes));
}

// A new document of the image with one map.
std::unique_ptr<FirmwareProject> document(const QString &fileName, const QByteArray &bytes)
{
    auto record = std::make_unique<FirmwareProject>();
    record->firmware = std::make_unique<Firmware>();
    record->firmware->setData(bytes.constData(), std::size_t(bytes.size()));
    record->originalBytes = bytes;
    record->fileName = fileName;
    record->fileSize = bytes.size();
    record->maps = {testsupport::mapGrid(4, 1, 2, QStringLiteral("Coppia"))};
    return record;
}

void edit(FirmwareProject &record, int offset, char value)
{
    record.firmware->data()[std::size_t(offset)] = uint8_t(value);
    record.modified = true;
}

} // namespace

class TestProjectStore : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    ProjectStore m_store;
    QStringList m_asked; // the questions of the last save, "title|label|preset" or "choice|name"
    const QByteArray m_image = QByteArray(64, '\x20') + QByteArray("tail");

    QString originalOf(const FirmwareProject &record) const
    {
        return record.projectFolder + QStringLiteral("/Originale/firmware.bin");
    }

    // Saves with scripted answers: names for the name questions, choices for the question of
    // a later save, existing for the one about a project already there; what runs out answers
    // "cancel".
    bool save(FirmwareProject &record,
              QList<std::optional<QString>> names = {},
              QList<Choice> choices = {},
              QList<Choice> existing = {})
    {
        m_asked.clear();
        VersionQuestions q;
        q.askName = [&](const QString &title, const QString &label, const QString &preset) {
            m_asked << title + QLatin1Char('|') + label + QLatin1Char('|') + preset;
            return names.isEmpty() ? std::optional<QString>() : names.takeFirst();
        };
        q.askChoice = [&](const QString &name) {
            m_asked << QStringLiteral("choice|") + name;
            return choices.isEmpty() ? Choice::Cancel : choices.takeFirst();
        };
        q.askExisting = [&](const QString &name) {
            m_asked << QStringLiteral("existing|") + name;
            return existing.isEmpty() ? Choice::Cancel : existing.takeFirst();
        };
        return saveProject(record, m_store, q);
    }

    // "ecu.bin" with byte 1 changed, saved as "Stage 1"; null if the save failed.
    std::unique_ptr<FirmwareProject> savedStage1()
    {
        auto record = document(QStringLiteral("ecu.bin"), m_image);
        edit(*record, 1, 'A');
        return save(*record, {QStringLiteral("Stage 1")}) ? std::move(record) : nullptr;
    }

    // A project written by hand, its fingerprint in capitals as older versions wrote it.
    void addProject(const QString &name, const QByteArray &original, const QJsonObject &fields = {})
    {
        const QString folder = m_store.root() + QLatin1Char('/') + name;
        writeText(folder + QStringLiteral("/Originale/firmware.bin"), original);
        QJsonObject record{
            {QStringLiteral("fileSize"), double(original.size())},
            {QStringLiteral("originalSha256"), imageFingerprint(original).toUpper()}};
        for (auto it = fields.begin(); it != fields.end(); ++it)
            record.insert(it.key(), it.value());
        QVERIFY(
            ProjectFiles::writeJsonAtomically(folder + QStringLiteral("/project.json"), record));
    }

    QList<ProjectMatch> matchesOfImage() const
    {
        EcuIdentification id;
        id.ecuFamily = QStringLiteral("EDC17C46");
        id.softwareNumber = QStringLiteral("1037541778");
        id.hardwareNumber = QStringLiteral("0281017946");
        id.partNumber = QStringLiteral("03L906018JL");
        return findProjectMatches(m_store, m_image, m_image.size(), id);
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_store = ProjectStore(m_dir->filePath(QStringLiteral("Projects")));
    }

    void versionFolderNames_data()
    {
        testsupport::addColumns<QString, QString>({"name", "folder"});
        addRow("plain", {"Stage 1", "Stage 1"});
        addRow("all forbidden", {"a\\b/c:d*e?f\"g<h>i|j", "a_b_c_d_e_f_g_h_i_j"});
        addRow("control character", {"a\tb", "a_b"});
        addRow("empty", {"", "_"});
        addRow("dot", {".", "_"});
        addRow("dot dot", {"..", "__"});
        addRow("climbing", {"../../x", ".._.._x"});
        addRow("trailing blanks", {"v1 . ", "v1___"});
        addRow("leading dot kept", {".v", ".v"});
        addRow("device name", {"CON", "_CON"});
        addRow("device with extension", {"com1.txt", "_com1.txt"});
        addRow("not a device", {"CONSOLE", "CONSOLE"});
    }

    void versionFolderNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, folder);
        QCOMPARE(ProjectFiles::sanitizeFolderName(name), folder);
        if (name.trimmed() != name || name.isEmpty())
            return; // a version name is trimmed, and a blank one refused, before this
        // Saved as a version it lands in that folder, under "Versioni" and nowhere else.
        auto record = document(QStringLiteral("ecu.bin"), m_image);
        edit(*record, 1, 'A');
        QVERIFY(save(*record, {name}));
        const QString version = record->projectFolder + QStringLiteral("/Versioni/") + folder;
        QCOMPARE(byteOf(version + QStringLiteral("/firmware.bin"), 1), 'A');
        QCOMPARE(jsonValue(version + QStringLiteral("/version.json"), "name").toString(), name);
        QCOMPARE(readFile(originalOf(*record)), m_image);
    }

    void unsafeFileNamesStayInsideTheRoot_data()
    {
        testsupport::addColumns<QString, QString>({"fileName", "folder"});
        addRow("dot base", {"..bin", "_"});
        addRow("dot dot base", {"...bin", "__"});
        addRow("no name", {"", "Project"});
        addRow("slash in name", {"a/..bin", "_"});
    }

    void unsafeFileNamesStayInsideTheRoot()
    {
        QFETCH(QString, fileName);
        QFETCH(QString, folder);
        auto record = document(fileName, m_image);
        QVERIFY(save(*record));
        QCOMPARE(record->projectFolder, m_store.root() + QLatin1Char('/') + folder);
        QCOMPARE(readFile(originalOf(*record)), m_image);
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("Projects")});
    }

    void firstSave_data()
    {
        // answer (to the version name question); version (blank: nothing saved)
        testsupport::addColumns<bool, std::optional<QString>, QString>(
            {"edited", "answer", "version"});
        QTest::newRow("unchanged") << false << std::optional<QString>() << "Originale";
        QTest::newRow("changed, named and trimmed")
            << true << std::optional<QString>(QStringLiteral("  Stage 1 ")) << "Stage 1";
        QTest::newRow("changed, cancelled") << true << std::optional<QString>() << "";
        QTest::newRow("changed, blank name")
            << true << std::optional<QString>(QStringLiteral("   ")) << "";
    }

    void firstSave()
    {
        QFETCH(bool, edited);
        QFETCH(std::optional<QString>, answer);
        QFETCH(QString, version);
        auto record = document(QStringLiteral("tessa-demo.bin"), m_image);
        record->customer = QStringLiteral("Rossi");
        if (edited)
            edit(*record, 3, 'X');
        QCOMPARE(save(*record, {answer}), !version.isEmpty());
        QCOMPARE(m_asked, edited ? QStringList{QStringLiteral("Salva versione|Nome della "
                                                              "versione modificata:|Stage 1")}
                                 : QStringList());
        QCOMPARE(record->modified, version.isEmpty());
        // The questions come first: a cancelled save leaves nothing on disk.
        if (version.isEmpty()) {
            QCOMPARE(record->versionName, QStringLiteral("Originale"));
            QVERIFY(record->projectFolder.isEmpty());
            QVERIFY(QDir(m_dir->path()).isEmpty());
            return;
        }
        const QString folder = m_store.root() + QStringLiteral("/tessa-demo");
        QCOMPARE(record->projectFolder, folder);
        QCOMPARE(readFile(originalOf(*record)), m_image);
        const QJsonObject project = readObject(folder + QStringLiteral("/project.json"));
        QCOMPARE(project.value(QStringLiteral("customer")).toString(), QStringLiteral("Rossi"));
        QCOMPARE(project.value(QStringLiteral("fileSize")).toInteger(), qint64(m_image.size()));
        QCOMPARE(project.value(QStringLiteral("originalSha256")).toString().size(), 64);
        QVERIFY(ProjectFiles::parseSavedAt(project.value(QStringLiteral("savedAt")).toString())
                    .isValid());
        QCOMPARE(record->versionName, version);
        const QString target
            = folder
              + (edited ? QStringLiteral("/Versioni/") + version : QStringLiteral("/Originale"));
        QCOMPARE(record->savedFirmwarePath, target + QStringLiteral("/firmware.bin"));
        const QByteArray current = readFile(record->savedFirmwarePath);
        QCOMPARE(byteOf(record->savedFirmwarePath, 3), edited ? 'X' : m_image.at(3));
        QCOMPARE(jsonValue(target + QStringLiteral("/version.json"), "modified").toBool(!edited),
                 edited);
        MapPackData pack;
        QVERIFY(readMapPack(target + QStringLiteral("/maps.tvp"), pack));
        QCOMPARE(pack.maps, record->maps);
        QVERIFY(isCompatible(pack, current));
    }

    void laterSaveAsksHowToSave_data()
    {
        testsupport::addColumns<int, QString, QString>({"choice", "newName", "expectedVersion"});
        QTest::newRow("save into") << int(Choice::SaveInto) << QString() << "Stage 1";
        QTest::newRow("new version") << int(Choice::NewVersion) << "Stage 2" << QString("Stage 2");
        QTest::newRow("cancel") << int(Choice::Cancel) << QString() << QString();
        QTest::newRow("new version cancelled") << int(Choice::NewVersion) << QString() << QString();
    }

    void laterSaveAsksHowToSave()
    {
        QFETCH(int, choice);
        QFETCH(QString, newName);
        QFETCH(QString, expectedVersion);
        auto record = savedStage1();
        QVERIFY(record);
        edit(*record, 2, 'B');
        record->customer = QStringLiteral("Bianchi");
        const bool saved = save(
            *record, {newName.isEmpty() ? std::nullopt : std::optional(newName)}, {Choice(choice)});
        QCOMPARE(saved, !expectedVersion.isEmpty());
        QCOMPARE(m_asked.value(0), QStringLiteral("choice|Stage 1"));
        if (Choice(choice) == Choice::NewVersion)
            QCOMPARE(m_asked.value(1),
                     QStringLiteral("Nuova versione|Nome della nuova versione:|"));
        // project.json is rewritten only by a save that goes ahead.
        QCOMPARE(jsonValue(record->projectFolder + QStringLiteral("/project.json"), "customer"),
                 QJsonValue(saved ? QStringLiteral("Bianchi") : QString()));
        QCOMPARE(record->modified, !saved);
        QCOMPARE(record->versionName, saved ? expectedVersion : QStringLiteral("Stage 1"));
        const QString versions = record->projectFolder + QStringLiteral("/Versioni/");
        QCOMPARE(byteOf(versions + QStringLiteral("Stage 1/firmware.bin"), 2),
                 choice == int(Choice::SaveInto) ? 'B' : m_image.at(2));
        QCOMPARE(QDir(versions).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(),
                 expectedVersion == QLatin1String("Stage 2") ? 2 : 1);
        if (saved)
            QCOMPARE(record->savedFirmwarePath,
                     versions + expectedVersion + QStringLiteral("/firmware.bin"));
    }

    void differentImageNeverOverwritesAProject()
    {
        QByteArray other = m_image;
        other[0] = 'Z';
        auto a = document(QStringLiteral("ecu.bin"), m_image);
        auto b = document(QStringLiteral("ecu.bin"), other);
        auto c = document(QStringLiteral("ecu.hex"), m_image);
        auto d = document(QStringLiteral("ecu.bin"), other);
        // Joining a project that is there already is a question of its own (tested below).
        for (auto *r : {a.get(), b.get(), c.get(), d.get()})
            QVERIFY(save(*r, {}, {}, {Choice::SaveInto}));
        QCOMPARE(a->projectFolder, m_store.root() + QStringLiteral("/ecu"));
        QCOMPARE(b->projectFolder, m_store.root() + QStringLiteral("/ecu (2)"));
        QCOMPARE(c->projectFolder, a->projectFolder);
        QCOMPARE(d->projectFolder, b->projectFolder);
        QCOMPARE(readFile(originalOf(*a)), m_image);
        QCOMPARE(readFile(originalOf(*b)), other);

        // An older record without "originalSha256" is recognised by its original file.
        QJsonObject json = readObject(a->projectFolder + QStringLiteral("/project.json"));
        json.insert(QStringLiteral("originalSha256"), QString());
        QVERIFY(ProjectFiles::writeJsonAtomically(
            a->projectFolder + QStringLiteral("/project.json"), json));
        auto e = document(QStringLiteral("ecu.bin"), m_image);
        QVERIFY(save(*e, {}, {}, {Choice::SaveInto}));
        QCOMPARE(e->projectFolder, a->projectFolder);
        // A folder that is no project but holds files is left alone too.
        writeText(m_store.root() + QStringLiteral("/dump/notes.txt"), "mine");
        auto f = document(QStringLiteral("dump.bin"), m_image);
        QVERIFY(save(*f));
        QCOMPARE(f->projectFolder, m_store.root() + QStringLiteral("/dump (2)"));
        // A first save cut short before project.json left this same original: taken again.
        QVERIFY(QFile::remove(a->projectFolder + QStringLiteral("/project.json")));
        auto g = document(QStringLiteral("ecu.bin"), m_image);
        QVERIFY(save(*g, {}, {}, {Choice::SaveInto}));
        QCOMPARE(g->projectFolder, a->projectFolder);
    }

    void firstSaveIntoAnExistingProject_data()
    {
        // version (blank: nothing saved)
        testsupport::addColumns<bool, int, QString>({"edited", "choice", "version"});
        QTest::newRow("new version") << false << int(Choice::NewVersion) << "Import 2";
        QTest::newRow("new version of an edit") << true << int(Choice::NewVersion) << "Import 2";
        QTest::newRow("new version, no name") << false << int(Choice::NewVersion) << "";
        QTest::newRow("replace") << false << int(Choice::SaveInto) << "Originale";
        QTest::newRow("cancel") << false << int(Choice::Cancel) << "";
    }

    // A second import of a saved original (its maps, one of them cut by hand, and a customer)
    // saved with other maps: the project's original is replaced only when the user says so.
    void firstSaveIntoAnExistingProject()
    {
        QFETCH(bool, edited);
        QFETCH(int, choice);
        QFETCH(QString, version);
        auto first = document(QStringLiteral("tessa-demo.bin"), m_image);
        first->customer = QStringLiteral("Rossi");
        first->maps.append(first->maps.constFirst());
        first->maps.last().name = QStringLiteral("Mappa 2 x 1");
        QVERIFY(save(*first));
        const QString originalPack = first->projectFolder + QStringLiteral("/Originale/maps.tvp");
        const QByteArray before = readFile(originalPack);

        auto second = document(QStringLiteral("tessa-demo.bin"), m_image);
        second->maps.first().name = QStringLiteral("Dal pacchetto");
        if (edited)
            edit(*second, 3, 'X');
        const bool named = Choice(choice) == Choice::NewVersion && !version.isEmpty();
        QCOMPARE(
            save(*second, {named ? std::optional(version) : std::nullopt}, {}, {Choice(choice)}),
            !version.isEmpty());
        QCOMPARE(m_asked.value(0), QStringLiteral("existing|tessa-demo"));
        if (Choice(choice) == Choice::NewVersion)
            QCOMPARE(m_asked.value(1), QStringLiteral("Nuova versione|Nome della nuova versione:|")
                                           + (edited ? QStringLiteral("Stage 1") : QString()));
        QCOMPARE(m_asked.size(), Choice(choice) == Choice::NewVersion ? 2 : 1);
        QCOMPARE(readFile(originalPack) == before, version != QLatin1String("Originale"));
        QCOMPARE(second->versionName, version.isEmpty() ? QStringLiteral("Originale") : version);
        QCOMPARE(second->projectFolder, version.isEmpty() ? QString() : first->projectFolder);
        if (!named)
            return;
        // The version holds the new maps; the project keeps its customer.
        MapPackData pack;
        QVERIFY(readMapPack(first->projectFolder + QStringLiteral("/Versioni/Import 2/maps.tvp"),
                            pack));
        QCOMPARE(pack.maps, second->maps);
        QCOMPARE(second->customer, QStringLiteral("Rossi"));
        QCOMPARE(jsonValue(first->projectFolder + QStringLiteral("/project.json"), "customer"),
                 QJsonValue(QStringLiteral("Rossi")));
    }

    void versionNamesAreNeverTakenTwice()
    {
        auto record = savedStage1();
        QVERIFY(record);
        const QString stage1 = record->projectFolder + QStringLiteral("/Versioni/Stage 1");
        const QByteArray before = readFile(stage1 + QStringLiteral("/firmware.bin"));
        // A new version named like an existing one is asked for again.
        edit(*record, 2, 'B');
        QVERIFY(save(*record, {QStringLiteral("Stage 1"), QStringLiteral("Stage 2")},
                     {Choice::NewVersion}));
        QCOMPARE(m_asked.value(2),
                 QStringLiteral("Nuova versione|Esiste già una versione "
                                "\"Stage 1\".\nNome della nuova versione:|Stage 1"));
        QCOMPARE(readFile(stage1 + QStringLiteral("/firmware.bin")), before);
        QCOMPARE(record->versionName, QStringLiteral("Stage 2"));
        // A version whose bytes went back to the original is saved as that version.
        edit(*record, 1, m_image.at(1));
        edit(*record, 2, m_image.at(2));
        QVERIFY(save(*record, {}, {Choice::SaveInto}));
        QCOMPARE(m_asked, QStringList{QStringLiteral("choice|Stage 2")});
        QCOMPARE(record->savedFirmwarePath,
                 record->projectFolder + QStringLiteral("/Versioni/Stage 2/firmware.bin"));
    }

    void brokenProjectsAreSkipped()
    {
        QVERIFY(matchesOfImage().isEmpty()); // no root yet
        auto record = savedStage1();
        QVERIFY(record);
        writeText(m_store.root() + QStringLiteral("/broken/project.json"), "{ nope");
        writeText(m_store.root() + QStringLiteral("/broken/Originale/firmware.bin"), m_image);
        writeText(m_store.root() + QStringLiteral("/array/project.json"), "[1]");
        QVERIFY(QDir().mkpath(m_store.root() + QStringLiteral("/empty")));
        writeText(record->projectFolder + QStringLiteral("/Versioni/bad/version.json"), "x");
        addProject(QStringLiteral("incomplete"), m_image);
        QVERIFY(
            QFile::remove(m_store.root() + QStringLiteral("/incomplete/Originale/firmware.bin")));

        // The browser lists every record that reads; a match needs the original as well.
        const QList<ProjectEntry> projects = m_store.listProjects();
        QCOMPARE(projects.size(), 2);
        QCOMPARE(projects.at(0).name, QStringLiteral("ecu"));
        QCOMPARE(projects.at(1).name, QStringLiteral("incomplete"));
        const QList<ProjectMatch> matches = matchesOfImage();
        QCOMPARE(matches.size(), 1);
        QCOMPARE(matches.first().name, QStringLiteral("ecu"));
        const QList<VersionEntry> versions = ProjectStore::listVersions(record->projectFolder);
        QCOMPARE(versions.size(), 2);
        QVERIFY(versions.at(0).isOriginal);
        QCOMPARE(versions.at(1).name, QStringLiteral("Stage 1"));
        QVERIFY(ProjectStore(m_dir->filePath(QStringLiteral("none"))).listProjects().isEmpty());
    }

    void renameVersion()
    {
        auto record = savedStage1();
        QVERIFY(record);
        edit(*record, 2, 'B');
        QVERIFY(save(*record, {QStringLiteral("Stage 2")}, {Choice::NewVersion}));

        const QString versions = record->projectFolder + QStringLiteral("/Versioni/");
        QCOMPARE(ProjectStore::renameVersion(versions + QStringLiteral("Stage 2"),
                                             QStringLiteral(" Stage 1 ")),
                 ProjectStore::RenameResult::NameExists);
        QVERIFY(QFileInfo::exists(versions + QStringLiteral("Stage 2/firmware.bin")));

        QString renamed;
        QCOMPARE(ProjectStore::renameVersion(versions + QStringLiteral("Stage 2"),
                                             QStringLiteral("A/B"), &renamed),
                 ProjectStore::RenameResult::Renamed);
        QCOMPARE(renamed, versions + QStringLiteral("A_B"));
        const QJsonObject json = readObject(renamed + QStringLiteral("/version.json"));
        QCOMPARE(json.value(QStringLiteral("name")).toString(), QStringLiteral("A/B"));
        QVERIFY(json.value(QStringLiteral("modified")).toBool()); // other keys kept

        // Only folders under "Versioni" are renamed.
        QCOMPARE(ProjectStore::renameVersion(record->projectFolder + QStringLiteral("/Originale"),
                                             QStringLiteral("x")),
                 ProjectStore::RenameResult::Failed);
    }

    void deletionNeverLeavesItsFolder()
    {
        auto record = savedStage1();
        QVERIFY(record);
        const QString outside = m_dir->filePath(QStringLiteral("outside"));
        const QString precious = outside + QStringLiteral("/precious.bin");
        writeText(precious, "keep");
        const QString version = record->projectFolder + QStringLiteral("/Versioni/Stage 1");
        QVERIFY(QFile::link(outside, version + QStringLiteral("/link")));
        QVERIFY(QFile::link(outside, record->projectFolder + QStringLiteral("/link")));

        QVERIFY(!ProjectStore::removeVersion(record->projectFolder + QStringLiteral("/Originale")));
        QVERIFY(!ProjectStore::removeVersion(outside));
        QVERIFY(ProjectStore::removeVersion(version));
        QVERIFY(!QFileInfo::exists(version));
        QVERIFY(QFileInfo::exists(precious));

        QVERIFY(!m_store.removeProject(m_store.root()));
        QVERIFY(!m_store.removeProject(m_store.root() + QStringLiteral("/..")));
        QVERIFY(!m_store.removeProject(outside));
        QVERIFY(!m_store.removeProject(record->projectFolder + QStringLiteral("/Originale")));
        QVERIFY(QFileInfo::exists(originalOf(*record)));

        // A project folder that is itself a link goes as a link.
        const QString linked = m_store.root() + QStringLiteral("/linked");
        QVERIFY(QFile::link(outside, linked));
        QVERIFY(m_store.removeProject(linked));
        QVERIFY(QFileInfo::exists(precious));

        QVERIFY(m_store.removeProject(record->projectFolder));
        QVERIFY(!QFileInfo::exists(record->projectFolder));
        QVERIFY(QFileInfo::exists(precious));
        QVERIFY(QFileInfo::exists(m_store.root()));
    }

    void openingAVersion_data()
    {
        testsupport::addColumns<QString, QString, QString>(
            {"damage", "originalError", "versionError"});
        addRow("intact", {"", "", ""});
        addRow("project.json garbage", {"json", "Il file project.json non è valido.",
                                        "Il file project.json non è valido."});
        addRow("original missing", {"original", "Il progetto selezionato è incompleto.",
                                    "Firmware originale non trovato."});
        addRow("version firmware missing",
               {"version", "", "Il firmware della versione selezionata non esiste."});
        addRow("version of another length",
               {"length", "",
                "Il firmware della versione selezionata non ha la stessa lunghezza "
                "dell'originale."});
    }

    void openingAVersion()
    {
        QFETCH(QString, damage);
        auto record = savedStage1();
        QVERIFY(record);
        const QString folder = record->projectFolder;
        const VersionEntry version = ProjectStore::listVersions(folder).value(1);
        if (damage == QLatin1String("json"))
            writeText(folder + QStringLiteral("/project.json"), "[]");
        else if (damage == QLatin1String("original"))
            QVERIFY(QFile::remove(originalOf(*record)));
        else if (damage == QLatin1String("version"))
            QVERIFY(QFile::remove(version.folder + QStringLiteral("/firmware.bin")));
        else if (damage == QLatin1String("length"))
            writeText(version.folder + QStringLiteral("/firmware.bin"), "short");
        const OpenedVersion original = ProjectStore::openOriginal(folder);
        const OpenedVersion opened = ProjectStore::openVersion(folder, version);
        QTEST(original.error, "originalError");
        QTEST(opened.error, "versionError");
        if (!damage.isEmpty())
            return;
        // The version's bytes and maps, with the original as reference.
        QCOMPARE(opened.originalBytes, m_image);
        QCOMPARE(char(opened.firmware->data()[1]), 'A');
        QCOMPARE(opened.versionName, QStringLiteral("Stage 1"));
        QCOMPARE(opened.maps, record->maps);
        QCOMPARE(original.originalBytes, m_image);
        QCOMPARE(original.versionName, QStringLiteral("Originale"));
    }

    void failedVersionWriteFailsTheSave()
    {
        auto record = document(QStringLiteral("ecu.bin"), m_image);
        QVERIFY(save(*record));
        writeText(record->projectFolder + QStringLiteral("/Versioni"), "not a folder");
        edit(*record, 1, 'x');
        QVERIFY(!save(*record, {QStringLiteral("Stage 1")}));
        QVERIFY(record->modified);
    }

    // What a save killed part way leaves beside a version folder, and what reading the
    // project makes of it: the whole new version or the whole old one, never a mix.
    void interruptedSaveIsFinishedOrUndone_data()
    {
        QTest::addColumn<bool>("folder");      // the version folder itself
        QTest::addColumn<int>("staging");      // files written into the staging folder (3 = all)
        QTest::addColumn<bool>("replaced");    // the old folder moved aside
        QTest::addColumn<QString>("expected"); // what the version holds after: old, new, none
        QTest::newRow("killed while staging") << true << 2 << false << QStringLiteral("old");
        QTest::newRow("killed after staging") << true << 3 << false << QStringLiteral("old");
        QTest::newRow("killed between the renames") << false << 3 << true << QStringLiteral("new");
        QTest::newRow("killed removing the old") << true << 0 << true << QStringLiteral("new");
        QTest::newRow("new version staged in part")
            << false << 2 << false << QStringLiteral("none");
        QTest::newRow("new version staged whole") << false << 3 << false << QStringLiteral("new");
    }

    void interruptedSaveIsFinishedOrUndone()
    {
        QFETCH(bool, folder);
        QFETCH(int, staging);
        QFETCH(bool, replaced);
        QFETCH(QString, expected);
        auto record = savedStage1();
        QVERIFY(record);
        const QString versions = record->projectFolder + QStringLiteral("/Versioni/");
        const QString target = versions + QStringLiteral("Stage 1");
        const QString stagingFolder = versions + QStringLiteral(".Stage 1.saving");
        const QString replacedFolder = versions + QStringLiteral(".Stage 1.replaced");
        // The old version carries a file of the user's that a save never writes.
        writeText(target + QStringLiteral("/notes.txt"), "mine");
        const QStringList files = {QStringLiteral("firmware.bin"), QStringLiteral("maps.tvp"),
                                   QStringLiteral("version.json")};
        const QByteArray newImage = QByteArray(m_image).replace(0, 1, "N");
        const QByteArray contents[] = {newImage, mapPackBytes({}, newImage),
                                       R"({"name":"Stage 1","savedAt":"","modified":true})"};
        for (int i = 0; i < staging; ++i)
            writeText(stagingFolder + QLatin1Char('/') + files[i], contents[i]);
        if (replaced)
            QVERIFY(QDir().rename(target, replacedFolder));
        if (folder && replaced) // the new version had already taken the old one's place
            for (int i = 0; i < 3; ++i)
                writeText(target + QLatin1Char('/') + files[i], contents[i]);
        if (!folder && !replaced)
            QVERIFY(QDir(target).removeRecursively());

        const QList<VersionEntry> listed = ProjectStore::listVersions(record->projectFolder);
        QVERIFY(!QFileInfo::exists(stagingFolder));
        QVERIFY(!QFileInfo::exists(replacedFolder));
        QCOMPARE(listed.size(), expected == QLatin1String("none") ? 1 : 2);
        if (expected == QLatin1String("none"))
            return;
        const QByteArray image = readFile(target + QStringLiteral("/firmware.bin"));
        QCOMPARE(image.at(0), expected == QLatin1String("new") ? 'N' : m_image.at(0));
        MapPackData pack;
        QVERIFY(readMapPack(target + QStringLiteral("/maps.tvp"), pack));
        QVERIFY(isCompatible(pack, image));
        // Only an old folder that was moved aside gives its other files to the new one.
        QCOMPARE(readFile(target + QStringLiteral("/notes.txt")),
                 expected == QLatin1String("old") || replaced ? QByteArray("mine") : QByteArray());
    }

    void matches_data()
    {
        // fields (project.json keys over the defaults)
        testsupport::addColumns<bool, QByteArray, QString>({"sameImage", "fields", "label"});
        const QByteArray other = R"({"ecu": "ME7.5", "software": "x", "hardware": "y")";
        const QByteArray two = R"({"software": " 1037541778 ", "hardware": "0281017946")";
        QTest::newRow("identical despite other texts")
            << true << QByteArray(other + '}') << "IDENTICO";
        // Records without "originalSha256" are recognised by their original file.
        QTest::newRow("identical by original file")
            << true << QByteArray(other + R"(, "originalSha256": ""})") << "IDENTICO";
        QTest::newRow("similar: two fields, same size")
            << false << QByteArray(two + '}') << "SIMILE";
        QTest::newRow("similar ignoring case")
            << false << QByteArray(R"({"ecu": "edc17c46", "ecuNumber": "03l906018jl"})")
            << "SIMILE";
        QTest::newRow("one field is not enough")
            << false << QByteArray(R"({"software": "1037541778"})") << "";
        QTest::newRow("other size") << false << QByteArray(two + R"(, "fileSize": 4096})") << "";
        QTest::newRow("blank texts never match")
            << false << QByteArray(R"({"ecu": "", "software": " "})") << "";
    }

    void matches()
    {
        QFETCH(bool, sameImage);
        QFETCH(QByteArray, fields);
        QFETCH(QString, label);
        addProject(QStringLiteral("saved"), sameImage ? m_image : QByteArray(m_image.size(), 'x'),
                   QJsonDocument::fromJson(fields).object());
        const QList<ProjectMatch> matches = matchesOfImage();
        QCOMPARE(matches.size(), label.isEmpty() ? 0 : 1);
        if (label.isEmpty())
            return;
        QCOMPARE(matches.first().label, label);
        QCOMPARE(QDir::cleanPath(matches.first().folder),
                 QDir::cleanPath(m_store.root() + QStringLiteral("/saved")));
    }
};

QTEST_GUILESS_MAIN(TestProjectStore)
#include "tst_projectstore.moc"
