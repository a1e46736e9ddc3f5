// Recognition drivers: building a driver of 500 maps from a 4 MiB image, writing and reading
// it, one fixed-position evaluation and one full validation of a 16 x 16 map, and the refusal
// of hostile driver files. Prints medians in milliseconds (microseconds per evaluation).
#include "recognition/driverbuilder.h"
#include "recognition/driverfile.h"
#include "recognition/mapvalidation.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int MapCount = 500;
constexpr qint64 ImageSize = 4 * 1024 * 1024;

double medianMs(int runs, const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void putWord(QByteArray &image, qint64 at, int value)
{
    image[at] = char(value & 0xFF);
    image[at + 1] = char((value >> 8) & 0xFF);
}

// Code-like noise with 500 maps of 8 x 8 to 16 x 16 words, each after its X and Y axes and
// a stretch of erased flash, spread evenly over the image.
QByteArray makeImage(QList<MapDefinition> &maps)
{
    QByteArray image(ImageSize, '\0');
    quint32 state = 0x1234ABCD;
    for (qint64 i = 0; i < ImageSize; ++i) {
        state = state * 1103515245u + 12345u;
        image[i] = char(state >> 16);
    }
    const qint64 slot = ImageSize / MapCount;
    for (int m = 0; m < MapCount; ++m) {
        const bool square = m % 50 == 8; // ten 16 x 16 maps among the sizes from 8 to 16
        const int rows = square ? 16 : 8 + m % 9, columns = square ? 16 : 8 + (m * 7) % 9;
        const qint64 base = m * slot + 256;
        image.replace(base - 64, 64, QByteArray(64, char(0xFF)));
        MapDefinition d;
        d.name = QStringLiteral("Mappa %1").arg(m);
        d.rows = rows;
        d.columns = columns;
        d.xAxisOffset = int(base);
        d.yAxisOffset = int(base + 2 * columns);
        d.mapOffset = int(base + 2 * (columns + rows));
        for (int c = 0; c < columns; ++c)
            putWord(image, d.xAxisOffset + 2 * c, 100 + c * (50 + m % 13));
        for (int r = 0; r < rows; ++r)
            putWord(image, d.yAxisOffset + 2 * r, 800 + r * (250 + m % 17));
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < columns; ++c)
                putWord(image, d.mapOffset + 2 * (r * columns + c),
                        int(500 + 40 * c + 30 * r + 4 * r * c * std::sin(m + c * 0.3)));
        maps.append(d);
    }
    return image;
}

QByteArray hostile(qint32 mapCount, const QByteArray &tail)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << DriverFileMagic << DriverFileVersion;
    for (int i = 0; i < 5; ++i)
        out << QString();
    out << qint64(0) << mapCount;
    bytes += tail;
    return bytes.leftJustified(100, '\0');
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QList<MapDefinition> maps;
    const QByteArray image = makeImage(maps);

    DriverBuildResult built;
    const double buildMs = medianMs(5, [&] { built = buildDriver(image, maps); });
    int anchored = 0;
    for (const DriverMap &map : std::as_const(built.driver.maps))
        anchored += map.useXAnchor || map.useYAnchor ? 1 : 0;
    std::printf("build: %lld maps from a %lld MiB image: %.1f ms (median of 5), %d with anchors, "
                "%lld left out\n",
                qlonglong(built.driver.maps.size()), ImageSize >> 20, buildMs, anchored,
                qlonglong(built.skipped.size()));

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.ecudrv"));
    const double writeMs = medianMs(11, [&] { saveDriverFile(built.driver, path); });
    QByteArray bytes;
    const double encodeMs = medianMs(11, [&] { bytes = driverFileBytes(built.driver); });
    std::printf("encoding alone: %.2f ms\n", encodeMs);
    Driver read;
    const double readMs = medianMs(11, [&] { loadDriverFile(path, read); });
    std::printf("write: %.2f ms, read: %.2f ms (medians of 11), file of %lld bytes, %s\n", writeMs,
                readMs, qlonglong(QFileInfo(path).size()),
                read == built.driver ? "read back equal" : "READ BACK DIFFERS");

    // A 16 x 16 map of the driver (the maps cycle through 8..16 rows and columns).
    const auto big
        = std::find_if(built.driver.maps.cbegin(), built.driver.maps.cend(),
                       [](const DriverMap &m) { return m.rows == 16 && m.columns == 16; });
    if (big != built.driver.maps.cend()) {
        constexpr int Calls = 2000;
        double sink = 0;
        const double fixedMs = medianMs(5, [&] {
            for (int i = 0; i < Calls; ++i)
                sink += evaluateAt(image, *big, big->zAddress, true, false).confidence;
        });
        const double fullMs = medianMs(5, [&] {
            for (int i = 0; i < Calls; ++i)
                sink += validateCandidate(image, *big, big->zAddress, Candidate(), true).confidence;
        });
        // What one neighbourhood search of the scanner costs: every word within 2304 bytes.
        int accepted = 0;
        const double neighbourhoodMs = medianMs(5, [&] {
            accepted = 0;
            for (qint64 p = big->zAddress - 2304; p <= big->zAddress + 2304; p += 2)
                accepted += validateCandidate(image, *big, p, Candidate(), true).accepted ? 1 : 0;
        });
        std::printf("validateCandidate over +/-2304 bytes (2305 positions): %.2f ms, %d accepted\n",
                    neighbourhoodMs, accepted);
        std::printf("16 x 16 map: evaluateAt %.2f us, validateCandidate %.2f us per call "
                    "(median of 5 x %d calls; %.0f)\n",
                    fixedMs * 1000 / Calls, fullMs * 1000 / Calls, Calls, sink > 0 ? 1.0 : 0.0);
    }

    for (const auto &[name, bytes] :
         {std::pair{"100 bytes claiming 2^31-1 maps", hostile(INT_MAX, {})},
          std::pair{"a string claiming 2^32-2 bytes",
                    hostile(1, QByteArray("\xff\xff\xff\xfe", 4))}}) {
        const QString hostilePath = dir.filePath(QStringLiteral("hostile.ecudrv"));
        QFile file(hostilePath);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return 1;
        file.close();
        QString error;
        Driver refused;
        const double ms = medianMs(11, [&] { loadDriverFile(hostilePath, refused, &error); });
        std::printf("%s: refused in %.3f ms with \"%s\"\n", name, ms, qPrintable(error));
    }
    return 0;
}
