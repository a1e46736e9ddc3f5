// Peak memory (VmHWM) of each reader of outside data on its largest accepted input: a 256 MiB
// raw image, the same image as Intel HEX, a 512 MB A2L description, a 512 MB WinOLS-style
// project holding a 256 MiB image, and a map pack near its 256 MiB cap. Each reader runs in a
// fresh process of this program, because a process's peak never goes down.
// Usage: bench_reliability_memory [DIR]   inputs are made in DIR (default: a temporary
//        folder; about 2.2 GB of disk). Linux only.
//        bench_reliability_memory READER FILE   one measurement (used by the above).
#include "importers/a2lparser.h"
#include "importers/olsparser.h"
#include "model/firmware.h"
#include "model/mappack.h"
#include "projects/ecuidentification.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>

#include <cstdio>

namespace {

constexpr qint64 ImageSize = 256ll * 1024 * 1024;
constexpr qint64 A2lSize = 512ll * 1000 * 1000;

qint64 statusKiB(const QByteArray &field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(QByteArray(field + ':')))
            return line.mid(field.size() + 1).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

QByteArray noise(qint64 size, quint64 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint64 x = seed;
    for (qint64 i = 0; i + 8 <= size; i += 8) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        memcpy(bytes.data() + i, &x, 8);
    }
    return bytes;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray intelHex(const QByteArray &image)
{
    static const char digits[] = "0123456789ABCDEF";
    QByteArray text;
    text.reserve(image.size() * 2 + image.size() / 32 * 13 + 64);
    const auto record = [&](int type, quint16 address, const char *data, int count) {
        quint8 sum = quint8(count + (address >> 8) + (address & 0xFF) + type);
        char line[1 + 2 * (4 + 255 + 1) + 1];
        int n = 0;
        line[n++] = ':';
        const auto hex = [&](quint8 b) {
            line[n++] = digits[b >> 4];
            line[n++] = digits[b & 15];
        };
        hex(quint8(count));
        hex(quint8(address >> 8));
        hex(quint8(address));
        hex(quint8(type));
        for (int i = 0; i < count; ++i) {
            hex(quint8(data[i]));
            sum += quint8(data[i]);
        }
        hex(quint8(-sum));
        line[n++] = '\n';
        text.append(line, n);
    };
    for (qint64 at = 0; at < image.size(); at += 32) {
        if (at % 0x10000 == 0) {
            const char segment[2] = {char(at >> 24), char(at >> 16)};
            record(4, 0, segment, 2);
        }
        record(0, quint16(at), image.constData() + at, 32);
    }
    record(1, 0, nullptr, 0);
    return text;
}

QByteArray bigA2l()
{
    QFile demo(QStringLiteral(TESSA_SOURCE_DIR "/examples/tessa-demo.a2l"));
    if (!demo.open(QIODevice::ReadOnly))
        return {};
    const QByteArray src = demo.readAll();
    const qsizetype first = src.indexOf("/begin CHARACTERISTIC");
    const qsizetype last = src.lastIndexOf("/end CHARACTERISTIC") + 19;
    const QByteArray head = src.left(first);
    const QByteArray blocks = src.mid(first, last - first) + "\n    ";
    const QByteArray tail = src.mid(last);
    QByteArray text;
    text.reserve(A2lSize);
    text += head;
    for (int k = 0; text.size() + blocks.size() * 2 + tail.size() < A2lSize; ++k) {
        QByteArray copy = blocks;
        copy.replace(QByteArray("/begin CHARACTERISTIC "),
                     QByteArray("/begin CHARACTERISTIC K" + QByteArray::number(k) + "_"));
        text += copy;
    }
    text += tail;
    return text;
}

QByteArray bigOls(const QByteArray &image)
{
    const auto u32 = [](quint32 v) {
        const quint32 le = qToLittleEndian(v);
        return QByteArray(reinterpret_cast<const char *>(&le), 4);
    };
    const auto str = [&](const QByteArray &s) -> QByteArray { return u32(quint32(s.size())) + s; };
    QByteArray head = str("WinOLS File") + QByteArray(8, '\0') + str("Bosch") + str("0FFFFF00");
    QByteArray bytes = head + noise(A2lSize - head.size() - image.size(), 7) + image;
    return bytes;
}

QByteArray bigPack()
{
    QList<MapDefinition> maps;
    MapDefinition m;
    m.description = QString(200, QLatin1Char('d'));
    m.rows = 16;
    m.columns = 16;
    // About 1.3 KB of JSON per map: just under the 256 MiB a pack may have.
    for (int i = 0; i < 190000; ++i) {
        m.name = QStringLiteral("Map %1").arg(i);
        m.mapOffset = i * 512;
        maps.append(m);
    }
    return mapPackBytes(maps, QByteArray(1024, 'x'));
}

// One reader on one file; prints "result|peak KiB|seconds".
int measure(const QString &reader, const QString &path)
{
    QElapsedTimer t;
    t.start();
    QString result;
    if (reader == QLatin1String("image")) {
        Firmware f;
        result = f.load(path.toStdString()) ? QStringLiteral("%1 bytes").arg(f.size())
                                            : QString::fromStdString(f.errorString());
        if (f.size() > 0)
            result += QStringLiteral(", ECU ") + identifyEcu(f).ecuFamily;
    } else if (reader == QLatin1String("a2l")) {
        const A2LParser::Result r = A2LParser::parse(path);
        result = r.errorMessage.isEmpty() ? QStringLiteral("%1 maps").arg(r.maps.size()) : r.errorMessage;
    } else if (reader == QLatin1String("ols")) {
        const OLSParser::Result r = OLSParser::parse(path);
        result = QStringLiteral("%1 bytes of firmware, %2 maps %3")
                     .arg(r.firmware.size()).arg(r.maps.size()).arg(r.error);
    } else if (reader == QLatin1String("mappack")) {
        MapPackData pack;
        result = readMapPack(path, pack) ? QStringLiteral("%1 maps").arg(pack.maps.size())
                                         : pack.errorMessage;
    }
    std::printf("%s|%lld|%.1f\n", qPrintable(result), statusKiB("VmHWM"), t.elapsed() / 1000.0);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3)
        return measure(args.at(1), args.at(2));

