// The 2D side of the document window: the graph page, its navigation buttons, and the routes
// between the 2D view, the hex view, the map list and the image.
#include "app/documentwindow.h"

#include "app/mapwindowopener.h"
#include "hex/hex2dview.h"
#include "hex/hexmodel.h"
#include "hex/hexviewer.h"
#include "mapeditor/mapwindow.h"
#include "model/firmwareproject.h"

#include <QPushButton>
#include <QSignalBlocker>
#include <QStackedWidget>

#include <functional>

namespace {

QByteArray imageBytes(const FirmwareProject &record)
{
    const std::vector<uint8_t> &image = record.firmware->data();
    return QByteArray(reinterpret_cast<const char *>(image.data()), qsizetype(image.size()));
}

// Marks a route as running for as long as it lives, so the other direction stays quiet.
class RouteGuard
{
public:
    explicit RouteGuard(bool &flag)
        : m_flag(flag)
        , m_previous(flag)
    {
        m_flag = true;
    }
    ~RouteGuard() { m_flag = m_previous; }

private:
    bool &m_flag;
    bool m_previous;
};

} // namespace

void DocumentWindow::build2DView()
{
    m_hex2DView = new Hex2DView(this);
    m_hex2DView->setObjectName(QStringLiteral("hex2DView"));
    m_record->hex2DView = m_hex2DView;
    m_stack->addWidget(m_hex2DView);

    m_hex2DView->setImage(m_record->originalBytes);
    refresh2DImage();
    m_hex2DView->setSavedMaps(m_record->maps);
    m_hex2DView->setProperty("userZoomXPercent", 100);
    m_hex2DView->setProperty("userZoomYPercent", 100);
    m_hex2DView->setUserZoomX(1.0);
    m_hex2DView->setUserZoomY(2.0);
    m_hex2DView->setColumns(m_hexViewer->model()->columns());
    sync2DByteOrder();
}

void DocumentWindow::connect2DRoutes()
{
    Hex2DView *view = m_hex2DView;
    // The 2D view never writes: its edits go through the hex model like every other.
    connect(view, &Hex2DView::dataEditRequested, this,
            [this](int offset, const QByteArray &bytes) { writeBytes(offset, bytes); });
    // The new map is the last of the list; another map may start at the same address.
    connect(view, &Hex2DView::mapDefinitionCreated, this, [this](const MapDefinition &map) {
        addMap(map);
        emit openMapRequested(int(m_record->maps.size()) - 1);
    });
    connect(view, &Hex2DView::openSavedMapRequested, this, &DocumentWindow::openMapWindow);
    // A map's properties are edited in its map window, which opens (or comes forward) first.
    connect(view, &Hex2DView::mapPropertiesRequested, this, [this](int mapOffset) {
        if (MapWindow *window = ::openMapWindow(this, chooseMapAt(mapOffset)))
            window->openPropertiesDialog();
    });
    connect(view, &Hex2DView::deleteMapRequested, this,
            [this](int mapOffset) { requestRemoveMapAt(chooseMapAt(mapOffset)); });
    connect(view, &Hex2DView::firmwareDropRequested, this, &DocumentWindow::firmwareDropRequested);
    connect(this, &DocumentWindow::mapsChanged, view,
            [this] { m_hex2DView->setSavedMaps(m_record->maps); });

    // 2D -> hex, with the hex viewer's signals blocked.
    connect(view, &Hex2DView::viewOffsetChanged, this, [this](int offset) {
        if (m_routing)
            return;
        const RouteGuard guard(m_routing);
        const QSignalBlocker block(m_hexViewer);
        m_hexViewer->goToOffset(offset);
    });
    connect(view, &Hex2DView::selectionChanged, this, [this](int start, int end) {
        if (m_routing || start < 0 || end < start)
            return;
        const RouteGuard guard(m_routing);
        const QSignalBlocker block(m_hexViewer);
        m_hexViewer->setSelectionRange(start, end);
    });
    connect(view, &Hex2DView::rowOriginChanged, this, [this](int offset) {
        if (m_routing)
            return;
        const RouteGuard guard(m_routing);
        applyRowOriginToHex(offset);
    });
    connect(view, &Hex2DView::activeSavedMapChanged, this, [this](int mapOffset) {
        if (m_routing)
            return;
        const RouteGuard guard(m_routing);
        const QSignalBlocker block(m_hexViewer);
        m_hexViewer->setActiveSavedMap(mapOffset);
        m_hexViewer->setProperty("pending2DMapOffset", mapOffset);
    });
}

