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
// The identity of the window's map in its document (DocumentWindow::mapIdAt).
const char *const MapIdProperty = "tessaMapId";

quint64 mapIdOf(const MapWindow *window)
{
    return window->property(MapIdProperty).toULongLong();
}

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

void closeWindow(MapWindow *window)
{
    QWidget *frame = frameOf(window);
    frame->close();
    // A closed map must not linger as a window still able to write into the image.
    frame->deleteLater();
}

} // namespace

QList<MapWindow *> mapWindowsOf(const DocumentWindow *document, int mapIndex)
{
    QList<MapWindow *> found;
    openWindows().removeAll(QPointer<MapWindow>());
    const quint64 id = mapIndex >= 0 && document ? document->mapIdAt(mapIndex) : 0;
    if (mapIndex >= 0 && id == 0)
        return found;
    for (const QPointer<MapWindow> &window : std::as_const(openWindows())) {
        if (window && documentOf(window) == document && (id == 0 || mapIdOf(window) == id))
            found.append(window);
    }
    return found;
}

DocumentWindow *documentOfMapWindow(const MapWindow *window)
{
    return window ? const_cast<DocumentWindow *>(documentOf(window)) : nullptr;
}

namespace {

// A listed map's window follows its map: renamed, redefined, or closed when it is deleted.
void followMap(DocumentWindow *document, MapWindow *window, quint64 mapId)
{
    // The window's edits go to its own map, wherever that now stands in the list.
    QObject::connect(window, &MapWindow::mapNameChanged, document,
                     [document, mapId](int, const QString &name) {
                         document->renameMapAt(document->indexOfMapId(mapId), name);
                     });
    // A map deleted from any view takes its window with it: left open it could still write.
    QObject::connect(document, &DocumentWindow::mapsChanged, window, [document, window, mapId] {
        if (document->indexOfMapId(mapId) < 0)
            closeWindow(window);
    });
    QObject::connect(window, &MapWindow::mapDefinitionChanged, document,
                     [document, mapId](const MapDefinition &changed) {
                         document->replaceMapAt(document->indexOfMapId(mapId), changed);
                     });
}

MapWindow *placeWindow(DocumentWindow *document, MapWindow *window, QMdiArea *area)
{
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

// The window of a map; mapId 0 for a map that is not in the document's list (a proposal being
// looked at), which follows no list change and writes back no definition.
MapWindow *showMapWindow(DocumentWindow *document,
                         const MapDefinition &definition,
                         quint64 mapId,
                         QMdiArea *area)
{
    FirmwareProject *record = document->record();
    if (!area && record->subWindow)
        area = record->subWindow->mdiArea();

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
    window->setProperty(MapIdProperty, mapId);
    window->setColorMode(qApp->property("ecuColorMode").toBool());
    window->setPercentMode(qApp->property("ecuPercentMode").toBool());
    // After a comparison the map's other side can be shown beside its values and taken over.
    if (const QByteArray &other = document->record()->comparisonBytes;
        !other.isEmpty() && other.size() == qsizetype(length))
        window->setOtherSide(readMapValues(definition,
                                           reinterpret_cast<const uint8_t *>(other.constData()),
                                           other.size()),
                             document->record()->comparisonName);
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
    if (mapId != 0)
        followMap(document, window, mapId);
    return placeWindow(document, window, area);
}

} // namespace

MapWindow *openMapWindow(DocumentWindow *document, int mapIndex, QMdiArea *area)
{
    if (!document || !document->record() || !document->record()->firmware)
        return nullptr;
    FirmwareProject *record = document->record();
    if (mapIndex < 0 || mapIndex >= record->maps.size())
        return nullptr;
    const QList<MapWindow *> existing = mapWindowsOf(document, mapIndex);
    if (!existing.isEmpty()) {
        MapWindow *window = existing.constFirst();
        if (auto *sub = qobject_cast<QMdiSubWindow *>(window->parentWidget()))
            sub->mdiArea()->setActiveSubWindow(sub);
        return window;
    }
    return showMapWindow(document, record->maps.at(mapIndex), document->mapIdAt(mapIndex), area);
}

MapWindow *
openUnlistedMapWindow(DocumentWindow *document, const MapDefinition &definition, QMdiArea *area)
{
    if (!document || !document->record() || !document->record()->firmware)
        return nullptr;
    return showMapWindow(document, definition, 0, area);
}