    QTemporaryDir temp;
    const QString dir = args.size() > 1 ? args.at(1) : temp.path();
    const auto in = [&](const char *name) -> QString { return dir + QLatin1Char('/') + QLatin1String(name); };
    struct Case { const char *reader; const char *file; };
    const Case cases[] = {{"image", "image.bin"}, {"image", "image.hex"}, {"a2l", "big.a2l"},
                          {"ols", "big.ols"}, {"mappack", "big.tvp"}};
    {
        std::printf("making the inputs in %s ...\n", qPrintable(dir));
        std::fflush(stdout);
        const QByteArray image = noise(ImageSize, 1);
        const auto make = [&](const char *name, const auto &bytes) {
            if (!QFileInfo::exists(in(name)) && !writeFile(in(name), bytes()))
                std::printf("cannot write %s\n", name);
        };
        make("image.bin", [&] { return image; });
        make("image.hex", [&] { return intelHex(image); });
        make("big.a2l", [&] { return bigA2l(); });
        make("big.ols", [&] { return bigOls(image); });
        make("big.tvp", [&] { return bigPack(); });
    }
    std::printf("| reader | input | input size | peak memory | peak / input | time | result |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    for (const Case &c : cases) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QLatin1String(c.reader), in(c.file)});
        child.waitForFinished(-1);
        const QList<QByteArray> parts = child.readAllStandardOutput().trimmed().split('|');
        const double inputMiB = QFileInfo(in(c.file)).size() / 1048576.0;
        const double peakMiB = parts.value(1).toLongLong() / 1024.0;
        std::printf("| %s | %s | %.0f MiB | %.0f MiB | %.2f | %s s | %s |\n", c.reader, c.file,
                    inputMiB, peakMiB, peakMiB / inputMiB, parts.value(2).constData(),
                    parts.value(0).constData());
        std::fflush(stdout);
    }
    return 0;
}
