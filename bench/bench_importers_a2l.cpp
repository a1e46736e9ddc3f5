// A2L / DAMOS parser throughput: a generated description of about 30 MB with 40 000
// CHARACTERISTICs (MAP, CURVE and VALUE, axes by record layout and by reference, RAT_FUNC
// conversions), parsed from a file as the import command does. Prints time, MB/s, the
// maps found and the peak resident memory of the process (VmHWM).
#include "importers/a2lparser.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

qint64 peakResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// Written piece by piece so that the generator itself does not raise the memory peak.
bool writeDescription(const QString &path, int characteristics)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk;
    auto flush = [&] {
        file.write(chunk);
        chunk.clear();
    };
    chunk += "ASAP2_VERSION 1 61\n/begin PROJECT BENCH \"\"\n/begin MODULE M \"\"\n"
             "/begin MOD_COMMON \"\" DEPOSIT ABSOLUTE BYTE_ORDER MSB_LAST /end MOD_COMMON\n";
    const int methods = 2000;
    for (int i = 0; i < methods; ++i)
        chunk
            += QStringLiteral("/begin COMPU_METHOD CM_%1 \"conversion %1\"\n  RAT_FUNC \"%%8.%2\" "
                              "\"unit%3\"\n  COEFFS 0 %4 %5 0 0 1\n/end COMPU_METHOD\n")
                   .arg(i)
                   .arg(i % 4)
                   .arg(i % 37)
                   .arg(1 + i % 9)
                   .arg(i % 100)
                   .toLatin1();
    const char *types[] = {"UBYTE", "UWORD", "SWORD", "ULONG", "FLOAT32_IEEE"};
    for (int t = 0; t < 5; ++t) {
        chunk += QStringLiteral("/begin RECORD_LAYOUT RL_MAP_%1\n  NO_AXIS_PTS_X 1 UWORD\n"
                                "  NO_AXIS_PTS_Y 2 UWORD\n  AXIS_PTS_X 3 UWORD INDEX_INCR DIRECT\n"
                                "  AXIS_PTS_Y 4 UWORD INDEX_INCR DIRECT\n"
                                "  FNC_VALUES 5 %1 COLUMN_DIR DIRECT\n/end RECORD_LAYOUT\n"
                                "/begin RECORD_LAYOUT RL_CURVE_%1\n  NO_AXIS_PTS_X 1 UBYTE\n"
                                "  AXIS_PTS_X 2 UWORD INDEX_INCR DIRECT\n"
                                "  FNC_VALUES 3 %1 ROW_DIR DIRECT\n/end RECORD_LAYOUT\n"
                                "/begin RECORD_LAYOUT RL_FNC_%1\n  FNC_VALUES 1 %1 ROW_DIR DIRECT\n"
                                "/end RECORD_LAYOUT\n")
                     .arg(QLatin1String(types[t]))
                     .toLatin1();
    }
    chunk += "/begin RECORD_LAYOUT RL_AXIS_UWORD AXIS_PTS_X 1 UWORD INDEX_INCR DIRECT "
             "/end RECORD_LAYOUT\n";
    const int axes = 4000;
    for (int i = 0; i < axes; ++i)
        chunk += QStringLiteral("/begin AXIS_PTS AX_%1 \"shared axis %1\" 0x%2 IN_%1 "
                                "RL_AXIS_UWORD 0 CM_%3 %4 0 10000\n  DEPOSIT ABSOLUTE\n"
                                "/end AXIS_PTS\n")
                     .arg(i)
                     .arg(0x80100000u + quint32(i) * 64, 0, 16)
                     .arg(i % methods)
                     .arg(4 + i % 16)
                     .toLatin1();
    flush();

    // Fill that real files carry around each block: comments, IF_DATA, annotations.
    const QByteArray ifData
        = "  /begin IF_DATA ETK KP_BLOB 0x0 INTERN 0x2 /end IF_DATA\n"
          "  /begin IF_DATA CANAPE_EXT 100 LINK_MAP \"_sym\" 0x12345 0x0 0 0x0 1 0x8F 0x0 "
          "/end IF_DATA\n"
          "  /* calibration note: keep within the limits agreed with the test bench, */\n"
          "  /* check the dependent maps before changing this one.                 */\n"
          "  ANNOTATION_TEXT \"Revised after the winter calibration campaign; see the change "
          "log of the dataset for the reasons.\"\n";
    for (int i = 0; i < characteristics; ++i) {
        const quint32 address = 0x80000000u + quint32(i % 0x3FFF) * 1024;
        const int type = i % 5;
        const QByteArray cm = "CM_" + QByteArray::number(i % methods);
        const char *dataType = types[i % 5];
        QByteArray block = "/begin CHARACTERISTIC K_" + QByteArray::number(i) + " \"Characteristic "
                           + QByteArray::number(i) + " description text\"\n  ";
        auto ref = [byRef = (type == 1 || type == 3)](int n) {
            return byRef ? QByteArray("AX_") + QByteArray::number(n) : QByteArray();
        };
        auto axisDescr = [&](int points, const QByteArray &ref) {
            QByteArray d = "  /begin AXIS_DESCR "
                           + QByteArray(ref.isEmpty() ? "STD_AXIS" : "COM_AXIS") + " IN_"
                           + QByteArray::number(i % 97) + " " + cm + " "
                           + QByteArray::number(points) + " 0 10000\n";
            if (!ref.isEmpty())
                d += "    AXIS_PTS_REF " + ref + "\n";
            d += "    FORMAT \"%8.2\"\n  /end AXIS_DESCR\n";
            return d;
        };
        if (type == 0 || type == 1) {
            const bool byReference = type == 1;
            block += "MAP 0x" + QByteArray::number(address, 16) + " "
                     + (byReference ? "RL_FNC_" : "RL_MAP_") + dataType + " 0 " + cm + " 0 65535\n";
            block += axisDescr(8 + i % 9, ref(i % axes));
            block += axisDescr(6 + i % 7, ref((i + 7) % axes));
        } else if (type == 2 || type == 3) {
            const bool byReference = type == 3;
            block += "CURVE 0x" + QByteArray::number(address, 16) + " "
                     + (byReference ? "RL_FNC_" : "RL_CURVE_") + dataType + " 0 " + cm
                     + " 0 65535\n";
            block += axisDescr(4 + i % 13, ref(i % axes));
        } else {
            block += "VALUE 0x" + QByteArray::number(address, 16) + " RL_FNC_" + dataType + " 0 "
                     + cm + " 0 65535\n";
        }
        block += ifData;
        block += "  FORMAT \"%8.3\"\n  DISPLAY_IDENTIFIER K_" + QByteArray::number(i)
                 + "_display\n/end CHARACTERISTIC\n\n";
        chunk += block;
        if (chunk.size() > (1 << 20))
            flush();
    }
    chunk += "/end MODULE\n/end PROJECT\n";
    flush();
    return true;
}

} // namespace

