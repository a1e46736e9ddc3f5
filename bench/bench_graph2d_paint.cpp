// Full-width repaint of the 2D graph over a whole 16 MiB image and one wheel zoom step,
// painted offscreen into a QImage the size of a maximised document.
#include "hex/hex2dview.h"
#include "hex/samplesummary.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QRandomGenerator>
#include <QTextStream>

#include <algorithm>
#include <vector>

namespace {

constexpr int Size = 16 * 1024 * 1024;
constexpr int Runs = 15;

double medianMs(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTextStream out(stdout);

    QByteArray image(Size, Qt::Uninitialized);
    QRandomGenerator rng(7);
    for (int i = 0; i < Size; i += 4) {
        const quint32 v = rng.generate() & 0x3F3F7F7F;
        memcpy(image.data() + i, &v, 4);
    }

    Hex2DView view;
    view.resize(1600, 900); // plot 1524 pixels wide
    view.setImage(image);
    QImage target(1600, 900, QImage::Format_RGB32);
    const auto paint = [&] {
        QPainter p(&target);
        view.paintView(p);
    };

    QElapsedTimer t;
    t.start();
    paint(); // base zoom: about 4096 bytes visible
    const double baseMs = t.nsecsElapsed() / 1e6;

    view.zoomAt(-100, 65); // the whole image: zoomX 1
    t.restart();
    paint();
    const double firstMs = t.nsecsElapsed() / 1e6;

    std::vector<double> repaint, wheel, edit, straight;
    for (int r = 0; r < Runs; ++r) {
        t.restart();
        paint();
        repaint.push_back(t.nsecsElapsed() / 1e6);
    }
    for (int r = 0; r < Runs; ++r) {
        view.zoomAt(-100, 65);
        t.restart();
        view.zoomAt(+1, 800);
        paint();
        wheel.push_back(t.nsecsElapsed() / 1e6);
    }
    view.zoomAt(-100, 65);
    for (int r = 0; r < Runs; ++r) {
        QByteArray edited = view.currentData();
        edited[Size / 2 + r] = char(edited[Size / 2 + r] ^ 0x55);
        t.restart();
        view.setCurrentData(edited);
        paint();
        edit.push_back(t.nsecsElapsed() / 1e6);
    }
    // The straightforward curve reads every sample of the window.
    for (int r = 0; r < 3; ++r) {
        t.restart();
        const auto columns =
            columnExtremes(view.currentData(), SampleFormat{1, true, false}, 0, Size, 1524, nullptr);
        straight.push_back(t.nsecsElapsed() / 1e6);
        if (columns.size() != 1524)
            return 1;
    }

    out << "2D graph, 16 MiB image, 1600 x 900 view, 8-bit samples (median of " << Runs
        << " runs)\n";
    const auto row = [&out](const QString &what, double ms) {
        out << QStringLiteral("%1 %2\n").arg(what, -58).arg(ms, 9, 'f', 2);
    };
    out << QStringLiteral("%1 %2\n").arg(QStringLiteral("what"), -58).arg(QStringLiteral("ms"), 9);
    row(QStringLiteral("first paint at the base zoom (4096 bytes visible)"), baseMs);
    row(QStringLiteral("first whole-image paint (builds the min/max summary)"), firstMs);
    row(QStringLiteral("full-width repaint, zoomX 1 (target <= 16)"), medianMs(repaint));
    row(QStringLiteral("wheel zoom step + repaint (target <= 16)"), medianMs(wheel));
    row(QStringLiteral("one-byte edit: new current data + repaint"), medianMs(edit));
    row(QStringLiteral("reference: curve columns read straight from the bytes"),
        medianMs(straight));
    return 0;
}