void DocumentWindow::connectNavigationButtons()
{
    // "◀◀" and "▶▶" glide while held.
    for (int i : {1, 4}) {
        m_navigationButtons[i]->setAutoRepeat(true);
        m_navigationButtons[i]->setAutoRepeatDelay(150);
        m_navigationButtons[i]->setAutoRepeatInterval(16);
    }
    const std::function<void()> effects[] = {
        [this] { m_hex2DView->goToStart(); }, [this] { m_hex2DView->nudge(-1); },
        [this] { m_hex2DView->stepPart(-1); }, [this] { m_hex2DView->stepPart(+1); },
        [this] { m_hex2DView->nudge(+1); },    [this] { m_hex2DView->goToEnd(); }};
    for (int i = 0; i < 6; ++i)
        connect(m_navigationButtons[i], &QPushButton::clicked, this, effects[i]);
}

void DocumentWindow::refresh2DImage()
{
    // Shares the hex model's bytes instead of copying the image a third time.
    m_hex2DView->setCurrentData(m_hexViewer->model()->currentData());
}

void DocumentWindow::sync2DByteOrder()
{
    m_hex2DView->setLittleEndian(m_hexViewer->model()->effectiveByteOrder() == 0);
}

void DocumentWindow::setReferenceBytes(const QByteArray &originalBytes)
{
    m_record->originalBytes = originalBytes;
    const QByteArray current = imageBytes(*m_record);
    m_hexViewer->setFirmware(originalBytes);
    if (current != originalBytes)
        m_hexViewer->model()->setCurrentData(current);
    // A new image resets the graph's zoom and window; the user's zoom stays, and the hex view
    // is not sent to the middle of the image by the reset.
    const QSignalBlocker block(m_hex2DView);
    const double userZoomX = m_hex2DView->userZoomX();
    const double zoomY = m_hex2DView->zoomY();
    m_hex2DView->setImage(originalBytes);
    m_hex2DView->setUserZoomX(userZoomX);
    m_hex2DView->setUserZoomY(zoomY);
    refresh2DImage();
}

void DocumentWindow::openMapWindow(int mapOffset)
{
    const int index = chooseMapAt(mapOffset);
    if (index >= 0)
        emit openMapRequested(index);
}

int DocumentWindow::pending2DMapOffset() const
{
    return m_hexViewer->property("pending2DMapOffset").toInt();
}

bool DocumentWindow::initial2DSyncDone() const
{
    return m_hexViewer->property("initial2DSyncDone").toBool();
}

void DocumentWindow::show2DSelection(int startOffset, int endOffset)
{
    if (m_routing)
        return;
    const RouteGuard guard(m_routing);
    const QSignalBlocker block(m_hex2DView);
    m_hex2DView->setSelection(startOffset, endOffset);
}

void DocumentWindow::follow2DRange(int startOffset, int endOffset)
{
    if (m_routing || endOffset < startOffset)
        return;
    const RouteGuard guard(m_routing);
    const QSignalBlocker block(m_hex2DView);
    m_hex2DView->centerOnOffset(startOffset + (endOffset - startOffset) / 2);
}

void DocumentWindow::set2DActiveMap(int mapOffset)
{
    if (m_routing)
        return;
    const RouteGuard guard(m_routing);
    const QSignalBlocker block(m_hex2DView);
    m_hex2DView->setActiveSavedMap(mapOffset);
}

void DocumentWindow::set2DRowOrigin(int offset)
{
    const QSignalBlocker block(m_hex2DView);
    m_hex2DView->setRowOrigin(offset);
}

void DocumentWindow::createMapIn2D(int startOffset, int endOffset)
{
    m_hex2DView->setSelection(startOffset, endOffset);
    m_hex2DView->createMapFromSelection();
}
