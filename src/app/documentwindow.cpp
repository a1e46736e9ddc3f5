#include "documentwindow.h"

#include "app/viewstate.h"
#include "checksums/checksumwidgets.h"
#include "hex/hex2dview.h"
#include "hex/hexmodel.h"
#include "hex/hexviewer.h"
#include "app/mapwindowopener.h"
#include "model/fingerprint.h"
#include "model/firmwareproject.h"

#include <QButtonGroup>
#include <QDebug>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>

DocumentWindow::DocumentWindow(FirmwareProject *record, QWidget *parent)
    : QWidget(parent)
    , m_record(record)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_stack = new QStackedWidget(this);
    m_hexViewer = new HexViewer(this);
    m_record->hexViewer = m_hexViewer;
    // The model starts from the original; a document whose image already differs from it
    // (a saved version) shows those differences at once.
    m_hexViewer->setFirmware(m_record->originalBytes);
    const std::vector<uint8_t> &image = m_record->firmware->data();
    const QByteArray current = QByteArray::fromRawData(reinterpret_cast<const char *>(image.data()),
                                                       qsizetype(image.size()));
    if (current != m_record->originalBytes)
        m_hexViewer->model()->setCurrentData(QByteArray(current.constData(), current.size()));
    for (const MapDefinition &map : std::as_const(m_record->maps))
        m_hexViewer->model()->addOrUpdateSavedMap(savedMapRegion(map));
    m_stack->addWidget(m_hexViewer);
    setFocusProxy(m_hexViewer); // an activated document takes keys in its hex table
    build2DView(); // page 1
    m_placeholder3D = new QLabel(
        QStringLiteral("Visualizzazione 3D\n\nModulo 3D non ancora implementato."), this);
    m_placeholder3D->setAlignment(Qt::AlignCenter);
    m_stack->addWidget(m_placeholder3D);
    layout->addWidget(m_stack, 1);

    m_checksums = new DocumentChecksums(m_hexViewer->model(), this);
    connect(m_checksums, &DocumentChecksums::statusMessage, this, &DocumentWindow::statusMessage);
    buildBar();
    connectHexRoutes();
    connect2DRoutes();
    installShortcuts();

    connect(this, &DocumentWindow::openMapRequested, this,
            [this](int mapIndex) { ::openMapWindow(this, mapIndex); });
}

void DocumentWindow::connectHexRoutes()
{
    HexModel *model = m_hexViewer->model();
    // The hex model is the one writer of the image.
    connect(model, &HexModel::dataModified, this, &DocumentWindow::onBytesModified);
    connect(model, &HexModel::aboutToWrite, this, [this](int offset, int length) {
        m_hex2DView->releaseCurrentData(offset, qint64(offset) + length - 1);
    });
    connect(m_hexViewer, &HexViewer::rowOriginChangeRequested, this,
            [this](int deltaBytes) { shiftRowOrigin(deltaBytes); });
    connect(m_hexViewer, &HexViewer::createMapRequested, this,
            &DocumentWindow::createMapIn2D);
    connect(m_hexViewer, &HexViewer::openSavedMapRequested, this,
            &DocumentWindow::openMapWindow);
    connect(m_hexViewer, &HexViewer::deleteMapRequested, this,
            [this](int mapOffset) { requestRemoveMapAt(chooseMapAt(mapOffset)); });
    connect(model, &HexModel::selectionChanged, this, &DocumentWindow::show2DSelection);
    connect(m_hexViewer, &HexViewer::viewRangeChanged, this, &DocumentWindow::follow2DRange);
    connect(m_hexViewer, &HexViewer::activeSavedMapChanged, this,
            &DocumentWindow::set2DActiveMap);
}

