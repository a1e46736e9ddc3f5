// Peak memory (VmHWM) of the application: the main window alone, then with one 16 MiB document
// open (a raw dump, and the same image as Intel HEX). Each case runs in a fresh process of this
// program on the offscreen platform, because a process's peak never goes down.
// Usage: bench_foundation_memory [RUNS]   (default 3; the median is reported). Linux only.
#include "projects/importwizard.h"
#include "projects/projectcommands.h"
#include "app/mainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int ImageSize = 16 * 1024 * 1024;

// A /proc/self/status field in KiB; -1 when it is not there.
qint64 statusKiB(const QByteArray &field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (const QByteArray &line : lines)
        if (line.startsWith(QByteArray(field + ':')))
            return line.mid(field.size() + 1).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

void settle()
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 300)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
}

int child(int argc, char *argv[], const QString &file)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tessamorvandi"));
    QApplication::setApplicationVersion(QStringLiteral("1.1.6"));
    MainWindow window;
    window.show();
    settle();
    if (!file.isEmpty()) {
        // The wizard taken as pre-filled: the same road as "Apri Firmware..." without a window.
        window.projectCommands()->setWizardRunner(acceptImportWizard);
        if (!window.openFirmwareThroughWizard(file))
            return 1;
        settle();
    }
    printf("%lld %lld\n", statusKiB("VmHWM"), statusKiB("VmRSS"));
    return 0;
}

bool writeImages(const QString &rawPath, const QString &hexPath)
{
    QByteArray image(ImageSize, Qt::Uninitialized);
    quint32 state = 0x2468ace1u;
    for (int i = 0; i < ImageSize; ++i) {
        state = state * 1664525u + 1013904223u;
        image[i] = char(state >> 24);
    }
    QFile raw(rawPath);
    if (!raw.open(QIODevice::WriteOnly) || raw.write(image) != image.size())
        return false;
    QFile hex(hexPath);
    if (!hex.open(QIODevice::WriteOnly))
        return false;
    static const char digits[] = "0123456789ABCDEF";
    QByteArray text;
    text.reserve(80 * (ImageSize / 32));
    auto record = [&](int count, int address, int type, const char *data) {
        text += ':';
        int sum = count + (address >> 8) + (address & 0xFF) + type;
        auto put = [&](int b) {
            text += digits[(b >> 4) & 0xF];
            text += digits[b & 0xF];
        };
        put(count);
        put(address >> 8);
        put(address & 0xFF);
        put(type);
        for (int i = 0; i < count; ++i) {
            sum += uchar(data[i]);
            put(uchar(data[i]));
        }
        put(-sum & 0xFF);
        text += '\n';
    };
    for (int offset = 0; offset < ImageSize; offset += 32) {
        if ((offset & 0xFFFF) == 0) {
            const int upper = 0x8000 + (offset >> 16);
            const char base[2] = {char(upper >> 8), char(upper)};
            record(2, 0, 4, base);
        }
        record(32, offset & 0xFFFF, 0, image.constData() + offset);
    }
    record(0, 0, 1, nullptr);
    return hex.write(text) == text.size();
}

struct Peak
{
    qint64 hwm = -1;
    qint64 rss = -1;
};

Peak measure(const QString &self, const QString &file, int runs)
{
    std::vector<qint64> hwm, rss;
    for (int i = 0; i < runs; ++i) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        p.setProcessEnvironment(env);
        p.setStandardErrorFile(QProcess::nullDevice()); // platform chatter, not results
        p.start(self, {QStringLiteral("--child"), file.isEmpty() ? QStringLiteral("-") : file});
        if (!p.waitForFinished(120000) || p.exitCode() != 0) {
            p.kill();
            p.waitForFinished();
            return {};
        }
        const QList<QByteArray> parts = p.readAllStandardOutput().trimmed().split(' ');
        hwm.push_back(parts.value(0).toLongLong());
        rss.push_back(parts.value(1).toLongLong());
    }
    std::sort(hwm.begin(), hwm.end());
    std::sort(rss.begin(), rss.end());
    return {hwm[hwm.size() / 2], rss[rss.size() / 2]};
}

QString mib(qint64 kib)
{
    return kib < 0 ? QStringLiteral("-") : QString::number(kib / 1024.0, 'f', 1);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc >= 3 && qstrcmp(argv[1], "--child") == 0) {
        const QString file
            = qstrcmp(argv[2], "-") == 0 ? QString() : QString::fromLocal8Bit(argv[2]);
        return child(argc, argv, file);
    }
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? qMax(1, QByteArray(argv[1]).toInt()) : 3;
    QTemporaryDir dir;
    const QString rawPath = dir.filePath(QStringLiteral("image16m.bin"));
    const QString hexPath = dir.filePath(QStringLiteral("image16m.hex"));
    if (!dir.isValid() || !writeImages(rawPath, hexPath)) {
        fprintf(stderr, "cannot write the test images\n");
        return 1;
    }
    const QString self = QCoreApplication::applicationFilePath();
    const Peak empty = measure(self, {}, runs);
    const Peak raw = measure(self, rawPath, runs);
    const Peak hex = measure(self, hexPath, runs);

    QTextStream out(stdout);
    out << "Foundation: peak memory of the main window (offscreen), median of " << runs
        << " processes each\n";
    out << QStringLiteral("  %1 %2 %3 %4\n")
               .arg(QStringLiteral("state"), -36)
               .arg(QStringLiteral("VmHWM MiB"), 10)
               .arg(QStringLiteral("VmRSS MiB"), 10)
               .arg(QStringLiteral("peak over empty"), 16);
    auto row = [&](const QString &what, const Peak &p) {
        const QString delta
            = (p.hwm >= 0 && empty.hwm >= 0) ? mib(p.hwm - empty.hwm) : QStringLiteral("-");
        out << QStringLiteral("  %1 %2 %3 %4\n")
                   .arg(what, -36)
                   .arg(mib(p.hwm), 10)
                   .arg(mib(p.rss), 10)
                   .arg(delta, 16);
    };
    row(QStringLiteral("empty main window"), empty);
    row(QStringLiteral("one 16 MiB raw document"), raw);
    row(QStringLiteral("one 16 MiB Intel HEX document"), hex);
    out.flush();
    return (empty.hwm < 0 || raw.hwm < 0 || hex.hwm < 0) ? 1 : 0;
}
