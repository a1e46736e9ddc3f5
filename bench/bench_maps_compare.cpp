// Changes at the level of maps, single-threaded: compareMaps over two 4 MiB images with 5 000
// maps (target <= 100 ms), and transferChanges of a 50-map tune between two 1 MiB images
// where blocks of the target moved (target <= 1 s). Median of RUNS runs, wall and processor.
// Run: build/bench/bench_maps_compare [RUNS]
#include "projects/mapcomparison.h"
#include "recognition/maptransfer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <algorithm>
#include <ctime>
#include <functional>
#include <vector>

namespace {

QByteArray noise(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, 0);
    for (qsizetype i = 0; i < size; ++i) {
        seed = seed * 1664525u + 1013904223u;
        bytes[i] = char(seed >> 24);
    }
    return bytes;
}

// count maps of 12 x 16 words with a 16-word X axis in front, one every `stride` bytes.
QList<MapDefinition> maps(int count, int first, int stride)
{
    QList<MapDefinition> list;
    for (int k = 0; k < count; ++k) {
        MapDefinition d;
        d.name = QStringLiteral("Mappa %1").arg(k);
        d.rows = 12;
        d.columns = 16;
        d.xAxisOffset = first + k * stride;
        d.mapOffset = d.xAxisOffset + 32;
        d.yAxisSource = 0;
        d.factor = 0.1;
        list.append(d);
    }
    return list;
}

struct Timing
{
    double ms = 0, cpuMs = 0;
};

Timing median(int runs, const std::function<void()> &work)
{
    std::vector<Timing> all;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        const std::clock_t cpu = std::clock();
        work();
        all.push_back({timer.nsecsElapsed() / 1e6,
                       double(std::clock() - cpu) * 1000.0 / CLOCKS_PER_SEC});
    }
    std::sort(all.begin(), all.end(), [](const Timing &a, const Timing &b) { return a.ms < b.ms; });
    return all[all.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = qBound(1, argc > 1 ? QByteArray(argv[1]).toInt() : 5, 50);
    QTextStream out(stdout);

    // Comparison: 5 000 maps over 4 MiB, a tenth of them changed, and bytes changed outside.
    const qsizetype big = 4 * 1024 * 1024;
    const QList<MapDefinition> many = maps(5000, 0x1000, 800);
    const QByteArray ori = noise(big, 1);
    QByteArray mod = ori;
    for (int k = 0; k < many.size(); k += 10)
        mod[many.at(k).mapOffset + 7] = char(mod.at(many.at(k).mapOffset + 7) ^ 0x10);
    for (qsizetype at = 0x3F0000; at < big; at += 4096)
        mod[at] = char(~mod.at(at));
    MapComparison comparison;
    const Timing compared = median(runs, [&] {
        comparison = compareMaps(many, reinterpret_cast<const uint8_t *>(ori.constData()),
                                 reinterpret_cast<const uint8_t *>(mod.constData()), big);
    });
    out << QStringLiteral("compareMaps, 4 MiB, 5000 maps: %1 ms (processor %2 ms); %3 maps "
                          "changed, %4 bytes in %5 blocks outside\n")
               .arg(compared.ms, 0, 'f', 1)
               .arg(compared.cpuMs, 0, 'f', 1)
               .arg(comparison.changedMaps.size())
               .arg(comparison.outsideBytes)
               .arg(comparison.outsideBlocks);

    // Transfer: a 50-map tune on a 1 MiB reference, carried to a target where 0x500 bytes were
    // inserted after the first 25 maps and every tuned map's values differ a little.
    const qsizetype size = 1024 * 1024;
    const QList<MapDefinition> tuned = maps(50, 0x40000, 0x1000);
    const QByteArray refOri = noise(size, 7);
    QByteArray refMod = refOri;
    for (const MapDefinition &m : tuned)
        for (int c = 0; c < 192; ++c)
            refMod[m.mapOffset + 2 * c] = char(refMod.at(m.mapOffset + 2 * c) + 3);
    QByteArray target = refOri;
    target.insert(tuned.at(25).xAxisOffset - 0x100, noise(0x500, 9));
    target.chop(0x500);
    TransferResult transferred;
    const Timing moved = median(runs, [&] {
        transferred = transferChanges(refOri, refMod, tuned, target, TransferMode::Difference);
    });
    out << QStringLiteral("transferChanges, 1 MiB, 50 maps: %1 ms (processor %2 ms); %3 of %4 "
                          "written\n")
               .arg(moved.ms, 0, 'f', 1)
               .arg(moved.cpuMs, 0, 'f', 1)
               .arg(transferred.writtenCount())
               .arg(tuned.size());
    return 0;
}