void DocumentWindow::installShortcuts()
{
    const struct { QKeySequence keys; std::function<void()> effect; } shortcuts[] = {
        {QKeySequence(Qt::Key_M), [this] { changeColumns(1); }},
        {QKeySequence(Qt::Key_W), [this] { changeColumns(-1); }},
        {QKeySequence(Qt::CTRL | Qt::Key_Left), [this] { shiftRowOrigin(-2); }},
        {QKeySequence(Qt::CTRL | Qt::Key_Right), [this] { shiftRowOrigin(2); }},
    };
    for (const auto &s : shortcuts) {
        auto *shortcut = new QShortcut(s.keys, this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, s.effect);
    }
}

void DocumentWindow::onBytesModified(const QByteArray &data)
{
    std::vector<uint8_t> &image = m_record->firmware->data();
    if (image.size() != size_t(data.size()))
        image.resize(size_t(data.size()));
    std::memcpy(image.data(), data.constData(), size_t(data.size()));
    m_record->modified = true;
    refresh2DImage();
    emit modifiedChanged(true);
}

void DocumentWindow::changeColumns(int delta)
{
    const int columns = m_hexViewer->model()->columns() + delta;
    if (columns < 1)
        return;
    m_hexViewer->setColumnCount(columns, m_hexViewer->topOffset());
    m_hex2DView->setColumns(columns);
    qDebug().noquote() << (delta > 0 ? "M -> COLONNE =" : "W -> COLONNE =") << columns;
}

void DocumentWindow::shiftRowOrigin(int deltaBytes)
{
    // The hex table decides where its rows may start (on a cell boundary); the 2D view takes
    // that very origin, so its row marks never run ahead of the table's rows.
    if (deltaBytes == 0)
        return;
    HexModel *model = m_hexViewer->model();
    applyRowOriginToHex(
        ViewState::steppedRowOrigin(model->rowOrigin(), deltaBytes, model->cellBytes()));
    set2DRowOrigin(model->rowOrigin());
}

void DocumentWindow::applyRowOriginToHex(int origin)
{
    // The viewer keeps its top row and current cell across the new layout.
    HexModel *model = m_hexViewer->model();
    model->setRowOrigin(origin);
    qDebug() << "row origin" << model->rowOrigin();
}

void DocumentWindow::requestCreateMap()
{
    if (currentPage() == 0)
        m_hexViewer->requestCreateMap();
    else if (currentPage() == 1)
        m_hex2DView->createMapFromSelection();
}

SavedMapRegion DocumentWindow::savedMapRegion(const MapDefinition &map)
{
    const MapRanges ranges = mapRanges(map);
    auto range = [](const ByteRange &r) {
        if (!r.isValid() || r.start > INT_MAX)
            return HexRange{};
        return HexRange{int(r.start), int(std::min<qint64>(r.end, INT_MAX))};
    };
    return SavedMapRegion{range(ranges.data), range(ranges.xAxis), range(ranges.yAxis),
                          range(ranges.header)};
}

void DocumentWindow::buildBar()
{
    auto *bar = new QWidget(this);
    auto *row = new QHBoxLayout(bar);
    row->setContentsMargins(4, 4, 4, 4);
    row->setSpacing(4);
    m_viewButtons = new QButtonGroup(this);
    m_viewButtons->setExclusive(true);
    const struct { const char *text; const char *objectName; } views[] = {
        {"Text", "documentTextButton"}, {"2D", "document2DButton"}, {"3D", "document3DButton"}};
    int id = 0;
    for (const auto &v : views) {
        auto *button = new QPushButton(QString::fromLatin1(v.text), bar);
        button->setObjectName(QString::fromLatin1(v.objectName));
        button->setCheckable(true);
        m_viewButtons->addButton(button, id++);
        row->addWidget(button);
    }
    m_viewButtons->button(0)->setChecked(true);
    connect(m_viewButtons, &QButtonGroup::idClicked, this, [this](int which) {
        if (which == 0)
            showTextPage();
        else if (which == 1)
            show2DPage();
        else
            show3DPage();
    });
    row->addWidget(m_checksums->statusButton());
    row->addStretch(1);
    const QStringList navigation = {QStringLiteral("|◀"), QStringLiteral("◀◀"),
                                    QStringLiteral("◀"),  QStringLiteral("▶"),
                                    QStringLiteral("▶▶"), QStringLiteral("▶|")};
    for (const QString &text : navigation) {
        auto *button = new QPushButton(text, bar);
        button->setFixedWidth(42);
        m_navigationButtons.append(button);
        row->addWidget(button);
    }
    m_navigationButtons[2]->setToolTip(QStringLiteral("Parte precedente"));
    m_navigationButtons[3]->setToolTip(QStringLiteral("Parte successiva"));
    connectNavigationButtons();
    layout()->addWidget(bar);
}

