// identifyEcu over a 16 MiB image with realistic strings; target at most 100 ms.
// Run: build/bench/bench_projects_identify
#include "model/firmware.h"
#include "projects/ecuidentification.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Code-like noise, erased-flash stretches and the text an ECU image carries: library
// banners, diagnostic names, and the identification block near the end.
std::vector<uint8_t> realisticImage(std::size_t size, bool withIdentification)
{
    std::vector<uint8_t> image(size, 0xFF);
    uint32_t state = 0x1234ABCD;
    for (std::size_t i = 0; i < size; ++i) {
        if ((i >> 16) % 8 == 7)
            continue; // 64 KiB of erased flash every 512 KiB
        state = state * 1103515245u + 12345u;
        image[i] = uint8_t(state >> 16);
    }
    const char *const texts[]
        = {"Copyright (c) Bosch GmbH", "DFC_MonitoringRailPressure", "OBD Readiness",
           "InjCrv_qPiI1Des_mp",       "checksum block 3",           "Lambda sensor heater",
           "boot loader v4.2"};
    std::size_t p = 0x1000;
    for (int n = 0; p + 64 < size; ++n, p += 0x2000) {
        const char *t = texts[n % 7];
        std::memcpy(image.data() + p, t, std::strlen(t));
        image[p + std::strlen(t)] = 0;
    }
    if (withIdentification) {
        const char *const id[] = {"EDC17C46 ident", "1037541778P643A2XK", "HW 0281017946 ",
                                  "03L906018JL  5678", "ENGINE CFFB 2.0 TDI"};
        p = size - 0x1000;
        for (const char *t : id) {
            std::memcpy(image.data() + p, t, std::strlen(t));
            image[p + std::strlen(t)] = 0;
            p += 64;
        }
    }
    return image;
}

double medianMs(const std::vector<uint8_t> &image, EcuIdentification *last)
{
    std::vector<double> times;
    for (int i = 0; i < 11; ++i) {
        QElapsedTimer timer;
        timer.start();
        *last = identifyEcu(image.data(), qint64(image.size()));
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    out << "identifyEcu, 16 MiB image, median of 11 runs (target <= 100 ms)\n";
    out << QStringLiteral("%1 %2  %3\n")
               .arg(QStringLiteral("case"), -44)
               .arg(QStringLiteral("ms"), 8)
               .arg(QStringLiteral("found"));
    for (bool withId : {true, false}) {
        const std::vector<uint8_t> image = realisticImage(16u << 20, withId);
        EcuIdentification id;
        const double ms = medianMs(image, &id);
        out << QStringLiteral("%1 %2  %3\n")
                   .arg(withId ? QStringLiteral("identification block at the end")
                               : QStringLiteral("no identification (every run examined)"),
                        -44)
                   .arg(ms, 8, 'f', 1)
                   .arg(QStringList{id.ecuFamily, id.softwareNumber, id.hardwareNumber,
                                    id.engineCode}
                            .join(QLatin1Char(' ')));
    }
    return 0;
}
