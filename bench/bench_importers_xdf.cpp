// XDF reader speed and memory: a generated definition of about 1.3 MB with 555 tables (the
// size of the larger community files), one of about 30 MB, and the community file of the
// shared samples when it is there, each parsed from a file as the import command does. Prints
// the median time, MB/s, the maps found and the peak resident memory above the process's
// resident size before the first parse (VmHWM - VmRSS).
#include "importers/xdfparser.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

qint64 statusKiB(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qsizetype(qstrlen(key))).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// One table as the community's files write them: three axes with their EMBEDDEDDATA, units,
// decimals, MATH, the elements the editor that wrote them keeps (DALINK, datatype, unittype)
// and a description; stored axes, linear equations, a few labels, categories.
QByteArray table(int i)
{
    const int rows = 4 + i % 13;
    const int columns = 4 + i % 12;
    const int base = 0x10000 + (i % 3800) * 0x100;
    return QStringLiteral(
               "  <XDFTABLE uniqueid=\"0x%1\" flags=\"0x0\">\n"
               "    <title>KF%1_TABELLA</title>\n"
               "    <description>Mappa generata %1: anticipo, carico e regime del motore "
               "con correzioni per temperatura e pressione. Valori di base del costruttore, "
               "rivisti per la benzina a 98 ottani e lo scarico sportivo; le celle oltre "
               "5000 giri seguono la curva di coppia misurata al banco.</description>\n"
               "    <CATEGORYMEM index=\"0\" category=\"%2\" />\n"
               "    <XDFAXIS id=\"x\" uniqueid=\"0x0\">\n"
               "      <EMBEDDEDDATA mmedtypeflags=\"0x02\" mmedaddress=\"0x%3\" "
               "mmedelementsizebits=\"16\" mmedcolcount=\"%4\" mmedmajorstridebits=\"16\" "
               "mmedminorstridebits=\"0\" />\n"
               "      <units>%%</units>\n      <indexcount>%4</indexcount>\n"
               "      <decimalpl>2</decimalpl>\n      <embedinfo type=\"1\" />\n"
               "      <datatype>0</datatype>\n      <unittype>0</unittype>\n"
               "      <DALINK index=\"0\" />\n"
               "      <MATH equation=\"0.023438 * X\">\n        <VAR id=\"X\" />\n"
               "      </MATH>\n    </XDFAXIS>\n"
               "    <XDFAXIS id=\"y\" uniqueid=\"0x0\">\n"
               "      <EMBEDDEDDATA mmedaddress=\"0x%5\" mmedelementsizebits=\"8\" "
               "mmedcolcount=\"%6\" mmedmajorstridebits=\"8\" mmedminorstridebits=\"0\" />\n"
               "      <units>U/min</units>\n      <indexcount>%6</indexcount>\n"
               "      <decimalpl>0</decimalpl>\n      <embedinfo type=\"1\" />\n"
               "      <datatype>0</datatype>\n      <unittype>0</unittype>\n"
               "      <DALINK index=\"0\" />\n"
               "      <LABEL index=\"0\" value=\"0.00\" />\n      <LABEL index=\"1\" "
               "value=\"1.00\" />\n"
               "      <LABEL index=\"2\" value=\"2.00\" />\n      <LABEL index=\"3\" "
               "value=\"3.00\" />\n"
               "      <LABEL index=\"4\" value=\"4.00\" />\n      <LABEL index=\"5\" "
               "value=\"5.00\" />\n"
               "      <LABEL index=\"6\" value=\"6.00\" />\n      <LABEL index=\"7\" "
               "value=\"7.00\" />\n"
               "      <LABEL index=\"8\" value=\"8.00\" />\n      <LABEL index=\"9\" "
               "value=\"9.00\" />\n"
               "      <LABEL index=\"10\" value=\"10.00\" />\n      <LABEL index=\"11\" "
               "value=\"11.00\" />\n"
               "      <MATH equation=\"40.000000 * X\">\n        <VAR id=\"X\" />\n"
               "      </MATH>\n    </XDFAXIS>\n"
               "    <XDFAXIS id=\"z\">\n"
               "      <EMBEDDEDDATA mmedtypeflags=\"0x01\" mmedaddress=\"0x%7\" "
               "mmedelementsizebits=\"8\" mmedrowcount=\"%6\" mmedcolcount=\"%4\" "
               "mmedmajorstridebits=\"0\" mmedminorstridebits=\"0\" />\n"
               "      <units>grad KW</units>\n      <decimalpl>3</decimalpl>\n"
               "      <min>0.000000</min>\n      <max>255.000000</max>\n"
               "      <outputtype>1</outputtype>\n"
               "      <MATH equation=\"(X*0.750000)-48\">\n        <VAR id=\"X\" />\n"
               "      </MATH>\n    </XDFAXIS>\n  </XDFTABLE>\n")
        .arg(i)
        .arg(1 + i % 40)
        .arg(base, 0, 16)
        .arg(columns)
        .arg(base + 0x40, 0, 16)
        .arg(rows)
        .arg(base + 0x60, 0, 16)
        .toLatin1();
}

