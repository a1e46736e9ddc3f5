#include "model/firmwareproject.h"
#include "model/mappack.h"
#include "projects/projectfiles.h"
#include "projects/projectsaver.h"
#include "projects/projectstore.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using Choice = VersionQuestions::Choice;

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QJsonObject readObject(const QString &path)
{
    return QJsonDocument::fromJson(readAll(path)).object();
}

void writeText(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

std::unique_ptr<FirmwareProject> document(const QString &fileName, const QByteArray &bytes)
{
    auto record = std::make_unique<FirmwareProject>();
    record->firmware = std::make_unique<Firmware>();
    record->firmware->setData(bytes.constData(), std::size_t(bytes.size()));
    record->firmware->setFilePath(fileName.toStdString());
    record->originalBytes = bytes;
    record->fileName = fileName;
    record->fileSize = bytes.size();
    MapDefinition map;
    map.name = QStringLiteral("Coppia");
    map.mapOffset = 4;
    map.rows = 1;
    map.columns = 2;
    record->maps = {map};
    return record;
}

void edit(FirmwareProject &record, int offset, char value)
{
    record.firmware->data()[std::size_t(offset)] = uint8_t(value);
    record.modified = true;
}

// Questions that record what was asked and answer from a script.
struct ScriptedQuestions
{
    QStringList asked;
    QList<std::optional<QString>> names;
    QList<Choice> choices;

    VersionQuestions questions()
    {
        VersionQuestions q;
        q.askName = [this](const QString &title, const QString &label, const QString &preset) {
            asked << title + QLatin1Char('|') + label + QLatin1Char('|') + preset;
            return names.isEmpty() ? std::optional<QString>() : names.takeFirst();
        };
        q.askChoice = [this](const QString &name) {
            asked << QStringLiteral("choice|") + name;
            return choices.isEmpty() ? Choice::Cancel : choices.takeFirst();
        };
        return q;
    }
};

} // namespace

