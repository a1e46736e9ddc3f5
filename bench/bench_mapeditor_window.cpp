// Map window timings on the offscreen platform: opening a 64 x 64 16-bit map, a table refresh
// with the colour mode on, and a 3D repaint at 900 x 600.
//   QT_QPA_PLATFORM=offscreen build/bench/bench_mapeditor_window [runs]
#include "mapeditor/mapplotcanvas.h"
#include "mapeditor/mapplotpainter.h"
#include "mapeditor/mapwindow.h"
#include "model/mapdefinition.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QStackedWidget>
#include <QTableWidget>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

struct Figures
{
    double best;
    double median;
    double worst;
};

Figures measure(int runs, const std::function<void()> &prepare, const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        prepare();
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return {times.front(), times[times.size() / 2], times.back()};
}

void row(const char *what, const Figures &f, double target)
{
    // "met": the median is within the target (the machine is shared, so the worst run often
    // says more about the neighbours than about the code).
    std::printf("| %-44s | %8.2f | %8.2f | %8.2f | %6.0f | %-4s |\n", what, f.best, f.median,
                f.worst, target, f.median <= target ? "yes" : "no");
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? qMax(3, QString::fromLocal8Bit(argv[1]).toInt()) : 30;

    // A 256 KiB image with a smooth 64 x 64 surface of little-endian words at 0x10000.
    QByteArray image(256 * 1024, '\0');
    QRandomGenerator random(42);
    for (int i = 0; i < image.size(); ++i)
        image[i] = char(random.bounded(256));
    MapDefinition d;
    d.name = QStringLiteral("Banco 64 x 64");
    d.rows = 64;
    d.columns = 64;
    d.mapOffset = 0x10000;
    d.xAxisOffset = 0xFF00;
    d.yAxisOffset = 0xFF80;
    for (int r = 0; r < 64; ++r) {
        for (int c = 0; c < 64; ++c) {
            const int v = 1000 + r * 40 + c * 25 + (r * c) % 97;
            const int p = d.mapOffset + (r * 64 + c) * 2;
            image[p] = char(v & 0xFF);
            image[p + 1] = char(v >> 8);
        }
    }
    // Rising axes, as real maps have them (rpm and load steps).
    for (int k = 0; k < 64; ++k) {
        const int xv = 500 + k * 100;
        const int yv = 10 + k * 15;
        image[d.xAxisOffset + 2 * k] = char(xv & 0xFF);
        image[d.xAxisOffset + 2 * k + 1] = char(xv >> 8);
        image[d.yAxisOffset + 2 * k] = char(yv & 0xFF);
        image[d.yAxisOffset + 2 * k + 1] = char(yv >> 8);
    }
    const auto *data = reinterpret_cast<const uint8_t *>(image.constData());
    const QList<double> values = readMapValues(d, data, image.size());
    QList<double> original = values;
    for (int i = 0; i < original.size(); i += 3)
        original[i] = double(quint16(original[i] + 7));
    const QList<double> x = readXAxis(d, data, image.size());
    const QList<double> y = readYAxis(d, data, image.size());

    auto open = [&] {
        auto *w = new MapWindow(64, 64, x, y, values, original, image, d.mapOffset, d.xAxisOffset,
                                d.yAxisOffset, -1, nullptr, d.name, d);
        return w;
    };

    std::printf("Map window, 64 x 64 16-bit map, %d runs, times in ms\n\n", runs);
    std::printf("| %-44s | %8s | %8s | %8s | %6s | %-4s |\n", "operation", "best", "median",
                "worst", "target", "met");
    std::printf("|%s|%s|%s|%s|%s|%s|\n", "----------------------------------------------",
                "----------", "----------", "----------", "--------", "------");

    MapWindow *opened = nullptr;
    row("open (construct, show, first paint)",
        measure(
            runs,
            [&] {
                delete opened;
                opened = nullptr;
            },
            [&] {
                opened = open();
                opened->show();
                opened->table()->viewport()->repaint();
            }),
        100);
    delete opened;

    MapWindow *window = open();
    window->resize(900, 600);
    window->show();
    QCoreApplication::processEvents();
    bool colour = false;
    row("table refresh, colour mode on",
        measure(
            runs, [&] { window->setColorMode(true); }, [&] { window->refreshTable(); }),
        20);
    row("table refresh + repaint, colour and percent",
        measure(
            runs,
            [&] {
                window->setPercentMode(true);
                colour = !colour;
            },
            [&] {
                window->refreshTable();
                window->table()->viewport()->repaint();
            }),
        20);

    window->viewStack()->setCurrentIndex(2);
    MapPlotCanvas *canvas = window->canvas3D();
    canvas->setFixedSize(900, 600);
    QCoreApplication::processEvents();
    for (int r = 0; r < 64; ++r)
        window->table()->item(r, r)->setSelected(true);
    row("3D repaint 900 x 600",
        measure(
            runs, [] {}, [&] { canvas->repaint(); }),
        16);
    QImage target(900, 600, QImage::Format_ARGB32_Premultiplied);
    row("3D drawing only, into a 900 x 600 image",
        measure(
            runs, [] {},
            [&] {
                QPainter painter(&target);
                painter.setRenderHint(QPainter::Antialiasing, true);
                MapPlotPainter::paintSurface(painter, target.rect(), window->plotScene());
            }),
        16);
    window->viewStack()->setCurrentIndex(1);
    MapPlotCanvas *lines = window->canvas2D();
    lines->setFixedSize(900, 600);
    QCoreApplication::processEvents();
    row("2D repaint 900 x 600",
        measure(
            runs, [] {}, [&] { lines->repaint(); }),
        16);
    delete window;
    return 0;
}
