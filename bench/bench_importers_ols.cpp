// WinOLS project parser throughput: a generated 8 MiB project (a head of map records and a
// 7 MiB embedded firmware of pseudo-random bytes with blank areas), parsed from a file as
// the import command does, once as a Bosch project and once as a generic one.
#include "importers/olsparser.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

class Writer
{
public:
    QByteArray bytes;
    void u32(quint32 v)
    {
        char raw[4];
        qToLittleEndian(v, raw);
        bytes.append(raw, 4);
    }
    void f64(double v)
    {
        quint64 bits;
        std::memcpy(&bits, &v, 8);
        char raw[8];
        qToLittleEndian(bits, raw);
        bytes.append(raw, 8);
    }
    void string(const QByteArray &s)
    {
        u32(quint32(s.size()));
        bytes.append(s);
    }
    void padTo(qsizetype at)
    {
        bytes.append(QByteArray(qMax<qsizetype>(0, at - bytes.size()), '\0'));
    }
};

const quint32 FirmwareSize = 0x700000;

QByteArray project(bool bosch, int records)
{
    Writer w;
    w.string("WinOLS File");
    w.padTo(64);
    w.string(bosch ? "Bosch EDC17C64" : "ECU generic");
    w.string("700000");
    w.padTo(4096);
    for (int i = 0; i < records; ++i) {
        const quint32 columns = 4 + i % 13;
        const quint32 rows = 1 + i % 11;
        const quint32 size = 1u << (i % 3);
        const quint32 start = (quint32(i) * 1024) % (FirmwareSize - 0x10000);
        const quint32 end = start + rows * columns * size;
        const QByteArray name = "MAP_" + QByteArray::number(i);
        if (bosch) {
            w.bytes.append("\x02\x00\x00\x00\x03\x00\x00\x00\x02\x00\x00\x00\x0A\x00\x00\x00", 16);
            w.u32(0);
            w.string(name);
            w.bytes.append('\0');
            const qsizetype e = w.bytes.size();
            w.padTo(e + 61);
            w.u32(columns);
            w.u32(rows);
            w.padTo(e + 85);
            w.string("Description of " + name);
            w.bytes.append('\0');
        } else {
            w.string(name);
            w.u32(columns);
            w.u32(rows);
            w.padTo(w.bytes.size() + 16);
            w.bytes.append("Conversion method", 17);
            w.bytes.append('\0');
            w.string("unit");
        }
        w.f64(0.01 * (1 + i % 7));
        w.f64(-double(i % 40));
        w.u32(start);
        w.u32(end);
        w.padTo(w.bytes.size() + 48);
    }
    const qsizetype total = 8 * 1024 * 1024;
    w.padTo(total - FirmwareSize);
    QByteArray firmware(FirmwareSize, '\0');
    quint32 state = 7;
    for (quint32 i = 0; i < FirmwareSize; ++i) {
        state = state * 1664525u + 1013904223u;
        // Blank stretches as real images have them, where zero words abound.
        firmware[i] = (i / 0x8000) % 4 == 3 ? '\0' : char(state >> 24);
    }
    w.bytes.append(firmware);
    return w.bytes;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const int runs = 5;
    std::printf("WinOLS project parse (OLSParser::parse, file read included), %d runs each\n",
                runs);
    std::printf("%-10s %10s %8s %8s %10s %12s\n", "project", "size (MiB)", "records", "maps",
                "best (ms)", "median (ms)");
    bool ok = true;
    for (bool bosch : {true, false}) {
        const int records = 3000;
        const QByteArray bytes = project(bosch, records);
        const QString path
            = dir.filePath(bosch ? QStringLiteral("bosch.ols") : QStringLiteral("generic.ols"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return 1;
        file.close();
        std::vector<double> times;
        qsizetype maps = 0;
        for (int run = 0; run < runs; ++run) {
            QElapsedTimer timer;
            timer.start();
            const OLSParser::Result result = OLSParser::parse(path);
            times.push_back(double(timer.nsecsElapsed()) / 1e6);
            maps = result.maps.size();
            ok = ok && result.firmware.size() == qsizetype(FirmwareSize);
        }
        std::sort(times.begin(), times.end());
        std::printf("%-10s %10.2f %8d %8lld %10.1f %12.1f\n", bosch ? "Bosch" : "generic",
                    double(bytes.size()) / (1024.0 * 1024.0), records, qint64(maps), times.front(),
                    times.at(times.size() / 2));
    }
    std::printf("target: <= 300 ms\n");
    return ok ? 0 : 1;
}
