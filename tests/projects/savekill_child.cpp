// Saves over and over until it is killed, printing "done <n>" after each save that returned:
// the crash-consistency test kills it at random moments and then reads what it left.
//   savekill_child project <root> <first n>   saves a project (see savekill_generation.h)
//   savekill_child mappack <file> <first n>   writes a map pack
//   savekill_child driver <file> <first n>    writes a driver file
#include "model/firmwareproject.h"
#include "model/mappack.h"
#include "projects/projectsaver.h"
#include "projects/projectstore.h"
#include "recognition/driverfile.h"
#include "savekill_generation.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4)
        return 2;
    const QString mode = args.at(1);
    const QString path = args.at(2);
    const qint64 first = args.at(3).toLongLong();

    FirmwareProject record;
    record.fileName = QStringLiteral("dump.bin");
    record.fileExtension = QStringLiteral("bin");
    record.originalBytes = SaveKill::originalImage();
    record.fileSize = record.originalBytes.size();
    record.firmware = std::make_unique<Firmware>();
    const ProjectStore store(path);
    VersionQuestions questions;
    questions.askChoice = [](const QString &) { return VersionQuestions::Choice::SaveInto; };
    // A restarted child takes up the project its killed predecessor was writing.
    questions.askExisting = [](const QString &) { return VersionQuestions::Choice::SaveInto; };

    QElapsedTimer alive;
    alive.start();
    // A child the test forgot would otherwise write forever.
    for (qint64 g = first; alive.elapsed() < 20000; ++g) {
        const QByteArray image = SaveKill::imageOf(g);
        bool ok = false;
        if (mode == QLatin1String("mappack")) {
            ok = writeMapPack(path, SaveKill::mapsOf(g), image, nullptr);
        } else if (mode == QLatin1String("driver")) {
            ok = saveDriverFile(SaveKill::driverOf(g), path);
        } else {
            record.firmware->setData(image.constData(), std::size_t(image.size()));
            record.maps = SaveKill::mapsOf(g);
            record.notes = QStringLiteral("gen %1").arg(g);
            record.versionName = SaveKill::versionNameOf(g);
            ok = saveProject(record, store, questions);
        }
        if (!ok)
            return 1;
        std::printf("done %lld\n", static_cast<long long>(g));
        std::fflush(stdout);
    }
    return 0;
}
