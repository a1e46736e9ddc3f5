// Verifying and correcting the checksums of a 1 MiB ME7 image; target at most 20 ms each.
// Run: build/bench/bench_checksums_me7 [IMAGE]   (default: the shared 8D0907551N.bin)
#include "checksums/checksummodule.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

struct Timing
{
    double median = 0;
    double min = 0;
};

Timing measure(const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < 21; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.front()};
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const QString path = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                  : QStringLiteral(TESSA_SHARED_DATA_DIR "/ecu/8D0907551N.bin");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        out << "cannot read " << path << "\n";
        return 1;
    }
    const QByteArray image = file.readAll();
    ChecksumReport report;
    const Timing verify = measure([&] { report = checkImage(image); });
    out << path << ": " << image.size() << " bytes, module " << report.module << ", "
        << report.blocks.size() << " blocks, " << report.wrongBlocks() << " wrong\n";
    out << QStringLiteral("verify (report and corrections): median %1 ms, min %2 ms\n")
               .arg(verify.median, 0, 'f', 2)
               .arg(verify.min, 0, 'f', 2);

    // A map value changed in the first main data area: the CRC and multipoint blocks over it
    // go wrong, and correcting them changes the blocks that cover their values too.
    QByteArray edited = image;
    const qint64 offset = report.blocks.size() > 2 ? report.blocks.at(2).start() + 0x400 : 0;
    edited[offset] = char(edited.at(offset) ^ 0x5a);
    QByteArray corrected;
    ChecksumReport before;
    const Timing correct = measure([&] {
        before = checkImage(edited);
        corrected = applyChecksumChanges(edited, before.corrections);
    });
    out << QStringLiteral("correct (%1 wrong, %2 changed): median %3 ms, min %4 ms\n")
               .arg(before.wrongBlocks())
               .arg(blocksTouched(before.blocks, before.corrections))
               .arg(correct.median, 0, 'f', 2)
               .arg(correct.min, 0, 'f', 2);
    return checkImage(corrected).allOk() ? 0 : 2;
}