void DocumentWindow::showTextPage()
{
    m_stack->setCurrentIndex(0);
    m_viewButtons->button(0)->setChecked(true);
    const int pending = m_hexViewer->property("pending2DMapOffset").toInt();
    if (pending >= 0) {
        const bool blocked = m_hexViewer->blockSignals(true);
        m_hexViewer->goToOffset(pending);
        m_hexViewer->blockSignals(blocked);
        m_hexViewer->setProperty("pending2DMapOffset", -1);
    } else {
        m_hexViewer->centerOnSelection();
    }
    m_hexViewer->focusTable();
}

void DocumentWindow::show2DPage()
{
    if (!m_hexViewer->property("initial2DSyncDone").toBool()) {
        m_hexViewer->syncView();
        m_hexViewer->setProperty("initial2DSyncDone", true);
    }
    m_stack->setCurrentIndex(1);
    m_viewButtons->button(1)->setChecked(true);
    m_hex2DView->setFocus();
}

void DocumentWindow::show3DPage()
{
    m_stack->setCurrentIndex(2);
    m_viewButtons->button(2)->setChecked(true);
}

int DocumentWindow::currentPage() const
{
    return m_stack->currentIndex();
}

void DocumentWindow::setMaps(const QList<MapDefinition> &maps)
{
    const bool changed = m_record->maps != maps;
    syncMapIds();
    // A map that stays where it was, unchanged, keeps its identity and its open window.
    QList<quint64> ids;
    ids.reserve(maps.size());
    for (qsizetype i = 0; i < maps.size(); ++i) {
        const bool kept = i < m_record->maps.size() && m_record->maps.at(i) == maps.at(i);
        ids.append(kept ? m_mapIds.at(i) : m_nextMapId++);
    }
    m_record->maps = maps;
    m_mapIds = ids;
    HexModel *model = m_hexViewer->model();
    model->clearSavedMaps();
    for (const MapDefinition &map : maps)
        model->addOrUpdateSavedMap(savedMapRegion(map));
    mapsEdited(changed);
}

void DocumentWindow::addMap(const MapDefinition &map)
{
    syncMapIds();
    m_record->maps.append(map);
    m_mapIds.append(m_nextMapId++);
    m_hexViewer->model()->addOrUpdateSavedMap(savedMapRegion(map));
    mapsEdited(true);
}

bool DocumentWindow::removeMapAt(int index)
{
    if (index < 0 || index >= m_record->maps.size())
        return false;
    syncMapIds();
    const int mapOffset = m_record->maps.at(index).mapOffset;
    m_record->maps.removeAt(index);
    m_mapIds.removeAt(index);
    remarkMapsAt(mapOffset);
    mapsEdited(true);
    return true;
}

bool DocumentWindow::renameMapAt(int index, const QString &name)
{
    if (index < 0 || index >= m_record->maps.size())
        return false;
    MapDefinition &map = m_record->maps[index];
    const bool changed = map.name != name;
    map.name = name;
    mapsEdited(changed);
    return true;
}

