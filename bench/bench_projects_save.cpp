// Saving a version of a 16 MiB image with 200 maps; target at most 300 ms.
// Run: build/bench/bench_projects_save
#include "model/firmwareproject.h"
#include "projects/projectsaver.h"
#include "projects/projectstore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <vector>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    QTextStream out(stdout);
    QTemporaryDir dir;
    const ProjectStore store(dir.filePath(QStringLiteral("Projects")));

    FirmwareProject record;
    record.firmware = std::make_unique<Firmware>();
    std::vector<uint8_t> bytes(16u << 20);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t((i * 2654435761u) >> 24);
    record.firmware->setData(bytes);
    record.originalBytes
        = QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
    record.fileName = QStringLiteral("ecu16.bin");
    record.fileSize = qint64(bytes.size());
    for (int i = 0; i < 200; ++i) {
        MapDefinition map;
        map.name = QStringLiteral("Mappa %1").arg(i);
        map.description = QStringLiteral("Mappa di prova numero %1").arg(i);
        map.rows = 16;
        map.columns = 16;
        map.mapOffset = 0x100000 + i * 0x400;
        map.xAxisOffset = map.mapOffset - 64;
        map.yAxisOffset = map.mapOffset - 32;
        for (int k = 0; k < 16; ++k) {
            map.xAxis.append(quint16(k * 250));
            map.yAxis.append(quint16(k * 10));
        }
        map.factor = 0.1;
        map.unit = QStringLiteral("Nm");
        record.maps.append(map);
    }

    VersionQuestions questions;
    questions.askName = [](const QString &, const QString &, const QString &preset) {
        return std::optional<QString>(preset);
    };
    questions.askChoice = [](const QString &) { return VersionQuestions::Choice::SaveInto; };

    // The first save writes the original as well; the later ones are what a user repeats.
    record.firmware->data()[0x100000] ^= 0xFF;
    QElapsedTimer first;
    first.start();
    const bool firstOk = saveProject(record, store, questions);
    const double firstMs = first.nsecsElapsed() / 1e6;

    std::vector<double> times;
    bool ok = firstOk;
    for (int i = 0; i < 9; ++i) {
        record.firmware->data()[0x100001 + i] ^= 0xFF;
        record.modified = true;
        QElapsedTimer timer;
        timer.start();
        ok = saveProject(record, store, questions) && ok;
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    out << "saveProject of a changed 16 MiB image with 200 maps into \"Stage 1\" "
        << "(target <= 300 ms)\n";
    out << QStringLiteral("%1 %2\n").arg(QStringLiteral("case"), -46).arg(QStringLiteral("ms"), 8);
    out << QStringLiteral("%1 %2\n")
               .arg(QStringLiteral("first save (original written too)"), -46)
               .arg(firstMs, 8, 'f', 1);
    out << QStringLiteral("%1 %2\n")
               .arg(QStringLiteral("later saves, min of 9"), -46)
               .arg(times.front(), 8, 'f', 1);
    out << QStringLiteral("%1 %2\n")
               .arg(QStringLiteral("later saves, median of 9"), -46)
               .arg(times[times.size() / 2], 8, 'f', 1);
    out << (ok ? "all saves succeeded\n" : "A SAVE FAILED\n");
    return ok ? 0 : 1;
}
