#include "model/firmware.h"
#include "model/mappack.h"
#include "projects/projectfiles.h"
#include "projects/projectstore.h"
#include "recognition/driverfile.h"
#include "savekill_generation.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

// A save killed at any moment leaves either what the save before it wrote or what it was
// writing: a project that opens, versions whose image, maps and record belong together, and
// every save that had returned still there.
class SaveKillTest : public QObject
{
    Q_OBJECT

private slots:
    void killedDuringSave_data();
    void killedDuringSave();
};

namespace {

constexpr int Kills = 200;

// The last "done n" the child printed; -1 when none.
qint64 lastDone(const QByteArray &output)
{
    qint64 last = -1;
    for (const QByteArray &line : output.split('\n')) {
        if (line.startsWith("done "))
            last = line.mid(5).toLongLong();
    }
    return last;
}

// The generation of a version folder's files, checked to belong together; -1 with a reason.
qint64 versionGeneration(const QString &project, const VersionEntry &version, QString *why)
{
    const OpenedVersion opened = ProjectStore::openVersion(project, version);
    if (!opened.error.isEmpty()) {
        *why = version.name + QStringLiteral(": ") + opened.error;
        return -1;
    }
    MapPackData pack;
    if (!readMapPack(version.folder + QStringLiteral("/maps.tvp"), pack)) {
        *why = version.name + QStringLiteral(": maps.tvp ") + pack.errorMessage;
        return -1;
    }
    const qint64 g = SaveKill::generationOfMaps(pack.maps);
    const std::vector<uint8_t> &data = opened.firmware->data();
    const QByteArray image(reinterpret_cast<const char *>(data.data()), qsizetype(data.size()));
    if (g < 0 || image != SaveKill::imageOf(g) || !isCompatible(pack, image)
        || SaveKill::versionNameOf(g) != version.name) {
        *why = version.name + QStringLiteral(": image, maps and name of different saves");
        return -1;
    }
    return g;
}

} // namespace

void SaveKillTest::killedDuringSave_data()
{
    QTest::addColumn<QString>("mode");
    QTest::newRow("project version") << QStringLiteral("project");
    QTest::newRow("map pack") << QStringLiteral("mappack");
    QTest::newRow("driver") << QStringLiteral("driver");
}

void SaveKillTest::killedDuringSave()
{
    QFETCH(QString, mode);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString root = dir.filePath(QStringLiteral("Projects"));
    // The file of the modes that write one file.
    const QString packPath
        = dir.filePath(mode == QLatin1String("driver") ? QStringLiteral("driver.ecudrv")
                                                       : QStringLiteral("pack.tvp"));
    const bool projectMode = mode == QLatin1String("project");
    const quint32 seed = qEnvironmentVariableIsSet("TESSA_KILL_SEED")
                             ? quint32(qEnvironmentVariableIntValue("TESSA_KILL_SEED"))
                             : 14u;
    QRandomGenerator random(seed);

    qint64 next = 0;       // the number the next child starts with
    qint64 completed = -1; // the last save that returned since the store was last emptied
    int interrupted = 0;
    for (int kill = 0; kill < Kills; ++kill) {
        // Now and then from nothing, so that first saves are cut short too.
        if (kill % 25 == 0) {
            QDir(root).removeRecursively();
            QFile::remove(packPath);
            completed = -1;
        }
        QProcess child;
        child.start(QStringLiteral(TESSA_SAVEKILL_CHILD),
                    {mode, projectMode ? root : packPath, QString::number(next)});
        QVERIFY2(child.waitForStarted(), qPrintable(child.errorString()));
        QThread::usleep(random.bounded(90000));
        ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished());
        const QByteArray output = child.readAllStandardOutput();
        QVERIFY2(child.exitStatus() == QProcess::CrashExit,
                 qPrintable(QStringLiteral("the child ended by itself: %1").arg(child.exitCode())));
        const qint64 done = lastDone(output);
        const qint64 started = done >= 0 ? done + 1 : next;
        if (done >= 0)
            completed = done;
        next = started + 1;
        const QString at = QStringLiteral("kill %1 (seed %2), last save returned: %3 ")
                               .arg(kill)
                               .arg(seed)
                               .arg(completed);

        if (mode == QLatin1String("driver")) {
            if (!QFileInfo::exists(packPath)) {
                QVERIFY2(completed < 0, qPrintable(at + QStringLiteral("driver gone")));
                continue;
            }
            Driver driver;
            QString error;
            QVERIFY2(loadDriverFile(packPath, driver, &error), qPrintable(at + error));
            const qint64 g = SaveKill::generationOfDriver(driver);
            QVERIFY2(g >= completed && g <= started,
                     qPrintable(at + QStringLiteral("driver of save %1").arg(g)));
            interrupted += g != started;
            continue;
        }
        if (!projectMode) {
            if (!QFileInfo::exists(packPath)) {
                QVERIFY2(completed < 0, qPrintable(at + QStringLiteral("pack gone")));
                continue;
            }
            MapPackData pack;
            QVERIFY2(readMapPack(packPath, pack), qPrintable(at + pack.errorMessage));
            const qint64 g = SaveKill::generationOfMaps(pack.maps);
            QVERIFY2(g >= completed && g <= started && isCompatible(pack, SaveKill::imageOf(g)),
                     qPrintable(at + QStringLiteral("pack of save %1").arg(g)));
            interrupted += g != started;
            continue;
        }

        const ProjectStore store(root);
        const QList<ProjectEntry> projects = store.listProjects();
        if (projects.isEmpty()) {
            QVERIFY2(completed < 0, qPrintable(at + QStringLiteral("project gone")));
            continue;
        }
        QCOMPARE(projects.size(), 1);
        const QString project = projects.first().folder;
        const OpenedVersion original = ProjectStore::openOriginal(project);
        QVERIFY2(original.error.isEmpty(), qPrintable(at + original.error));
        const QString notes = projects.first().record.value(QStringLiteral("notes")).toString();
        qint64 newest = -1;
        QString why;
        for (const VersionEntry &version : ProjectStore::listVersions(project)) {
            // The original holds versions only once an unchanged image was saved.
            if (version.isOriginal
                && !QFileInfo::exists(version.folder + QStringLiteral("/maps.tvp")))
                continue;
            const qint64 g = versionGeneration(project, version, &why);
            QVERIFY2(g >= 0, qPrintable(at + why));
            newest = qMax(newest, g);
        }
        // No half-made version hides among the folders either.
        const QDir versions(project + QStringLiteral("/Versioni"));
        for (const QString &name : versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QVERIFY2(QFileInfo::exists(versions.filePath(name) + QStringLiteral("/version.json")),
                     qPrintable(at + QStringLiteral("folder without record: ") + name));
        }
        QVERIFY2(newest >= completed && newest <= started,
                 qPrintable(at + QStringLiteral("newest save on disk: %1").arg(newest)));
        // project.json comes first in a save, so a save cut short may have written it.
        const qint64 recorded = notes.mid(4).toLongLong();
        QVERIFY2(notes.startsWith(QLatin1String("gen ")) && recorded >= newest
                     && recorded <= started,
                 qPrintable(at + QStringLiteral("project.json of ") + notes));
        interrupted += newest != started;
    }
    // Kills that found a save half done, rather than between two saves.
    qInfo("%d of %d kills interrupted a save", interrupted, Kills);
}

QTEST_GUILESS_MAIN(SaveKillTest)
#include "tst_savekill.moc"