struct Measure
{
    double megabytes = 0;
    int maps = 0;
    double best = 0;
    double median = 0;
    qint64 peakKiB = 0;
};

Measure measure(const QString &path, int characteristics, int runs)
{
    Measure m;
    if (!writeDescription(path, characteristics))
        return m;
    m.megabytes = double(QFileInfo(path).size()) / 1e6;
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        const A2LParser::Result result = A2LParser::parse(path);
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
        m.maps = int(result.maps.size());
    }
    std::sort(times.begin(), times.end());
    m.best = times.front();
    m.median = times.at(times.size() / 2);
    m.peakKiB = peakResidentKiB();
    QFile::remove(path);
    return m;
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // "--write FILE [N]" only writes the description (N CHARACTERISTICs, 40 000 by default)
    // and "--parse FILE" parses it once and prints the milliseconds, so that shell scripts can
    // time the command-line tool against the parse on the same input.
    const QStringList args = QCoreApplication::arguments();
    if (args.size() >= 3 && args.at(1) == QLatin1String("--write"))
        return writeDescription(args.at(2), args.size() > 3 ? args.at(3).toInt() : 40000) ? 0 : 1;
    if (args.size() >= 3 && args.at(1) == QLatin1String("--parse")) {
        QElapsedTimer timer;
        timer.start();
        const A2LParser::Result result = A2LParser::parse(args.at(2));
        std::printf("%.1f\n", double(timer.nsecsElapsed()) / 1e6);
        return result.maps.isEmpty() ? 1 : 0;
    }
    const int runs = 3;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.a2l"));
    std::printf("A2L / DAMOS parse (A2LParser::parse, file read included), %d runs each\n", runs);
    std::printf("%-16s %9s %8s %10s %12s %8s %14s\n", "CHARACTERISTICs", "size (MB)", "maps",
                "best (ms)", "median (ms)", "MB/s", "VmHWM (MB)");
    bool ok = true;
    // The second, doubled file shows the time growing linearly with the size; the peak
    // memory of the process only grows, so the first row's peak is the 30 MB file's own.
    for (int characteristics : {40000, 80000}) {
        const Measure m = measure(path, characteristics, runs);
        ok = ok && m.maps == characteristics;
        std::printf("%-16d %9.1f %8d %10.0f %12.0f %8.1f %14.0f\n", characteristics, m.megabytes,
                    m.maps, m.best, m.median, m.megabytes / (m.median / 1000.0),
                    double(m.peakKiB) / 1024.0);
    }
    std::printf("targets for the 30 MB file: <= 2000 ms, <= 1024 MB peak\n");
    return ok ? 0 : 1;
}
