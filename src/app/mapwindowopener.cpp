#include "mapwindowopener.h"

#include "app/documentwindow.h"
#include "mapeditor/mapelementcodec.h"
#include "mapeditor/mapwindow.h"
#include "model/firmwareproject.h"

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>

namespace {

// Open map windows per document; a window leaves the list when it is destroyed.
QList<QPointer<MapWindow>> &openWindows()
{
    static QList<QPointer<MapWindow>> windows;
    return windows;
}

const char *const DocumentProperty = "tessaMapDocument";

const DocumentWindow *documentOf(const MapWindow *window)
{
    return static_cast<const DocumentWindow *>(
        window->property(DocumentProperty).value<QObject *>());
}

QWidget *frameOf(MapWindow *window)
{
    QWidget *parent = window->parentWidget();
    return qobject_cast<QMdiSubWindow *>(parent) ? parent : window;
}

MapWindow *showMapWindow(DocumentWindow *document,
                         const MapDefinition &definition,
                         QMdiArea *area,
                         bool listed);

} // namespace

QList<MapWindow *> mapWindowsOf(const DocumentWindow *document, int mapOffset)
{
    QList<MapWindow *> found;
    openWindows().removeAll(QPointer<MapWindow>());
    for (const QPointer<MapWindow> &window : std::as_const(openWindows())) {
        if (window && documentOf(window) == document
            && (mapOffset < 0 || window->mapOffset() == mapOffset))
            found.append(window);
    }
    return found;
}

DocumentWindow *documentOfMapWindow(const MapWindow *window)
{
    return window ? const_cast<DocumentWindow *>(documentOf(window)) : nullptr;
}

void closeMapWindows(const DocumentWindow *document, int mapOffset)
{
    for (MapWindow *window : mapWindowsOf(document, mapOffset)) {
        QWidget *frame = frameOf(window);
        frame->close();
        // A closed map must not linger as a window still able to write into the image.
        frame->deleteLater();
    }
}

MapWindow *openMapWindow(DocumentWindow *document, int mapOffset, QMdiArea *area)
{
    if (!document || !document->record() || !document->record()->firmware)
        return nullptr;
    FirmwareProject *record = document->record();
    const MapDefinition *found = nullptr;
    for (const MapDefinition &map : record->maps) {
        if (map.mapOffset == mapOffset) {
            found = &map;
            break;
        }
    }
    if (!found)
        return nullptr;
    return showMapWindow(document, *found, area, true);
}

MapWindow *
openUnlistedMapWindow(DocumentWindow *document, const MapDefinition &definition, QMdiArea *area)
{
    if (!document || !document->record() || !document->record()->firmware)
        return nullptr;
    return showMapWindow(document, definition, area, false);
}

namespace {

MapWindow *showMapWindow(DocumentWindow *document,
                         const MapDefinition &definition,
                         QMdiArea *area,
                         bool listed)
{
    FirmwareProject *record = document->record();
    const int mapOffset = definition.mapOffset;
    if (!area && record->subWindow)
        area = record->subWindow->mdiArea();
    const QList<MapWindow *> existing = mapWindowsOf(document, mapOffset);
    if (!existing.isEmpty()) {
        MapWindow *window = existing.constFirst();
        if (auto *sub = qobject_cast<QMdiSubWindow *>(window->parentWidget()))
            sub->mdiArea()->setActiveSubWindow(sub);
        return window;
    }

    const std::vector<uint8_t> &image = record->firmware->data();
    const qint64 length = qint64(image.size());
    const QByteArray imageBytes(reinterpret_cast<const char *>(image.data()), qsizetype(length));
    const auto *original = reinterpret_cast<const uint8_t *>(record->originalBytes.constData());
    const qint64 originalLength = record->originalBytes.size();

    // An index axis is numbered by the window itself, for the cells it really builds: a
    // definition from a file may claim billions of them.
    QList<double> xAxis;
    if (definition.xAxisSource != 0) {
        xAxis = readXAxis(definition, image.data(), length);
        if (xAxis.isEmpty())
            xAxis = definition.xAxis;
    }
    QList<double> yAxis;
    if (definition.yAxisSource != 0) {
        yAxis = readYAxis(definition, image.data(), length);
        if (yAxis.isEmpty())
            yAxis = definition.yAxis;
    }

    auto *window
        = new MapWindow(definition.rows, definition.columns, xAxis, yAxis,
                        readMapValues(definition, image.data(), length),
                        readMapValues(definition, original, originalLength), imageBytes,
                        definition.mapOffset, definition.xAxisOffset, definition.yAxisOffset,
                        definition.headerOffset, nullptr, definition.name, definition);
    window->setProperty(DocumentProperty, QVariant::fromValue<QObject *>(document));
    window->setColorMode(qApp->property("ecuColorMode").toBool());
    window->setPercentMode(qApp->property("ecuPercentMode").toBool());
    openWindows().append(window);
    window->setImageSource([document = QPointer<DocumentWindow>(document)] {
        if (!document)
            return QByteArray();
        const std::vector<uint8_t> &bytes = document->record()->firmware->data();
        return QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
    });

    QObject::connect(
        window, &MapWindow::mapValueChanged, document, [document, window](int offset, double raw) {
            document->writeBytes(offset, MapElementCodec::encode(raw, window->zValueType()));
        });
    QObject::connect(window, &MapWindow::mapBlockChanged, document,
                     [document](int startOffset, const QByteArray &data) {
                         if (startOffset >= 0 && !data.isEmpty())
                             document->writeBytes(startOffset, data);
                     });
    QObject::connect(window, &MapWindow::xAxisCursorRequested, document, [document, window] {
        const int offset = document->hexCursorOffset();
        if (offset >= 0)
            window->setXAxisOffset(offset);
    });
    QObject::connect(window, &MapWindow::yAxisCursorRequested, document, [document, window] {
        const int offset = document->hexCursorOffset();
        if (offset >= 0)
            window->setYAxisOffset(offset);
    });
    QObject::connect(
        window, &MapWindow::mapNameChanged, document,
        [document](int offset, const QString &name) { document->renameMap(offset, name); });
    // A map deleted from any view takes its window with it: left open it could still write.
    // A map not in the list yet (a proposal being looked at) has nothing to follow.
    if (listed)
        QObject::connect(document, &DocumentWindow::mapsChanged, window, [document, window] {
            for (const MapDefinition &map : document->record()->maps)
                if (map.mapOffset == window->mapOffset())
                    return;
            closeMapWindows(document, window->mapOffset());
        });
    QObject::connect(window, &MapWindow::mapDefinitionChanged, document,
                     [document](const MapDefinition &changed) { document->updateMap(changed); });

    if (!area) {
        window->setAttribute(Qt::WA_DeleteOnClose);
        return window;
    }
    QMdiSubWindow *active = area->activeSubWindow();
    const bool maximised = active && active->isMaximized();
    QMdiSubWindow *sub = area->addSubWindow(window);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->resize(900, 600);
    // Coming back to the map after editing elsewhere shows the image as it is now.
    QObject::connect(sub, &QMdiSubWindow::aboutToActivate, window, &MapWindow::syncWithImage);
    // The map's window goes with its document; later, since closing a sub-window while the
    // document area is tearing down another one is not safe.
    QObject::connect(document, &QObject::destroyed, sub, &QObject::deleteLater);
    if (maximised)
        sub->showMaximized();
    else
        sub->show();
    area->setActiveSubWindow(sub);
    return window;
}

} // namespace