class TestProjectStore : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString root() const { return m_dir->filePath(QStringLiteral("Projects")); }
    const QByteArray m_image = QByteArray(64, '\x20') + QByteArray("tail");

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void folderNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("folder");
        QTest::newRow("plain") << "Stage 1"
                               << "Stage 1";
        QTest::newRow("slash") << "A/B"
                               << "A_B";
        QTest::newRow("all forbidden") << "a\\b/c:d*e?f\"g<h>i|j"
                                       << "a_b_c_d_e_f_g_h_i_j";
        QTest::newRow("control character") << QStringLiteral("a\tb") << "a_b";
        QTest::newRow("empty") << ""
                               << "_";
        QTest::newRow("dot") << "."
                             << "_";
        QTest::newRow("dot dot") << ".."
                                 << "__";
        QTest::newRow("trailing dot") << "v1."
                                      << "v1_";
        QTest::newRow("trailing blanks") << "v1 . "
                                         << "v1___";
        QTest::newRow("leading dot kept") << ".v"
                                          << ".v";
        QTest::newRow("device name") << "CON"
                                     << "_CON";
        QTest::newRow("device with extension") << "com1.txt"
                                               << "_com1.txt";
        QTest::newRow("not a device") << "CONSOLE"
                                      << "CONSOLE";
    }

    void folderNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, folder);
        QCOMPARE(ProjectFiles::sanitizeFolderName(name), folder);
    }

    void unsafeFileNamesStayInsideTheRoot_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("folder");
        QTest::newRow("dump?") << "dump?.bin"
                               << "dump_";
        QTest::newRow("dot base") << "..bin"
                                  << "_";
        QTest::newRow("dot dot base") << "...bin"
                                      << "__";
        QTest::newRow("no name") << ""
                                 << "Project";
        QTest::newRow("slash in name") << "a/..bin"
                                       << "_";
        QTest::newRow("trailing blank") << "ecu .bin"
                                        << "ecu_";
    }

    void unsafeFileNamesStayInsideTheRoot()
    {
        QFETCH(QString, fileName);
        QFETCH(QString, folder);
        ProjectStore store(root());
        auto record = document(QFileInfo(fileName).fileName(), m_image);
        record->fileName = fileName;
        ScriptedQuestions script;
        QVERIFY(saveProject(*record, store, script.questions()));
        QVERIFY(script.asked.isEmpty());
        QCOMPARE(record->projectFolder, store.root() + QLatin1Char('/') + folder);
        QVERIFY(QFile::exists(record->projectFolder + QStringLiteral("/Originale/firmware.bin")));
        // Nothing was written beside the root.
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("Projects")});
    }

    void unchangedSaveWritesTheOriginal()
    {
        ProjectStore store(root());
        auto record = document(QStringLiteral("tessa-demo.bin"), m_image);
        record->customer = QStringLiteral("Rossi");
        ScriptedQuestions script;
        QVERIFY(saveProject(*record, store, script.questions()));
        QVERIFY(script.asked.isEmpty());

        const QString folder = store.root() + QStringLiteral("/tessa-demo");
        QCOMPARE(record->projectFolder, folder);
        QCOMPARE(readAll(folder + QStringLiteral("/Originale/firmware.bin")), m_image);
        const QJsonObject version = readObject(folder + QStringLiteral("/Originale/version.json"));
        QCOMPARE(version.value(QStringLiteral("name")).toString(), QStringLiteral("Originale"));
        QCOMPARE(version.value(QStringLiteral("modified")).toBool(true), false);
        MapPackData pack;
        QVERIFY(readMapPack(folder + QStringLiteral("/Originale/maps.tvp"), pack));
        QCOMPARE(pack.maps, record->maps);
        QVERIFY(isCompatible(pack, m_image));

        const QJsonObject project = readObject(folder + QStringLiteral("/project.json"));
        QCOMPARE(project.value(QStringLiteral("customer")).toString(), QStringLiteral("Rossi"));
        QCOMPARE(project.value(QStringLiteral("projectFormat")).toInt(), 2);
        QCOMPARE(project.value(QStringLiteral("fileSize")).toInteger(), qint64(m_image.size()));
        QCOMPARE(project.value(QStringLiteral("originalSha256")).toString().size(), 64);
        QVERIFY(ProjectFiles::parseSavedAt(project.value(QStringLiteral("savedAt")).toString())
                    .isValid());
        QVERIFY(!record->modified);
        QVERIFY(record->hasBeenSaved);
        QCOMPARE(record->savedFirmwarePath, folder + QStringLiteral("/Originale/firmware.bin"));
        QVERIFY(!QFileInfo::exists(folder + QStringLiteral("/Versioni")));
    }

    void firstChangedSaveOffersStage1()
    {
        ProjectStore store(root());
        auto record = document(QStringLiteral("ecu.bin"), m_image);
        edit(*record, 3, 'X');
        ScriptedQuestions script;
        script.names = {QStringLiteral("  Stage 1 ")};
        QVERIFY(saveProject(*record, store, script.questions()));
        QCOMPARE(script.asked, QStringList{QStringLiteral(
                                   "Salva versione|Nome della versione modificata:|Stage 1")});
        const QString version = record->projectFolder + QStringLiteral("/Versioni/Stage 1");
        QCOMPARE(record->versionName, QStringLiteral("Stage 1"));
        QCOMPARE(readAll(version + QStringLiteral("/firmware.bin")).at(3), 'X');
        QVERIFY(QFile::exists(version + QStringLiteral("/maps.tvp")));
        const QJsonObject json = readObject(version + QStringLiteral("/version.json"));
        QCOMPARE(json.value(QStringLiteral("name")).toString(), QStringLiteral("Stage 1"));
        QCOMPARE(json.value(QStringLiteral("modified")).toBool(), true);
        // The original is kept untouched beside the version.
        QCOMPARE(readAll(record->projectFolder + QStringLiteral("/Originale/firmware.bin")),
                 m_image);
        QVERIFY(!record->modified);
    }

    void cancelledOrBlankFirstNameSavesNoVersion_data()
    {
        QTest::addColumn<std::optional<QString>>("answer");
        QTest::newRow("cancel") << std::optional<QString>();
        QTest::newRow("blank") << std::optional<QString>(QStringLiteral("   "));
    }

    void cancelledOrBlankFirstNameSavesNoVersion()
    {
        QFETCH(std::optional<QString>, answer);
        ProjectStore store(root());
        auto record = document(QStringLiteral("ecu.bin"), m_image);
        edit(*record, 0, 'Y');
        ScriptedQuestions script;
        script.names = {answer};
        QVERIFY(!saveProject(*record, store, script.questions()));
        QVERIFY(record->modified);
        QCOMPARE(record->versionName, QStringLiteral("Originale"));
        QVERIFY(!QFileInfo::exists(record->projectFolder + QStringLiteral("/Versioni")));
    }

    void laterSaveAsksHowToSave_data()
    {
        QTest::addColumn<int>("choice");
        QTest::addColumn<QString>("newName");
        QTest::addColumn<QString>("expectedVersion");
        QTest::newRow("save into") << int(Choice::SaveInto) << QString() << "Stage 1";
        QTest::newRow("new version") << int(Choice::NewVersion) << "Stage 2"
                                     << "Stage 2";
        QTest::newRow("cancel") << int(Choice::Cancel) << QString() << QString();
        QTest::newRow("new version cancelled") << int(Choice::NewVersion) << QString() << QString();
    }

    void laterSaveAsksHowToSave()
    {
        QFETCH(int, choice);
        QFETCH(QString, newName);
        QFETCH(QString, expectedVersion);
        ProjectStore store(root());
        auto record = document(QStringLiteral("ecu.bin"), m_image);
        edit(*record, 1, 'A');
        ScriptedQuestions first;
        first.names = {QStringLiteral("Stage 1")};
        QVERIFY(saveProject(*record, store, first.questions()));

        edit(*record, 2, 'B');
        record->customer = QStringLiteral("Bianchi");
        ScriptedQuestions script;
        script.choices = {Choice(choice)};
        if (!newName.isEmpty())
            script.names = {newName};
        const bool saved = saveProject(*record, store, script.questions());
        QCOMPARE(script.asked.value(0), QStringLiteral("choice|Stage 1"));
        if (Choice(choice) == Choice::NewVersion)
            QCOMPARE(script.asked.value(1),
                     QStringLiteral("Nuova versione|Nome della nuova versione:|"));
        // project.json is rewritten before the question, whatever the answer.
        QCOMPARE(readObject(record->projectFolder + QStringLiteral("/project.json"))
                     .value(QStringLiteral("customer"))
                     .toString(),
                 QStringLiteral("Bianchi"));

        const QString stage1 = record->projectFolder + QStringLiteral("/Versioni/Stage 1");
        if (expectedVersion.isEmpty()) {
            QVERIFY(!saved);
            QVERIFY(record->modified);
            QCOMPARE(record->versionName, QStringLiteral("Stage 1"));
            QCOMPARE(readAll(stage1 + QStringLiteral("/firmware.bin")).at(2), m_image.at(2));
            QCOMPARE(QDir(record->projectFolder + QStringLiteral("/Versioni"))
                         .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                         .size(),
                     1);
            return;
        }
        QVERIFY(saved);
        QVERIFY(!record->modified);
        QCOMPARE(record->versionName, expectedVersion);
        const QString target
            = record->projectFolder + QStringLiteral("/Versioni/") + expectedVersion;
        QCOMPARE(readAll(target + QStringLiteral("/firmware.bin")).at(2), 'B');
        QCOMPARE(record->savedFirmwarePath, target + QStringLiteral("/firmware.bin"));
    }

    void versionNameWithSlash()
    {
        ProjectStore store(root());
        auto record = document(QStringLiteral("ecu.bin"), m_image);
        edit(*record, 1, 'A');
        ScriptedQuestions script;
        script.names = {QStringLiteral("A/B")};
        QVERIFY(saveProject(*record, store, script.questions()));
        const QString folder = record->projectFolder + QStringLiteral("/Versioni/A_B");
        QCOMPARE(readObject(folder + QStringLiteral("/version.json"))
                     .value(QStringLiteral("name"))
                     .toString(),
                 QStringLiteral("A/B"));
        QCOMPARE(record->versionName, QStringLiteral("A/B"));
    }

    void unsafeVersionNamesStayInVersioni_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("folder");
        QTest::newRow("dot dot") << ".."
                                 << "__";
        QTest::newRow("dot") << "."
                             << "_";
        QTest::newRow("climbing") << "../../x"
                                  << ".._.._x";
        QTest::newRow("trailing dot") << "v2."
                                      << "v2_";
    }

    void unsafeVersionNamesStayInVersioni()
    {
        QFETCH(QString, name);
        QFETCH(QString, folder);
        ProjectStore store(root());
        auto record = document(QStringLiteral("ecu.bin"), m_image);
        edit(*record, 1, 'A');
        ScriptedQuestions script;
        script.names = {name};
        QVERIFY(saveProject(*record, store, script.questions()));
        QCOMPARE(record->savedFirmwarePath, record->projectFolder + QStringLiteral("/Versioni/")
                                                + folder + QStringLiteral("/firmware.bin"));
        QVERIFY(!QFileInfo::exists(record->projectFolder + QStringLiteral("/firmware.bin")));
        QCOMPARE(readAll(record->projectFolder + QStringLiteral("/Originale/firmware.bin")),
                 m_image);
    }

    void differentImageNeverOverwritesAProject()
    {
        ProjectStore store(root());
        QByteArray other = m_image;
        other[0] = 'Z';
        ScriptedQuestions none;
        auto a = document(QStringLiteral("ecu.bin"), m_image);
        auto b = document(QStringLiteral("ecu.bin"), other);
        auto c = document(QStringLiteral("ecu.hex"), m_image);
        auto d = document(QStringLiteral("ecu.bin"), other);
        for (auto *r : {a.get(), b.get(), c.get(), d.get()})
            QVERIFY(saveProject(*r, store, none.questions()));
        QCOMPARE(a->projectFolder, store.root() + QStringLiteral("/ecu"));
        QCOMPARE(b->projectFolder, store.root() + QStringLiteral("/ecu (2)"));
        QCOMPARE(c->projectFolder, a->projectFolder);
        QCOMPARE(d->projectFolder, b->projectFolder);
        QCOMPARE(readAll(a->projectFolder + QStringLiteral("/Originale/firmware.bin")), m_image);
        QCOMPARE(readAll(b->projectFolder + QStringLiteral("/Originale/firmware.bin")), other);

        // An older record without "originalSha256" is recognised by its original file.
        QJsonObject json = readObject(a->projectFolder + QStringLiteral("/project.json"));
        json.insert(QStringLiteral("originalSha256"), QString());
        QVERIFY(ProjectFiles::writeJsonAtomically(
            a->projectFolder + QStringLiteral("/project.json"), json));
        auto e = document(QStringLiteral("ecu.bin"), m_image);
        QVERIFY(saveProject(*e, store, none.questions()));
        QCOMPARE(e->projectFolder, a->projectFolder);
        // A folder that is no project but holds files is left alone too.
        writeText(store.root() + QStringLiteral("/dump/notes.txt"), "mine");
        auto f = document(QStringLiteral("dump.bin"), m_image);
        QVERIFY(saveProject(*f, store, none.questions()));
        QCOMPARE(f->projectFolder, store.root() + QStringLiteral("/dump (2)"));
    }

    void listingSkipsBrokenProjectsAndVersions()
    {
        ProjectStore store(root());
        auto record = document(QStringLiteral("good.bin"), m_image);
        edit(*record, 1, 'A');
        ScriptedQuestions script;
        script.names = {QStringLiteral("Stage 1")};
        QVERIFY(saveProject(*record, store, script.questions()));
        writeText(store.root() + QStringLiteral("/broken/project.json"), "{ nope");
        writeText(store.root() + QStringLiteral("/array/project.json"), "[1]");
        QDir().mkpath(store.root() + QStringLiteral("/empty"));
        writeText(record->projectFolder + QStringLiteral("/Versioni/bad/version.json"), "x");

        const QList<ProjectEntry> projects = store.listProjects();
        QCOMPARE(projects.size(), 1);
        QCOMPARE(projects.first().name, QStringLiteral("good"));
        const QList<VersionEntry> versions = ProjectStore::listVersions(record->projectFolder);
        QCOMPARE(versions.size(), 2);
        QCOMPARE(versions.at(0).name, QStringLiteral("Originale"));
        QVERIFY(versions.at(0).isOriginal);
        QCOMPARE(versions.at(1).name, QStringLiteral("Stage 1"));

        QVERIFY(ProjectStore(m_dir->filePath(QStringLiteral("none"))).listProjects().isEmpty());
    }

    void renameVersion()
    {
        ProjectStore store(root());
        auto record = document(QStringLiteral("ecu.bin"), m_image);
        edit(*record, 1, 'A');
        ScriptedQuestions script;
        script.names = {QStringLiteral("Stage 1")};
        QVERIFY(saveProject(*record, store, script.questions()));
        edit(*record, 2, 'B');
        script.choices = {Choice::NewVersion};
        script.names = {QStringLiteral("Stage 2")};
        QVERIFY(saveProject(*record, store, script.questions()));

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
        QCOMPARE(json.value(QStringLiteral("modified")).toBool(), true); // other keys kept

        QCOMPARE(ProjectStore::renameVersion(renamed, QStringLiteral(".."), &renamed),
                 ProjectStore::RenameResult::Renamed);
        QCOMPARE(renamed, versions + QStringLiteral("__"));
        // Only folders under "Versioni" are renamed.
        QCOMPARE(ProjectStore::renameVersion(record->projectFolder + QStringLiteral("/Originale"),
                                             QStringLiteral("x")),
                 ProjectStore::RenameResult::Failed);
    }

    void deletionNeverLeavesItsFolder()
    {
        ProjectStore store(root());
        auto record = document(QStringLiteral("ecu.bin"), m_image);
        edit(*record, 1, 'A');
        ScriptedQuestions script;
        script.names = {QStringLiteral("Stage 1")};
        QVERIFY(saveProject(*record, store, script.questions()));

        const QString outside = m_dir->filePath(QStringLiteral("outside"));
        writeText(outside + QStringLiteral("/precious.bin"), "keep");
        const QString version = record->projectFolder + QStringLiteral("/Versioni/Stage 1");
        QVERIFY(QFile::link(outside, version + QStringLiteral("/link")));
        QVERIFY(QFile::link(outside, record->projectFolder + QStringLiteral("/link")));

        QVERIFY(!ProjectStore::removeVersion(record->projectFolder + QStringLiteral("/Originale")));
        QVERIFY(!ProjectStore::removeVersion(outside));
        QVERIFY(ProjectStore::removeVersion(version));
        QVERIFY(!QFileInfo::exists(version));
        QVERIFY(QFileInfo::exists(outside + QStringLiteral("/precious.bin")));

        QVERIFY(!store.removeProject(store.root()));
        QVERIFY(!store.removeProject(store.root() + QStringLiteral("/..")));
        QVERIFY(!store.removeProject(outside));
        QVERIFY(!store.removeProject(record->projectFolder + QStringLiteral("/Originale")));
        QVERIFY(
            QFileInfo::exists(record->projectFolder + QStringLiteral("/Originale/firmware.bin")));

        // A project folder that is itself a link goes as a link.
        const QString linked = store.root() + QStringLiteral("/linked");
        QVERIFY(QFile::link(outside, linked));
        QVERIFY(store.removeProject(linked));
        QVERIFY(QFileInfo::exists(outside + QStringLiteral("/precious.bin")));

        QVERIFY(store.removeProject(record->projectFolder));
        QVERIFY(!QFileInfo::exists(record->projectFolder));
        QVERIFY(QFileInfo::exists(outside + QStringLiteral("/precious.bin")));
        QVERIFY(QFileInfo::exists(store.root()));
    }

    void openingAVersionKeepsTheOriginalAsReference()
    {
        ProjectStore store(root());
        auto record = document(QStringLiteral("ecu.bin"), m_image);
        edit(*record, 5, 'M');
        ScriptedQuestions script;
        script.names = {QStringLiteral("Stage 1")};
        QVERIFY(saveProject(*record, store, script.questions()));

        const QList<VersionEntry> versions = ProjectStore::listVersions(record->projectFolder);
        QCOMPARE(versions.size(), 2);
        OpenedVersion opened = ProjectStore::openVersion(record->projectFolder, versions.at(1));
        QVERIFY2(opened.error.isEmpty(), qPrintable(opened.error));
        QCOMPARE(opened.originalBytes, m_image);
        QCOMPARE(char(opened.firmware->data()[5]), 'M');
        QCOMPARE(opened.versionName, QStringLiteral("Stage 1"));
        QCOMPARE(opened.maps, record->maps);
        QCOMPARE(opened.record.value(QStringLiteral("fileName")).toString(),
                 QStringLiteral("ecu.bin"));

        OpenedVersion original = ProjectStore::openOriginal(record->projectFolder);
        QVERIFY(original.error.isEmpty());
        QCOMPARE(original.originalBytes, m_image);
        QCOMPARE(original.versionName, QStringLiteral("Originale"));
    }

    void openingRefusals_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("originalError");
        QTest::addColumn<QString>("versionError");
        QTest::newRow("project.json garbage") << "json"
                                              << "Il file project.json non è valido."
                                              << "Il file project.json non è valido.";
        QTest::newRow("original missing") << "original"
                                          << "Il progetto selezionato è incompleto."
                                          << "Firmware originale non trovato.";
        QTest::newRow("version firmware missing")
            << "version"
            << ""
            << "Il firmware della versione selezionata non esiste.";
        QTest::newRow("version of another length")
            << "length"
            << ""
            << "Il firmware della versione selezionata non ha la stessa lunghezza dell'originale.";
    }

    void openingRefusals()
    {
        QFETCH(QString, damage);
        QFETCH(QString, originalError);
        QFETCH(QString, versionError);
        ProjectStore store(root());
        auto record = document(QStringLiteral("ecu.bin"), m_image);
        edit(*record, 5, 'M');
        ScriptedQuestions script;
        script.names = {QStringLiteral("Stage 1")};
        QVERIFY(saveProject(*record, store, script.questions()));
        const QString folder = record->projectFolder;
        const VersionEntry version = ProjectStore::listVersions(folder).at(1);
        if (damage == QLatin1String("json"))
            writeText(folder + QStringLiteral("/project.json"), "[]");
        else if (damage == QLatin1String("original"))
            QVERIFY(QFile::remove(folder + QStringLiteral("/Originale/firmware.bin")));
        else if (damage == QLatin1String("version"))
            QVERIFY(QFile::remove(version.folder + QStringLiteral("/firmware.bin")));
        else
            writeText(version.folder + QStringLiteral("/firmware.bin"), "short");
        QCOMPARE(ProjectStore::openOriginal(folder).error, originalError);
        QCOMPARE(ProjectStore::openVersion(folder, version).error, versionError);
    }

    void failedPackWriteFailsTheSave()
    {
        ProjectStore store(root());
        auto record = document(QStringLiteral("ecu.bin"), m_image);
        ScriptedQuestions none;
        QVERIFY(saveProject(*record, store, none.questions()));
        const QString pack = record->projectFolder + QStringLiteral("/Originale/maps.tvp");
        QVERIFY(QFile::remove(pack));
        QVERIFY(QDir().mkpath(pack));
        record->modified = true;
        QVERIFY(!saveProject(*record, store, none.questions()));
        QVERIFY(record->modified);
    }
};

QTEST_GUILESS_MAIN(TestProjectStore)
#include "tst_projectstore.moc"