// Written piece by piece so that the generator does not raise the memory peak.
bool writeDefinition(const QString &path, int tables)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk = "<!-- generated -->\n<XDFFORMAT version=\"1.70\">\n  <XDFHEADER>\n"
                       "    <flags>0x1</flags>\n    <deftitle>bench</deftitle>\n"
                       "    <BASEOFFSET offset=\"0\" subtract=\"0\" />\n"
                       "    <DEFAULTS datasizeinbits=\"8\" sigdigits=\"2\" outputtype=\"1\" "
                       "signed=\"0\" lsbfirst=\"1\" float=\"0\" />\n";
    for (int c = 0; c < 40; ++c)
        chunk += QStringLiteral("    <CATEGORY index=\"0x%1\" name=\"Categoria %2\" />\n")
                     .arg(c, 0, 16)
                     .arg(c)
                     .toLatin1();
    chunk += "  </XDFHEADER>\n";
    for (int i = 0; i < tables; ++i) {
        chunk += table(i);
        if (chunk.size() > (1 << 20)) {
            file.write(chunk);
            chunk.clear();
        }
    }
    chunk += "</XDFFORMAT>\n";
    return file.write(chunk) == chunk.size() && file.flush();
}

void measure(const QString &label, const QString &path, int runs, qint64 imageSize)
{
    const double megabytes = double(QFileInfo(path).size()) / 1e6;
    std::vector<double> times;
    // The process's CPU time as well: on a shared machine the wall clock mostly measures the
    // other processes.
    std::vector<double> cpu;
    qsizetype maps = 0;
    qsizetype notes = 0;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer timer;
        timer.start();
        const std::clock_t start = std::clock();
        const XdfParser::Result result = XdfParser::parse(path, imageSize);
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
        cpu.push_back(double(std::clock() - start) * 1000.0 / CLOCKS_PER_SEC);
        maps = result.maps.size();
        notes = result.notes.size();
    }
    std::sort(times.begin(), times.end());
    std::sort(cpu.begin(), cpu.end());
    const double median = times[times.size() / 2];
    const double cpuMedian = cpu[cpu.size() / 2];
    std::printf("| %s | %.2f MB | %lld | %lld | %.1f ms | %.1f ms | %.1f MB/s |\n",
                qPrintable(label), megabytes, qlonglong(maps), qlonglong(notes), median, cpuMedian,
                megabytes / (cpuMedian / 1000.0));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString small = dir.filePath(QStringLiteral("555.xdf"));
    const QString large = dir.filePath(QStringLiteral("30mb.xdf"));
    // 555 tables of about 2.35 KB; 13 150 of them make 30 MB.
    if (!writeDefinition(small, 555) || !writeDefinition(large, 13150)) {
        std::fprintf(stderr, "cannot write the definitions\n");
        return 1;
    }
    const qint64 before = statusKiB("VmRSS:");
    std::printf("| input | size | maps | notes | median wall | median CPU | throughput (CPU) |\n"
                "|---|---|---|---|---|---|---|\n");
    measure(QStringLiteral("555 tables"), small, 11, 1 << 20);
    const QString community = QStringLiteral(
        TESSA_SHARED_DATA_DIR "/definitions/me7-8D0907551/8D0907551M-16bit-kfzw.xdf");
    if (QFile::exists(community))
        measure(QStringLiteral("8D0907551M-16bit-kfzw.xdf"), community, 11, 1 << 20);
    measure(QStringLiteral("13 150 tables"), large, 5, 1 << 20);
    const qint64 peak = statusKiB("VmHWM:");
    const double largeMiB = double(QFileInfo(large).size()) / (1024.0 * 1024.0);
    std::printf("\npeak resident above the start: %.1f MiB (%.2f x the 30 MB file)\n",
                double(peak - before) / 1024.0, double(peak - before) / 1024.0 / largeMiB);
    return 0;
}
