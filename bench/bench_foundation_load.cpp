// Loading a firmware image, side by side with the command-line tools a user would otherwise
// reach for on the same file:
//   - Intel HEX decoding of a 16 MiB image (32-byte records under a type-04 base of 0x8000)
//     through Firmware::load against objcopy, srec_cat and python3-intelhex;
//   - raw load of a 16 MiB file plus its SHA-256 fingerprint against sha256sum.
// Usage: bench_foundation_load [RUNS]   (default 7; the median is reported)
#include "model/fingerprint.h"
#include "model/firmware.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

namespace {

constexpr int ImageSize = 16 * 1024 * 1024;
constexpr int RecordLength = 32;

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

QByteArray makeImage()
{
    // Deterministic bytes with some structure, so no decoder can take a shortcut.
    QByteArray image(ImageSize, Qt::Uninitialized);
    quint32 state = 0x12345678u;
    for (int i = 0; i < ImageSize; ++i) {
        state = state * 1664525u + 1013904223u;
        image[i] = char(state >> 24);
    }
    return image;
}

QByteArray hexRecord(int count, int address, int type, const char *data)
{
    static const char digits[] = "0123456789ABCDEF";
    QByteArray line;
    line.reserve(12 + 2 * count);
    int sum = count + (address >> 8) + (address & 0xFF) + type;
    auto put = [&](int byte) {
        line.append(digits[(byte >> 4) & 0xF]);
        line.append(digits[byte & 0xF]);
    };
    line.append(':');
    put(count);
    put(address >> 8);
    put(address & 0xFF);
    put(type);
    for (int i = 0; i < count; ++i) {
        const int b = uchar(data[i]);
        sum += b;
        put(b);
    }
    put((-sum) & 0xFF);
    line.append('\n');
    return line;
}

// The image at 0x80000000: a type-04 record of 0x8000 and up every 64 KiB, 32-byte data.
QByteArray toIntelHex(const QByteArray &image)
{
    QByteArray text;
    text.reserve(image.size() / RecordLength * 76 + 4096);
    for (int offset = 0; offset < image.size(); offset += RecordLength) {
        if ((offset & 0xFFFF) == 0) {
            const int upper = 0x8000 + (offset >> 16);
            const char base[2] = {char(upper >> 8), char(upper & 0xFF)};
            text += hexRecord(2, 0, 4, base);
        }
        text += hexRecord(RecordLength, offset & 0xFFFF, 0, image.constData() + offset);
    }
    text += hexRecord(0, 0, 1, nullptr);
    return text;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray sha256Of(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash h(QCryptographicHash::Sha256);
    h.addData(&f);
    return h.result().toHex();
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Median milliseconds of runs of fn; nullopt when any run fails.
std::optional<double> timeRuns(int runs, const std::function<bool()> &fn)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        if (!fn())
            return std::nullopt;
        ms.push_back(t.nsecsElapsed() / 1e6);
    }
    return median(ms);
}

bool runTool(const QString &program, const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(program, args);
    return p.waitForFinished(600000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

struct Row
{
    QString what;
    std::optional<double> ms;
    QString note;
};

void printTable(const QString &title, const std::vector<Row> &rows, double reference)
{
    out() << "\n" << title << "\n";
    out() << QStringLiteral("  %1 %2 %3  %4\n")
                 .arg(QStringLiteral("program"), -44)
                 .arg(QStringLiteral("median ms"), 10)
                 .arg(QStringLiteral("vs ours"), 8)
                 .arg(QStringLiteral("note"));
    for (const Row &r : rows) {
        const QString ms = r.ms ? QString::number(*r.ms, 'f', 1) : QStringLiteral("-");
        const QString ratio = (r.ms && reference > 0)
                                  ? QString::number(*r.ms / reference, 'f', 2) + QLatin1Char('x')
                                  : QStringLiteral("-");
        out() << QStringLiteral("  %1 %2 %3  %4\n")
                     .arg(r.what, -44)
                     .arg(ms, 10)
                     .arg(ratio, 8)
                     .arg(r.note);
    }
    out().flush();
}

QString systemPython()
{
    // The Debian package python3-intelhex lives in the system interpreter's path.
    if (QFile::exists(QStringLiteral("/usr/bin/python3")))
        return QStringLiteral("/usr/bin/python3");
    return QStandardPaths::findExecutable(QStringLiteral("python3"));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? qMax(1, QByteArray(argv[1]).toInt()) : 7;
    QTemporaryDir dir;
    if (!dir.isValid()) {
        fprintf(stderr, "cannot create a temporary folder\n");
        return 1;
    }
    const QByteArray image = makeImage();
    const QByteArray expected = QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex();
    const QString hexPath = dir.filePath(QStringLiteral("image16m.hex"));
    const QString rawPath = dir.filePath(QStringLiteral("image16m.bin"));
    const QByteArray hexText = toIntelHex(image);
    if (!writeFile(hexPath, hexText) || !writeFile(rawPath, image)) {
        fprintf(stderr, "cannot write the test files\n");
        return 1;
    }
    out() << "Foundation: loading a 16 MiB image, " << runs << " runs each, median\n";
    out() << "Intel HEX file: " << hexText.size() << " bytes of text, "
          << (image.size() / RecordLength) << " data records of " << RecordLength
          << " bytes under type-04 bases 0x8000..0x80FF\n";

    // Intel HEX decoding.
    int wrongResults = 0;
    const QString outPath = dir.filePath(QStringLiteral("out.bin"));
    std::vector<Row> hexRows;
    {
        Firmware probe;
        if (!probe.load(hexPath.toStdString())
            || imageFingerprint(probe.data()).toLatin1() != expected) {
            fprintf(stderr, "Firmware::load decoded the Intel HEX file wrongly\n");
            return 1;
        }
    }
    const auto ours = timeRuns(runs, [&] {
        Firmware fw;
        return fw.load(hexPath.toStdString()) && fw.size() == size_t(ImageSize);
    });
    hexRows.push_back({QStringLiteral("Firmware::load"), ours, QString()});

    auto peer = [&](const QString &label, const QString &program, const QStringList &args,
                    int peerRuns) {
        const QString exe = program.startsWith(QLatin1Char('/'))
                                ? program
                                : QStandardPaths::findExecutable(program);
        if (exe.isEmpty() || !QFile::exists(exe)) {
            hexRows.push_back({label, std::nullopt, QStringLiteral("not installed")});
            return;
        }
        QFile::remove(outPath);
        const auto ms = timeRuns(peerRuns, [&] { return runTool(exe, args); });
        QString note = peerRuns != runs ? QStringLiteral("%1 run(s)").arg(peerRuns) : QString();
        if (ms && sha256Of(outPath) != expected) {
            ++wrongResults;
            note = QStringLiteral("different output!");
        }
        hexRows.push_back({label, ms, ms ? note : QStringLiteral("failed")});
    };
    peer(QStringLiteral("objcopy -I ihex -O binary"), QStringLiteral("objcopy"),
         {QStringLiteral("-I"), QStringLiteral("ihex"), QStringLiteral("-O"),
          QStringLiteral("binary"), hexPath, outPath},
         runs);
    peer(QStringLiteral("srec_cat -Intel -offset -0x80000000 -Binary"), QStringLiteral("srec_cat"),
         {hexPath, QStringLiteral("-Intel"), QStringLiteral("-offset"),
          QStringLiteral("-0x80000000"), QStringLiteral("-o"), outPath, QStringLiteral("-Binary")},
         runs);
    // python3-intelhex keeps one dictionary entry per byte: one run is plenty.
    const QString python = systemPython();
    QProcess check;
    check.start(python.isEmpty() ? QStringLiteral("false") : python,
                {QStringLiteral("-c"), QStringLiteral("import intelhex")});
    if (!python.isEmpty() && check.waitForFinished() && check.exitCode() == 0)
        peer(QStringLiteral("python3-intelhex IntelHex().tobinfile"), python,
             {QStringLiteral("-c"),
              QStringLiteral("import sys; from intelhex import IntelHex; "
                             "IntelHex(sys.argv[1]).tobinfile(sys.argv[2])"),
              hexPath, outPath},
             1);
    else
        hexRows.push_back({QStringLiteral("python3-intelhex IntelHex().tobinfile"), std::nullopt,
                           QStringLiteral("not installed")});
    printTable(QStringLiteral("Intel HEX decoding (ratio > 1: the peer is slower)"), hexRows,
               ours.value_or(0));

    // Raw load plus fingerprint.
    std::vector<Row> rawRows;
    const auto oursRaw = timeRuns(runs, [&] {
        Firmware fw;
        return fw.load(rawPath.toStdString()) && imageFingerprint(fw.data()).size() == 64;
    });
    rawRows.push_back({QStringLiteral("Firmware::load + imageFingerprint"), oursRaw, QString()});
    const QString sha = QStandardPaths::findExecutable(QStringLiteral("sha256sum"));
    if (sha.isEmpty())
        rawRows.push_back(
            {QStringLiteral("sha256sum"), std::nullopt, QStringLiteral("not installed")});
    else
        rawRows.push_back({QStringLiteral("sha256sum"),
                           timeRuns(runs, [&] { return runTool(sha, {rawPath}); }), QString()});
    printTable(QStringLiteral("Raw load + SHA-256 (ratio > 1: the peer is slower)"), rawRows,
               oursRaw.value_or(0));
    if (oursRaw && rawRows[1].ms)
        out() << "  ours / sha256sum = " << QString::number(*oursRaw / *rawRows[1].ms, 'f', 2)
              << " (target: at most 1.50)\n";
    if (ours && hexRows[1].ms)
        out() << "  ours / objcopy   = " << QString::number(*ours / *hexRows[1].ms, 'f', 2)
              << " (target: at most 1.00)\n";
    out().flush();
    return wrongResults ? 1 : 0;
}
