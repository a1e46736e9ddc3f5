// Peak memory of the application with one 16 MiB document open, against the empty application:
//   QT_QPA_PLATFORM=offscreen build/bench/bench_hex_memory
// The image is loaded from a file like a user's, shown, scrolled, edited once (so the working
// copy separates from the original) and undone.
#include "projects/importwizard.h"
#include "projects/projectcommands.h"
#include "app/mainwindow.h"
#include "hex/hexmodel.h"
#include "hex/hexviewer.h"
#include "model/firmwareproject.h"

#include <QApplication>
#include <QFile>
#include <QMdiSubWindow>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr qint64 ImageSize = 16 * 1024 * 1024;

long statusKiB(const char *key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').value(0).toLong();
    return -1;
}

// Starts a new peak measurement (Linux: writing 5 to clear_refs resets VmHWM).
bool resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    return f.open(QIODevice::WriteOnly) && f.write("5") == 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("image-16MiB.bin"));
    {
        QByteArray image(ImageSize, '\0');
        quint32 seed = 99;
        for (qint64 i = 0; i < ImageSize; ++i) {
            seed = seed * 1664525u + 1013904223u;
            image[i] = char(seed >> 24);
        }
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(image) != ImageSize) {
            std::printf("cannot write %s\n", qPrintable(path));
            return 1;
        }
    }

    MainWindow window;
    window.resize(1400, 900);
    window.show();
    QApplication::processEvents();
    const bool peakReset = resetPeak();
    const long empty = statusKiB("VmRSS:");

    window.projectCommands()->setWizardRunner(acceptImportWizard);
    window.openFirmwareThroughWizard(path);
    FirmwareProject *record = window.activeDocument();
    record->subWindow->showMaximized();
    QApplication::processEvents();
    HexViewer *viewer = record->hexViewer;
    QScrollBar *bar = viewer->tableView()->verticalScrollBar();
    for (int i = 0; i < 50; ++i) {
        bar->setValue(bar->value() + bar->pageStep() * 500);
        viewer->tableView()->viewport()->repaint();
    }
    viewer->setWidthMode(HexModel::Width16);
    viewer->model()->writeBytesAt(0x1000, QByteArray("\x12\x34", 2));
    viewer->undo();
    QApplication::processEvents();

    const long peak = statusKiB("VmHWM:");
    const long now = statusKiB("VmRSS:");
    const double imageMiB = ImageSize / 1048576.0;
    std::printf("| measure                                         | value        |\n");
    std::printf("|-------------------------------------------------|--------------|\n");
    std::printf("| empty application, resident                     | %8.1f MiB |\n",
                empty / 1024.0);
    std::printf("| peak with the 16 MiB document%s | %8.1f MiB |\n",
                peakReset ? "                   " : " (peak since start)", peak / 1024.0);
    std::printf("| resident at the end                             | %8.1f MiB |\n", now / 1024.0);
    std::printf("| peak above empty, in image sizes (target <= 5)  | %8.2f x   |\n",
                (peak - empty) / 1024.0 / imageMiB);
    return 0;
}
