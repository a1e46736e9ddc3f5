// The 2D side of the document window: the graph page, its navigation buttons and shortcuts,
// and the routes between the 2D view, the map list and the image.
#include "app/documentwindow.h"

#include "hex/hex2dview.h"
#include "model/firmwareproject.h"

#include <QKeySequence>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>

namespace {

QByteArray imageBytes(const FirmwareProject &record)
{
    const std::vector<uint8_t> &image = record.firmware->data();
    return QByteArray(reinterpret_cast<const char *>(image.data()), qsizetype(image.size()));
}

} // namespace

void DocumentWindow::build2DView()
{
    m_hex2DView = new Hex2DView(this);
    m_hex2DView->setObjectName(QStringLiteral("hex2DView"));
    m_record->hex2DView = m_hex2DView;
    m_stack->addWidget(m_hex2DView);

    m_hex2DView->setImage(m_record->originalBytes);
    m_hex2DView->setCurrentData(imageBytes(*m_record));
    m_hex2DView->setSavedMaps(m_record->maps);
    m_hex2DView->setProperty("userZoomXPercent", 100);
    m_hex2DView->setProperty("userZoomYPercent", 100);
    m_hex2DView->setUserZoomX(1.0);
    m_hex2DView->setUserZoomY(2.0);

    Hex2DView *view = m_hex2DView;
    connect(view, &Hex2DView::dataEditRequested, this,
            [this](int offset, const QByteArray &bytes) { writeBytes(offset, bytes); });
    connect(view, &Hex2DView::mapDefinitionCreated, this, [this](const MapDefinition &map) {
        addMap(map);
        openMapWindow(map.mapOffset);
    });
    connect(view, &Hex2DView::mapNameChanged, this, &DocumentWindow::renameMap);
    connect(view, &Hex2DView::mapDefinitionChanged, this, &DocumentWindow::replaceMap);
    connect(view, &Hex2DView::openSavedMapRequested, this, &DocumentWindow::openMapWindow);
    connect(view, &Hex2DView::mapPropertiesRequested, this, [this](int) {
        emit statusMessage(QStringLiteral("Caratteristiche della mappa non ancora disponibili."),
                           4000);
    });
    connect(view, &Hex2DView::deleteMapRequested, this, &DocumentWindow::removeMap);
    connect(view, &Hex2DView::firmwareDropRequested, this,
            &DocumentWindow::firmwareDropRequested);
    // The map window takes the hex cursor as an axis address when there is one.
    const auto answerAxisRequest = [this](QWidget *mapWindow, const char *setter) {
        const int cursor = hexCursorOffset();
        if (mapWindow && cursor >= 0)
            QMetaObject::invokeMethod(mapWindow, setter, Q_ARG(int, cursor));
    };
    connect(view, &Hex2DView::xAxisHexCursorRequested, this,
            [answerAxisRequest](QWidget *w) { answerAxisRequest(w, "setXAxisOffset"); });
    connect(view, &Hex2DView::yAxisHexCursorRequested, this,
            [answerAxisRequest](QWidget *w) { answerAxisRequest(w, "setYAxisOffset"); });
    connect(view, &Hex2DView::activeSavedMapChanged, this,
            [this](int mapOffset) { m_pending2DMapOffset = mapOffset; });
    connect(this, &DocumentWindow::mapsChanged, view,
            [this] { m_hex2DView->setSavedMaps(m_record->maps); });

    const struct { const char *keys; void (DocumentWindow::*effect)(); } shortcuts[] = {
        {"M", &DocumentWindow::moreColumns},
        {"W", &DocumentWindow::fewerColumns},
        {"Ctrl+Left", &DocumentWindow::rowOriginLeft},
        {"Ctrl+Right", &DocumentWindow::rowOriginRight}};
    for (const auto &s : shortcuts) {
        auto *shortcut = new QShortcut(QKeySequence(QString::fromLatin1(s.keys)), this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, s.effect);
    }
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
    m_hex2DView->setCurrentData(imageBytes(*m_record));
}

void DocumentWindow::setReferenceBytes(const QByteArray &originalBytes)
{
    m_record->originalBytes = originalBytes;
    m_hex2DView->setImage(originalBytes);
    m_hex2DView->setCurrentData(imageBytes(*m_record));
}

bool DocumentWindow::replaceMap(const MapDefinition &map)
{
    for (MapDefinition &existing : m_record->maps) {
        if (existing.mapOffset == map.mapOffset) {
            existing = map;
            emit mapsChanged();
            return true;
        }
    }
    return false;
}

void DocumentWindow::moreColumns()
{
    m_hex2DView->setColumns(m_hex2DView->columns() + 1);
}

void DocumentWindow::fewerColumns()
{
    m_hex2DView->setColumns(m_hex2DView->columns() - 1);
}

void DocumentWindow::rowOriginLeft()
{
    m_hex2DView->rowOriginLeft();
}

void DocumentWindow::rowOriginRight()
{
    m_hex2DView->rowOriginRight();
}

void DocumentWindow::openMapWindow(int mapOffset)
{
    // The map editor opens its window here once it is part of the application.
    Q_UNUSED(mapOffset);
    emit statusMessage(QStringLiteral("Editor delle mappe non ancora disponibile."), 4000);
}

void DocumentWindow::syncHexRangeTo2D()
{
    // The hex view reports its visible range here once, the first time "2D" is shown.
}

void DocumentWindow::takePending2DMapIntoHexView()
{
    // The hex view goes to the map chosen in the 2D view here.
    m_pending2DMapOffset = -1;
}

void DocumentWindow::show2DSelection(int startOffset, int endOffset)
{
    const QSignalBlocker block(m_hex2DView);
    m_hex2DView->setSelection(startOffset, endOffset);
}

void DocumentWindow::follow2DRange(int startOffset, int endOffset)
{
    if (endOffset < startOffset)
        return;
    const QSignalBlocker block(m_hex2DView);
    m_hex2DView->centerOnOffset(startOffset + (endOffset - startOffset) / 2);
}

void DocumentWindow::set2DActiveMap(int mapOffset)
{
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
