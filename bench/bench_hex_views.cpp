// Timings of the hex views on a 16 MiB image, offscreen:
//   QT_QPA_PLATFORM=offscreen build/bench/bench_hex_views
// Set TESSA_HEX_SHOT=<file.png> (and TESSA_HEX_SHOT_IMAGE=examples/tessa-demo.bin) to also save
// a picture of the window with a few edits and a saved map.
#include "app/documentwindow.h"
#include "app/mainwindow.h"
#include "hex/hexmodel.h"
#include "hex/hexoverview.h"
#include "hex/hexsearch.h"
#include "hex/hexviewer.h"
#include "model/firmwareproject.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QMdiSubWindow>
#include <QPainter>
#include <QScrollBar>
#include <QTableView>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr qsizetype ImageSize = 16 * 1024 * 1024;

// Something like a calibration image: zero and 0xFF fill, code-like noise and tables of
// little-endian 16-bit words. No byte is above 0xF0 outside the 0xFF fill, so the value
// 0xF1F1 is nowhere in it.
QByteArray makeImage()
{
    QByteArray image(ImageSize, '\0');
    quint32 seed = 12345;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    for (qsizetype block = 0; block < ImageSize; block += 4096) {
        const int kind = int(next() % 4);
        for (qsizetype i = block; i < block + 4096; ++i) {
            switch (kind) {
            case 0:
                break;
            case 1:
                image[i] = char(0xFF);
                break;
            case 2:
                image[i] = char(next() % 0xF0);
                break;
            default:
                image[i] = (i & 1) ? char(((i - block) / 256) & 0x3F) : char((i * 7) & 0xEF);
                break;
            }
        }
    }
    return image;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

long residentKiB()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// Processes events until the viewport has been painted once.
class PaintWatch : public QObject
{
public:
    bool painted = false;
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

void row(const char *what, double value, const char *unit, const char *target)
{
    std::printf("| %-66s | %9.2f %-3s | %-10s |\n", what, value, unit, target);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QByteArray image = makeImage();

    std::printf("| %-66s | %13s | %-10s |\n", "measure (16 MiB image)", "result", "target");
    std::printf("|%s|%s|%s|\n", std::string(68, '-').c_str(), std::string(15, '-').c_str(),
                std::string(12, '-').c_str());

    // 1. From createDocumentFromFirmware to the first painted viewport.
    std::vector<double> firstPaint;
    for (int round = 0; round < 5; ++round) {
        MainWindow window;
        window.resize(1400, 900);
        window.show();
        QApplication::processEvents();
        auto *firmware = new Firmware;
        firmware->setData(image.constData(), size_t(image.size()));
        firmware->setFilePath("bench-16MiB.bin");
        QElapsedTimer t;
        t.start();
        FirmwareProject *record = window.createDocumentFromFirmware(firmware, {});
        record->subWindow->showMaximized(); // the whole document area, the largest viewport
        PaintWatch watch;
        record->hexViewer->tableView()->viewport()->installEventFilter(&watch);
        while (!watch.painted)
            QApplication::processEvents();
        firstPaint.push_back(t.nsecsElapsed() / 1e6);
        record->hexViewer->tableView()->viewport()->removeEventFilter(&watch);
    }
    row("createDocumentFromFirmware -> first painted viewport (median of 5)", median(firstPaint),
        "ms", "<= 150 ms");

    // 2. Repaint after scrolling one page, 16 Bit cells.
    {
        MainWindow window;
        window.resize(1400, 900);
        window.show();
        auto *firmware = new Firmware;
        firmware->setData(image.constData(), size_t(image.size()));
        FirmwareProject *record = window.createDocumentFromFirmware(firmware, {});
        record->subWindow->showMaximized();
        HexViewer *viewer = record->hexViewer;
        viewer->setWidthMode(HexModel::Width16);
        QApplication::processEvents();
        QScrollBar *bar = viewer->tableView()->verticalScrollBar();
        std::vector<double> times;
        for (int i = 0; i < 200; ++i) {
            QElapsedTimer t;
            t.start();
            bar->setValue(bar->value() + bar->pageStep());
            viewer->tableView()->viewport()->repaint();
            times.push_back(t.nsecsElapsed() / 1e6);
        }
        row("scroll one page + repaint, 16 Bit (median of 200)", median(times), "ms", "<= 8 ms");

        // 5. The overview strip, as the scroll bar paints it, and the strip alone.
        std::vector<double> barTimes;
        for (int i = 0; i < 50; ++i) {
            QElapsedTimer t;
            t.start();
            bar->repaint();
            barTimes.push_back(t.nsecsElapsed() / 1e6);
        }
        row("vertical scroll bar repaint with strip (median of 50)", median(barTimes), "ms",
            "<= 2 ms");
        QImage strip(bar->width(), bar->height(), QImage::Format_ARGB32_Premultiplied);
        std::vector<double> stripTimes;
        for (int i = 0; i < 50; ++i) {
            QPainter p(&strip);
            QElapsedTimer t;
            t.start();
            HexOverview::paintStrip(p, strip.rect().adjusted(2, 0, -2, 0), image);
            stripTimes.push_back(t.nsecsElapsed() / 1e6);
        }
        char label[80];
        std::snprintf(label, sizeof label, "overview strip alone, %d pixel rows (median of 50)",
                      strip.height());
        row(label, median(stripTimes), "ms", "<= 2 ms");
    }

    // 3. setCurrentData with an image that differs at every byte.
    {
        HexModel model;
        model.setFirmware(image);
        QByteArray changed = image;
        for (char &c : changed)
            c = char(c ^ 0x5A);
        const long before = residentKiB();
        QElapsedTimer t;
        t.start();
        model.setCurrentData(changed);
        const double ms = t.nsecsElapsed() / 1e6;
        const long after = residentKiB();
        row("setCurrentData, every byte different", ms, "ms", "<= 50 ms");
        row("  memory added by it (resident)", (after - before) / 1024.0, "MiB", "<= 32 MiB");
        row("  change bitmap size", model.modifiedOffsets().memoryBytes() / 1048576.0, "MiB", "");
        if (model.modifiedOffsets().count() != ImageSize)
            std::printf("unexpected change count %lld\n",
                        static_cast<long long>(model.modifiedOffsets().count()));
    }

    // 4. A 16 Bit search that finds nothing and wraps around.
    {
        const QByteArray pattern = QByteArray::fromHex("F1F1");
        std::vector<double> times;
        for (int i = 0; i < 20; ++i) {
            QElapsedTimer t;
            t.start();
            const HexSearch::Step s
                = HexSearch::find(image.constData(), image.size(), pattern, ImageSize / 2, true);
            times.push_back(t.nsecsElapsed() / 1e6);
            if (s.hit >= 0 || !s.wrapped)
                std::printf("unexpected search result %d\n", s.hit);
        }
        row("16 Bit search, no hit, wraps around (median of 20)", median(times), "ms", "<= 30 ms");
    }

    const QString shot = qEnvironmentVariable("TESSA_HEX_SHOT");
    if (!shot.isEmpty()) {
        MainWindow window;
        window.resize(1400, 900);
        window.show();
        auto *firmware = new Firmware;
        const QString demo = qEnvironmentVariable("TESSA_HEX_SHOT_IMAGE");
        if (demo.isEmpty() || !firmware->load(demo.toStdString()))
            firmware->setData(image.constData(), 1 << 18);
        MapDefinition map;
        map.name = QStringLiteral("Coppia richiesta");
        map.mapOffset = 0x10000;
        map.rows = 12;
        map.columns = 16;
        map.xAxisOffset = 0xFFC4 + 24;
        map.yAxisOffset = 0xFFC4;
        FirmwareProject *record = window.createDocumentFromFirmware(firmware, {map});
        record->subWindow->showMaximized();
        HexViewer *viewer = record->hexViewer;
        viewer->setWidthMode(HexModel::Width16);
        viewer->setColumnCount(16, 0);
        viewer->setActiveSavedMap(0x10000);
        viewer->goToOffset(0x10020);
        viewer->model()->setSelection(0x10040, 0x1004F);
        viewer->plusOne();
        viewer->model()->setSelection(0x10060, 0x10065);
        viewer->minusOne();
        viewer->model()->setSelection(0x10080, 0x10087);
        QApplication::processEvents();
        window.grab().save(shot);
        window.action(QStringLiteral("colorAction"))->trigger();
        window.action(QStringLiteral("percentAction"))->trigger();
        QApplication::processEvents();
        window.grab().save(
            QString(shot).replace(QLatin1String(".png"), QLatin1String("-dark.png")));
    }
    return 0;
}
