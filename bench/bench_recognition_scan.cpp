// scanDriver, single-threaded: a 400-map driver over a 1 MiB image (target <= 0.5 s) and the
// memory of the value index; a 500-map driver built from a 4 MiB firmware-like image,
// scanned in a second image where every map moved by its own offset and its values changed by
// up to ±5 % (target: whole scan <= 2 s, >= 95 % found at their true place); and the same
// driver over a 16 MiB image that holds none of its maps.
// Run: build/bench/bench_recognition_scan [RUNS]
#include "../tests/recognition/scanfixture.h"
#include "recognition/driverbuilder.h"
#include "recognition/driverscanner.h"
#include "recognition/valueindex.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QTextStream>

#include <algorithm>
#include <ctime>
#include <vector>

namespace {

struct Run
{
    double ms = 0;
    double cpuMs = 0; // the machine is shared: the processor time shows the scan's own cost
    DriverScanResult result;
    DriverScanTimings timings;
};

Run timedScan(const QByteArray &image, const Driver &driver)
{
    Run run;
    QElapsedTimer timer;
    timer.start();
    const std::clock_t cpuStart = std::clock();
    run.result = scanDriver(image, driver, &run.timings);
    run.cpuMs = double(std::clock() - cpuStart) * 1000.0 / CLOCKS_PER_SEC;
    run.ms = timer.nsecsElapsed() / 1e6;
    return run;
}

Run medianRun(const QByteArray &image, const Driver &driver, int runs)
{
    std::vector<Run> all;
    for (int i = 0; i < runs; ++i)
        all.push_back(timedScan(image, driver));
    std::sort(all.begin(), all.end(), [](const Run &a, const Run &b) { return a.ms < b.ms; });
    return all[all.size() / 2];
}

void report(QTextStream &out, const QString &label, const Run &run, int foundAtPlace)
{
    const int maps = run.result.mapCount;
    out << label << '\n';
    out << QStringLiteral("  whole scan %1 ms (processor %2 ms), %3 maps/s, recognised %4 of %5")
               .arg(run.ms, 0, 'f', 1)
               .arg(run.cpuMs, 0, 'f', 1)
               .arg(maps / (run.ms / 1000.0), 0, 'f', 0)
               .arg(run.result.recognisedCount)
               .arg(maps);
    if (foundAtPlace >= 0)
        out << QStringLiteral(", at their true place %1 (%2 %)")
                   .arg(foundAtPlace)
                   .arg(100.0 * foundAtPlace / maps, 0, 'f', 1);
    out << QStringLiteral(", average confidence %1\n").arg(run.result.averageConfidence, 0, 'f', 1);
    const DriverScanTimings &t = run.timings;
    out << QStringLiteral("  per path (ms): AUTO %1, RAW_ASSISTITO %2, MANUAL_ABSOLUTE %3, "
                          "anchor fallback %4, signature fallback %5\n")
               .arg(t.autoNs / 1e6, 0, 'f', 1)
               .arg(t.rawNs / 1e6, 0, 'f', 1)
               .arg(t.manualNs / 1e6, 0, 'f', 1)
               .arg(t.anchorFallbackNs / 1e6, 0, 'f', 1)
               .arg(t.signatureFallbackNs / 1e6, 0, 'f', 1);
    out.flush();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("tessa.recognition.scanner=false"));
    const int runs = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 5;
    QTextStream out(stdout);

    // 1 MiB, 400 maps (each with 256 bytes of code around it), moved by up to ±200 bytes and
    // changed: the size of a real calibration and a full driver (target: <= 0.5 s).
    {
        const ScanFixture small = makeScanFixture(1 << 20, 400, 2027, 200, 0.05, false, 256);
        const DriverBuildResult driver = buildDriver(small.reference, small.maps);
        const Run run = medianRun(small.target, driver.driver, runs);
        int right = 0;
        for (int i = 0; i < run.result.matches.size(); ++i)
            right += run.result.matches.at(i).recognised
                     && run.result.matches.at(i).zAddress == small.targetZ.at(i);
        report(out,
               QStringLiteral("1 MiB, 400 maps moved (up to ±200 bytes) and changed (±5 %), "
                              "median of %1")
                   .arg(runs),
               run, right);
        // The raw axis search's index of 16-bit values, against the image it indexes.
        const ValueIndex index(small.target, 2, true);
        out << QStringLiteral("  value index of the 1 MiB image: %1 bytes, %2 x the image\n")
                   .arg(index.memoryBytes())
                   .arg(double(index.memoryBytes()) / small.target.size(), 0, 'f', 2);
        out.flush();
    }

    const ScanFixture f = makeScanFixture(4 << 20, 500, 2026);
    QElapsedTimer buildTimer;
    buildTimer.start();
    const DriverBuildResult built = buildDriver(f.reference, f.maps);
    out << QStringLiteral("driver of %1 maps built from the 4 MiB reference in %2 ms\n")
               .arg(built.driver.maps.size())
               .arg(buildTimer.nsecsElapsed() / 1e6, 0, 'f', 1);

    const Run moved = medianRun(f.target, built.driver, runs);
    int atPlace = 0;
    for (int i = 0; i < moved.result.matches.size(); ++i)
        atPlace += moved.result.matches.at(i).recognised
                   && moved.result.matches.at(i).zAddress == f.targetZ.at(i);
    report(out,
           QStringLiteral("4 MiB, every map moved (up to ±1500 bytes) and changed (±5 %), median "
                          "of %1")
               .arg(runs),
           moved, atPlace);

    QByteArray empty(16 << 20, Qt::Uninitialized);
    scanfixture::fillCode(empty.data(), empty.size(), 99);
    if (argc > 2 && QString::fromLocal8Bit(argv[2]) == QLatin1String("moved"))
        return 0;
    const Run nothing = medianRun(empty, built.driver, std::max(1, runs / 2));
    report(
        out,
        QStringLiteral("16 MiB, none of the maps present, median of %1").arg(std::max(1, runs / 2)),
        nothing, -1);
    out << QStringLiteral("  said foreign: %1\n")
               .arg(nothing.result.foreignImage ? QStringLiteral("yes") : QStringLiteral("no"));
    return 0;
}
