// ORI / MOD statistics of two 16 MiB images that differ in 1 % of their bytes, spread over
// 10 000 blocks, against `cmp` over two identical 16 MiB files in the same run.
#include "model/firmware.h"
#include "projects/comparestatistics.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr qint64 Size = 16 * 1024 * 1024;
constexpr int Blocks = 10000;
constexpr int Runs = 7;

double medianMs(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);

    QByteArray ori(Size, Qt::Uninitialized);
    QRandomGenerator rng(2026);
    for (qint64 i = 0; i < Size; i += 4) {
        const quint32 v = rng.generate();
        memcpy(ori.data() + i, &v, 4);
    }
    // 1 % of the bytes, in 10 000 runs of equal length at evenly spread places.
    QByteArray mod = ori;
    const qint64 changed = Size / 100;
    const qint64 stride = Size / Blocks;
    for (int b = 0; b < Blocks; ++b)
        for (qint64 k = 0; k < changed / Blocks + (b < changed % Blocks ? 1 : 0); ++k)
            mod[b * stride + k] = char(~mod[b * stride + k]);

    QTemporaryDir dir;
    const QString a = dir.filePath(QStringLiteral("ori.bin"));
    const QString same = dir.filePath(QStringLiteral("same.bin"));
    const QString m = dir.filePath(QStringLiteral("mod.bin"));
    if (!dir.isValid() || !writeFile(a, ori) || !writeFile(same, ori) || !writeFile(m, mod)) {
        out << "cannot write the benchmark files\n";
        return 1;
    }

    std::vector<double> cmpTimes, statTimes, loadStatTimes;
    CompareStatistics s;
    for (int r = 0; r < Runs; ++r) {
        QElapsedTimer t;
        t.start();
        QProcess cmp;
        cmp.start(QStringLiteral("cmp"), {a, same});
        if (!cmp.waitForFinished(60000) || cmp.exitCode() != 0) {
            out << "cmp failed to run or found a difference\n";
            return 1;
        }
        cmpTimes.push_back(t.nsecsElapsed() / 1e6);

        t.restart();
        s = compareImages(ori.constData(), mod.constData(), Size);
        statTimes.push_back(t.nsecsElapsed() / 1e6);

        t.restart();
        Firmware fo, fm;
        fo.load(a.toStdString());
        fm.load(m.toStdString());
        const CompareStatistics s2 = compareImages(
            reinterpret_cast<const char *>(fo.data().data()),
            reinterpret_cast<const char *>(fm.data().data()), qint64(fo.size()));
        loadStatTimes.push_back(t.nsecsElapsed() / 1e6);
        if (s2.differingBytes != s.differingBytes)
            return 1;
    }

    out << "ORI / MOD statistics, 16 MiB, " << s.differingBytes << " differing bytes in "
        << s.changeBlocks << " blocks (median of " << Runs << " runs)\n";
    out << QStringLiteral("%1 %2\n").arg(QStringLiteral("what"), -52).arg(QStringLiteral("ms"), 9);
    const auto row = [&out](const QString &what, double ms) {
        out << QStringLiteral("%1 %2\n").arg(what, -52).arg(ms, 9, 'f', 2);
    };
    const double cmpMs = medianMs(cmpTimes);
    const double statMs = medianMs(statTimes);
    row(QStringLiteral("cmp ori.bin same.bin (identical files, process)"), cmpMs);
    row(QStringLiteral("compareImages (in memory)"), statMs);
    row(QStringLiteral("load both files + compareImages"), medianMs(loadStatTimes));
    out << QStringLiteral("statistics / cmp = %1 (target at most 2)\n")
               .arg(statMs / cmpMs, 0, 'f', 3);
    return 0;
}