bool DocumentWindow::replaceMapAt(int index, const MapDefinition &map)
{
    if (index < 0 || index >= m_record->maps.size())
        return false;
    MapDefinition &existing = m_record->maps[index];
    const bool changed = !(existing == map);
    const int previousOffset = existing.mapOffset;
    existing = map;
    if (previousOffset != map.mapOffset)
        remarkMapsAt(previousOffset);
    m_hexViewer->model()->addOrUpdateSavedMap(savedMapRegion(map));
    mapsEdited(changed);
    return true;
}

bool DocumentWindow::removeMap(int mapOffset)
{
    return removeMapAt(mapIndicesAt(mapOffset).value(0, -1));
}

bool DocumentWindow::replaceMap(const MapDefinition &map)
{
    return replaceMapAt(mapIndicesAt(map.mapOffset).value(0, -1), map);
}

void DocumentWindow::remarkMapsAt(int mapOffset)
{
    HexModel *model = m_hexViewer->model();
    model->removeSavedMap(mapOffset);
    for (const MapDefinition &other : std::as_const(m_record->maps))
        if (other.mapOffset == mapOffset)
            model->addOrUpdateSavedMap(savedMapRegion(other));
}

void DocumentWindow::syncMapIds() const
{
    // A list changed behind this window's back cannot say which map is which: every map
    // takes a new identity, so no window goes on editing a map that is not its own.
    if (m_mapIds.size() == m_record->maps.size())
        return;
    m_mapIds.clear();
    for (qsizetype i = 0; i < m_record->maps.size(); ++i)
        m_mapIds.append(m_nextMapId++);
}

quint64 DocumentWindow::mapIdAt(int index) const
{
    syncMapIds();
    return index >= 0 && index < m_mapIds.size() ? m_mapIds.at(index) : 0;
}

int DocumentWindow::indexOfMapId(quint64 id) const
{
    syncMapIds();
    return id == 0 ? -1 : int(m_mapIds.indexOf(id));
}

QList<int> DocumentWindow::mapIndicesAt(int mapOffset) const
{
    QList<int> indices;
    for (int i = 0; i < m_record->maps.size(); ++i)
        if (m_record->maps.at(i).mapOffset == mapOffset)
            indices.append(i);
    return indices;
}

int DocumentWindow::chooseMapAt(int mapOffset)
{
    const QList<int> indices = mapIndicesAt(mapOffset);
    if (indices.size() < 2)
        return indices.value(0, -1);
    if (m_chooseMap)
        return m_chooseMap(indices);
    QMenu menu(this);
    for (int index : indices)
        menu.addAction(m_record->maps.at(index).name)->setData(index);
    const QAction *chosen = menu.exec(QCursor::pos());
    return chosen ? chosen->data().toInt() : -1;
}

bool DocumentWindow::requestRemoveMapAt(int index)
{
    if (index < 0 || index >= m_record->maps.size())
        return false;
    const MapDefinition &map = m_record->maps.at(index);
    const bool confirmed
        = m_confirmMapRemoval
              ? m_confirmMapRemoval(map)
              : QMessageBox::question(
                    this, QStringLiteral("Elimina mappa"),
                    QStringLiteral("Eliminare la mappa \"%1\"?\n\nLa mappa esce dall'elenco del "
                                   "progetto; i valori nel firmware restano come sono.")
                        .arg(map.name),
                    QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
                    == QMessageBox::Yes;
    return confirmed && removeMapAt(index);
}

void DocumentWindow::mapsEdited(bool changed)
{
    // The maps are saved with the document: a change left unmarked would be lost on close.
    if (changed && !m_record->modified) {
        m_record->modified = true;
        emit modifiedChanged(true);
    }
    emit mapsChanged();
}

bool DocumentWindow::writeBytes(int offset, const QByteArray &bytes)
{
    // Through the hex model, so the write can be undone and its dataModified updates the image.
    return m_hexViewer->model()->writeBytesAt(offset, bytes);
}

int DocumentWindow::hexCursorOffset() const
{
    return m_hexViewer->currentOffset();
}
