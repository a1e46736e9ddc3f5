#include "hex/hex2dview.h"

#include "hex/mapcut.h"
#include "hex/overviewshade.h"

#include <QClipboard>
#include <QDebug>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

const QColor Background(18, 20, 24);
const QColor PlotFill(10, 18, 28);
const QColor BarFill(12, 18, 28);
const QColor BarOutline(70, 95, 125);
const QColor LabelText(185, 200, 215);
const QColor MapData(8, 74, 198);
const QColor MapAxis(8, 42, 128);
const QColor Grid(38, 58, 72);
const QColor PlotOutline(90, 95, 105);
const QColor ActiveMap(220, 35, 35);
const QColor Cursor(90, 200, 255);
const QColor OffsetText(135, 140, 150);
const QColor FooterText(105, 110, 120);
const QColor CurveColour(120, 220, 140);
const QColor ChangedColour(255, 150, 40);

QString hex8(qint64 v)
{
    return QStringLiteral("%1").arg(v, 8, 16, QLatin1Char('0')).toUpper();
}

Hex2DView::Prompts defaultPrompts(QWidget *parent)
{
    Hex2DView::Prompts p;
    p.askInteger = [parent](const QString &title, const QString &label, int minimum, int maximum,
                            int *value) {
        bool ok = false;
        const int v = QInputDialog::getInt(parent, title, label, 0, minimum, maximum, 1, &ok);
        if (ok)
            *value = v;
        return ok;
    };
    p.askDouble = [parent](const QString &title, const QString &label, double initial,
                           double minimum, double maximum, int decimals, double step,
                           double *value) {
        bool ok = false;
        const double v = QInputDialog::getDouble(parent, title, label, initial, minimum, maximum,
                                                 decimals, &ok, Qt::WindowFlags(), step);
        if (ok)
            *value = v;
        return ok;
    };
    p.askText = [parent](const QString &title, const QString &label, QString *text) {
        bool ok = false;
        const QString t = QInputDialog::getText(parent, title, label, QLineEdit::Normal, QString(),
                                                &ok);
        if (ok)
            *text = t;
        return ok;
    };
    p.information = [parent](const QString &title, const QString &text) {
        QMessageBox::information(parent, title, text);
    };
    p.warning = [parent](const QString &title, const QString &text) {
        QMessageBox::warning(parent, title, text);
    };
    return p;
}

} // namespace

Hex2DView::Hex2DView(QWidget *parent)
    : QWidget(parent)
{
    setMinimumHeight(250);
    setAutoFillBackground(false);
    setAcceptDrops(true);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        QMenu *menu = createContextMenu(pos);
        menu->exec(mapToGlobal(pos));
        delete menu;
    });
    m_prompts = defaultPrompts(this);
    plotLayout().setImageSize(0);

    m_repeatTimer = new QTimer(this);
    connect(m_repeatTimer, &QTimer::timeout, this, &Hex2DView::onRepeat);
    m_blinkTimer = new QTimer(this);
    m_blinkTimer->setInterval(500);
    connect(m_blinkTimer, &QTimer::timeout, this, [this] {
        m_blinkOn = !m_blinkOn;
        update();
    });
    m_blinkTimer->start();
}

Hex2DView::~Hex2DView() = default;

Hex2DGeometry &Hex2DView::plotLayout()
{
    // A hidden widget gets its resize event late; the arithmetic always uses the real size.
    m_geometry.setWidgetSize(width(), height());
    return m_geometry;
}

void Hex2DView::setPrompts(const Prompts &prompts)
{
    const Prompts fallback = defaultPrompts(this);
    m_prompts = prompts;
    if (!m_prompts.askInteger)
        m_prompts.askInteger = fallback.askInteger;
    if (!m_prompts.askDouble)
        m_prompts.askDouble = fallback.askDouble;
    if (!m_prompts.askText)
        m_prompts.askText = fallback.askText;
    if (!m_prompts.information)
        m_prompts.information = fallback.information;
    if (!m_prompts.warning)
        m_prompts.warning = fallback.warning;
}

void Hex2DView::setImage(const QByteArray &bytes)
{
    m_current = bytes;
    m_original = bytes;
    m_differences.rebuild(bytes.constData(), bytes.size(), bytes.constData(), bytes.size());
    m_summary.clear();
    ++m_revision;
    plotLayout().setImageSize(bytes.size());
    m_selStart = m_selEnd = m_cursorOffset = -1;
    m_selecting = false;
    update();
}

void Hex2DView::releaseCurrentData(qint64 first, qint64 last)
{
    if (first < 0 || last < first || m_current.isSharedWith(m_original))
        return;
    m_pendingFirst = m_pendingFirst < 0 ? first : std::min(m_pendingFirst, first);
    m_pendingLast = std::max(m_pendingLast, last);
    // Until the new bytes arrive the view reads the original; nothing paints in between.
    m_current = m_original;
}

void Hex2DView::setCurrentData(const QByteArray &bytes)
{
    if (bytes.size() != m_original.size())
        return;
    if (m_pendingFirst >= 0) {
        const qint64 first = m_pendingFirst;
        const qint64 last = std::min<qint64>(m_pendingLast, bytes.size() - 1);
        m_pendingFirst = m_pendingLast = -1;
        m_current = bytes;
        if (first <= last) {
            if (m_summary.isBuiltFor(m_current, sampleFormat()))
                m_summary.update(m_current, first, last);
            ++m_revision;
            updateDifferences(first, last);
        }
        update();
        return;
    }
    // Only the stretch that changed is read again, for the summary and the differences.
    const qint64 n = bytes.size();
    const char *a = bytes.constData();
    const char *b = m_current.constData();
    constexpr qint64 Chunk = 4096;
    qint64 first = 0;
    while (first + Chunk <= n && std::memcmp(a + first, b + first, Chunk) == 0)
        first += Chunk;
    while (first < n && a[first] == b[first])
        ++first;
    if (first == n)
        return;
    qint64 last = n - 1;
    while (last - Chunk >= first && std::memcmp(a + last - Chunk + 1, b + last - Chunk + 1, Chunk) == 0)
        last -= Chunk;
    while (last > first && a[last] == b[last])
        --last;
    m_current = bytes;
    if (m_summary.isBuiltFor(m_current, sampleFormat()))
        m_summary.update(m_current, first, last);
    ++m_revision;
    updateDifferences(first, last);
    update();
}

void Hex2DView::updateDifferences(qint64 first, qint64 last)
{
    const char *a = m_current.constData();
    const char *b = m_original.constData();
    for (qint64 i = first; i <= last; ++i)
        m_differences.set(i, a[i] != b[i]);
}

SampleFormat Hex2DView::sampleFormat() const
{
    return SampleFormat{m_valueWidth, m_littleEndian, m_floatMode && m_valueWidth == 4};
}

const SampleSummary *Hex2DView::summaryForPaint()
{
    if (!m_summary.isBuiltFor(m_current, sampleFormat()))
        m_summary.build(m_current, sampleFormat());
    return &m_summary;
}

void Hex2DView::setLittleEndian(bool littleEndian)
{
    if (m_littleEndian == littleEndian)
        return;
    m_littleEndian = littleEndian;
    update();
}

void Hex2DView::setValueWidth(int bytes)
{
    if (bytes != 1 && bytes != 2 && bytes != 4)
        return;
    m_valueWidth = bytes;
    if (bytes != 4)
        m_floatMode = false;
    update();
}

void Hex2DView::setFloatMode(bool on)
{
    m_floatMode = on;
    if (on)
        m_valueWidth = 4;
    update();
}

void Hex2DView::setColumns(int columns)
{
    m_columns = std::max(1, columns);
    update();
}

void Hex2DView::setColorMode(bool on)
{
    m_colorMode = on;
    update();
}

void Hex2DView::setPercentMode(bool on)
{
    m_percentMode = on;
    update();
}

void Hex2DView::setSavedMaps(const QList<MapDefinition> &maps)
{
    m_savedMaps.clear();
    for (const MapDefinition &d : maps)
        if (d.mapOffset >= 0)
            m_savedMaps.append(mapRanges(d));
    update();
}

void Hex2DView::setActiveSavedMap(int mapOffset)
{
    m_activeSavedMap = mapOffset;
    update();
}

int Hex2DView::savedMapAt(qint64 offset) const
{
    if (offset < 0)
        return -1;
    const auto inside = [offset](const ByteRange &r) {
        return r.isValid() && offset >= r.start && offset <= r.end;
    };
    for (const MapRanges &m : m_savedMaps)
        if (inside(m.data) || inside(m.xAxis) || inside(m.yAxis))
            return int(m.data.start);
    return -1;
}

void Hex2DView::setSelection(int startOffset, int endOffset)
{
    if (startOffset < 0 || endOffset < startOffset || m_current.isEmpty()) {
        m_selStart = m_selEnd = -1;
    } else {
        m_selStart = std::min<qint64>(startOffset, m_current.size() - 1);
        m_selEnd = std::min<qint64>(endOffset, m_current.size() - 1);
    }
    update();
}

void Hex2DView::centerOnOffset(int offset)
{
    plotLayout().centerOnOffset(offset);
    emitWindow();
    update();
}

void Hex2DView::setUserZoomX(double factor)
{
    plotLayout().setUserZoomX(factor);
    emitWindow();
    update();
}

void Hex2DView::setUserZoomY(double factor)
{
    plotLayout().setUserZoomY(factor);
    update();
}

void Hex2DView::zoomAt(int steps, int x)
{
    plotLayout().wheelZoom(steps, x);
    emitWindow();
    emit zoomXChangedByWheel();
    update();
}

int Hex2DView::zoomXPercent() const
{
    return int(std::lround(m_geometry.zoomX() / m_geometry.baseZoom() * 100.0));
}

void Hex2DView::emitWindow()
{
    emitWindow(plotLayout().centreOffset());
}

void Hex2DView::emitWindow(qint64 offset)
{
    if (m_current.isEmpty())
        return;
    emit viewRangeChanged(int(plotLayout().visibleStart()), int(plotLayout().visibleEnd()));
    emit viewOffsetChanged(int(offset));
}

void Hex2DView::goToStart()
{
    plotLayout().goToStart();
    emitWindow(plotLayout().visibleStart());
    update();
}

void Hex2DView::goToEnd()
{
    plotLayout().goToEnd();
    emitWindow(plotLayout().visibleEnd() - 1);
    update();
}

void Hex2DView::nudge(int direction)
{
    // Held buttons repeat every 16 ms; the hex view catches up on the next reported move.
    plotLayout().nudge(direction);
    update();
}

void Hex2DView::stepPart(int direction)
{
    plotLayout().stepPart(direction);
    emitWindow();
    update();
}

void Hex2DView::rowOriginLeft()
{
    m_rowOrigin -= 2;
    emit rowOriginChanged(m_rowOrigin);
    update();
    qDebug().noquote() << "ROW ORIGIN LEFT =" << m_rowOrigin;
}

void Hex2DView::rowOriginRight()
{
    m_rowOrigin += 2;
    emit rowOriginChanged(m_rowOrigin);
    update();
    qDebug().noquote() << "ROW ORIGIN RIGHT =" << m_rowOrigin;
}

void Hex2DView::setRowOrigin(int offset)
{
    m_rowOrigin = offset;
    update();
}

void Hex2DView::createMapFromSelection()
{
    const MapCutResult cut =
        cutMapFromSelection(m_current, m_selStart, m_selEnd, m_columns, m_littleEndian);
    if (!cut.ok) {
        m_prompts.information(QStringLiteral("Crea mappa"), cut.message);
        return;
    }
    m_savedMaps.append(mapRanges(cut.definition));
    update();
    // The owner keeps the map and opens its window.
    emit mapDefinitionCreated(cut.definition);
}

void Hex2DView::editSelection(WordEditKind kind)
{
    qint64 start = 0, length = 0;
    if (!widenToWords(m_selStart, m_selEnd, m_current.size(), &start, &length))
        return;
    double value = 0.0;
    if (kind == WordEditKind::Absolute) {
        int v = 0;
        if (!m_prompts.askInteger(QStringLiteral("Modifica assoluta"),
                                  QStringLiteral("Nuovo valore:"), 0, 65535, &v))
            return;
        value = v;
    } else if (kind == WordEditKind::Percent) {
        if (!m_prompts.askDouble(QStringLiteral("Modifica in percentuale"),
                                 QStringLiteral("Percentuale:"), 5.0, -1000.0, 1000.0, 2, 1.0,
                                 &value))
            return;
    }
    const QByteArray bytes =
        editedWords(m_current, m_original, start, length, kind, value, m_littleEndian);
    if (!bytes.isEmpty())
        emit dataEditRequested(int(start), bytes);
}

void Hex2DView::goToAddress()
{
    QString text;
    if (!m_prompts.askText(QStringLiteral("Vai all'indirizzo"), QStringLiteral("Indirizzo HEX:"),
                           &text))
        return;
    text = text.trimmed();
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        text = text.mid(2);
    bool ok = false;
    const qlonglong offset = text.toLongLong(&ok, 16);
    if (!ok || offset < 0 || offset >= m_current.size()) {
        m_prompts.warning(QStringLiteral("Vai all'indirizzo"),
                          QStringLiteral("Indirizzo non valido."));
        return;
    }
    centerOnOffset(int(offset));
}

void Hex2DView::showProperties(qint64 offset, int map)
{
    if (map >= 0) {
        emit mapPropertiesRequested(map);
        return;
    }
    m_prompts.information(QStringLiteral("Caratteristiche"),
                          QStringLiteral("Nessuna mappa presente all'indirizzo 0x%1.")
                              .arg(hex8(std::max<qint64>(0, offset))));
}

QMenu *Hex2DView::createContextMenu(const QPoint &pos)
{
    auto *menu = new QMenu(this);
    const qint64 o = plotLayout().offsetAtX(pos.x());
    const int m = savedMapAt(o);
    if (m >= 0) {
        menu->addAction(QStringLiteral("Elimina mappa"), this,
                        [this, m] { emit deleteMapRequested(m); });
        menu->addSeparator();
    }
    const bool hasSelection = m_selStart >= 0 && m_selEnd >= m_selStart;
    const auto edit = [this, menu, hasSelection](const QString &text, WordEditKind kind) {
        QAction *a = menu->addAction(text, this, [this, kind] { editSelection(kind); });
        a->setEnabled(hasSelection);
    };
    edit(QStringLiteral("Modifica assoluta..."), WordEditKind::Absolute);
    edit(QStringLiteral("Modifica in percentuale..."), WordEditKind::Percent);
    menu->addSeparator();
    edit(QStringLiteral("+1"), WordEditKind::PlusOne);
    edit(QStringLiteral("-1"), WordEditKind::MinusOne);
    menu->addSeparator();
    edit(QStringLiteral("Valore originale"), WordEditKind::Original);
    menu->addAction(QStringLiteral("Vai all'indirizzo..."), this, [this] { goToAddress(); });
    menu->addAction(QStringLiteral("Caratteristiche..."), this,
                    [this, o, m] { showProperties(o, m); });
    // Comments on addresses have nowhere to be kept yet.
    menu->addAction(QStringLiteral("Inserisci commento..."))->setEnabled(false);
    menu->addSeparator();
    menu->addAction(QStringLiteral("Crea mappa"), this, [this] { createMapFromSelection(); });
    menu->addAction(QStringLiteral("Copia indirizzo"), this, [o] {
        QGuiApplication::clipboard()->setText(hex8(std::max<qint64>(0, o)));
    });
    return menu;
}

bool Hex2DView::acceptsDrop(const QMimeData *mime)
{
    if (!mime || !mime->hasUrls() || mime->urls().isEmpty())
        return false;
    const QUrl url = mime->urls().constFirst();
    if (!url.isLocalFile())
        return false;
    const QString suffix = QFileInfo(url.toLocalFile()).suffix().toLower();
    return suffix != QLatin1String("ols") && suffix != QLatin1String("a2l");
}

void Hex2DView::dragEnterEvent(QDragEnterEvent *event)
{
    if (acceptsDrop(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void Hex2DView::dragMoveEvent(QDragMoveEvent *event)
{
    if (acceptsDrop(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void Hex2DView::dropEvent(QDropEvent *event)
{
    if (!acceptsDrop(event->mimeData())) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    emit firmwareDropRequested(event->mimeData()->urls().constFirst().toLocalFile());
}

void Hex2DView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    plotLayout().setWidgetSize(width(), height());
}

void Hex2DView::wheelEvent(QWheelEvent *event)
{
    const int delta = event->angleDelta().y();
    event->accept();
    if (delta == 0 || m_current.isEmpty())
        return;
    int steps = delta / 120;
    if (steps == 0)
        steps = delta > 0 ? 1 : -1;
    zoomAt(steps, int(event->position().x()));
}

void Hex2DView::mousePressEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::MiddleButton) {
        m_panning = true;
        m_lastPanX = pos.x();
        setCursor(Qt::ClosedHandCursor);
        return;
    }
    if (event->button() != Qt::LeftButton || m_current.isEmpty())
        return QWidget::mousePressEvent(event);
    if (plotLayout().scrollBarRect().contains(pos)) {
        if (plotLayout().thumbContains(pos.x())) {
            m_thumbDragging = true;
        } else {
            m_repeatDirection = pos.x() < plotLayout().thumbLeft() ? -1 : +1;
            plotLayout().pageBy(m_repeatDirection, 0.9);
            emitWindow();
            m_repeatTimer->start(350);
        }
        update();
        return;
    }
    if (!plotLayout().hasPlot() || !plotLayout().plotRect().contains(pos))
        return;
    const qint64 o = plotLayout().offsetAtX(pos.x());
    const int map = savedMapAt(o);
    m_activeSavedMap = map;
    emit activeSavedMapChanged(map);
    if (map < 0) {
        m_selecting = true;
        m_cursorOffset = o;
        m_selStart = o;
        m_selEnd = std::min<qint64>(o + m_valueWidth - 1, m_current.size() - 1);
    } else {
        m_selStart = m_selEnd = -1;
    }
    emit selectionChanged(int(m_selStart), int(m_selEnd));
    update();
}

void Hex2DView::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    if (m_panning) {
        plotLayout().pan(pos.x() - m_lastPanX);
        m_lastPanX = pos.x();
        emitWindow();
        update();
        return;
    }
    if (m_thumbDragging) {
        plotLayout().dragThumbTo(pos.x());
        emitWindow();
        update();
        return;
    }
    if (m_selecting) {
        const qint64 o = plotLayout().offsetAtX(pos.x());
        const qint64 c = m_cursorOffset;
        const qint64 start = std::min(c, o);
        const qint64 end = std::min<qint64>(std::max(c, o) + 1, m_current.size() - 1);
        if (start != m_selStart || end != m_selEnd) {
            m_selStart = start;
            m_selEnd = end;
            emit selectionChanged(int(m_selStart), int(m_selEnd));
            update();
        }
    }
}

void Hex2DView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::MiddleButton && m_panning) {
        m_panning = false;
        unsetCursor();
        return;
    }
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    m_thumbDragging = false;
    m_repeatTimer->stop();
    m_repeatDirection = 0;
    if (m_selecting) {
        m_selecting = false;
        m_cursorOffset = -1;
        emit selectionChanged(int(m_selStart), int(m_selEnd));
    }
    update();
}

void Hex2DView::onRepeat()
{
    if (m_repeatDirection == 0) {
        m_repeatTimer->stop();
        return;
    }
    m_repeatTimer->setInterval(90);
    plotLayout().pageBy(m_repeatDirection, 0.05);
    emitWindow();
    update();
}

void Hex2DView::mouseDoubleClickEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    if (event->button() != Qt::LeftButton || m_current.isEmpty())
        return QWidget::mouseDoubleClickEvent(event);
    if (plotLayout().scrollBarRect().contains(pos)) {
        m_repeatTimer->stop();
        m_selStart = m_selEnd = -1;
        emit selectionChanged(-1, -1);
        update();
        return;
    }
    if (plotLayout().hasPlot() && plotLayout().plotRect().contains(pos)) {
        const int map = savedMapAt(plotLayout().offsetAtX(pos.x()));
        if (map >= 0)
            emit openSavedMapRequested(map);
    }
}

void Hex2DView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_K && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        createMapFromSelection();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

// ---- painting ----

void Hex2DView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    paintView(p);
}

int Hex2DView::columnOf(qint64 offset, qint64 s, qint64 e, int w) const
{
    return int(std::floor(double(offset - s) * w / double(e - s)));
}

void Hex2DView::paintView(QPainter &p)
{
    plotLayout().setWidgetSize(width(), height());
    p.fillRect(rect(), Background);
    if (m_current.isEmpty()) {
        p.setPen(QColor(150, 150, 150));
        p.drawText(rect(), Qt::AlignCenter, QStringLiteral("Nessun firmware caricato"));
        return;
    }
    const QRect plot = plotLayout().plotRect();
    const qint64 s = plotLayout().visibleStart();
    const qint64 e = plotLayout().visibleEnd();

    QFont bold = font();
    bold.setPointSize(9);
    bold.setBold(true);
    p.setFont(bold);
    p.setPen(QColor(220, 220, 220));
    // X in percent like Y, the same figures the toolbar's zoom boxes show.
    p.drawText(QRect(QPoint(65, 5), QPoint(plot.right(), 28)), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("2D • %1 bytes • X %2% • Y %3%")
                   .arg(m_current.size())
                   .arg(zoomXPercent())
                   .arg(int(std::lround(plotLayout().zoomY() * 100.0))));

    if (!plotLayout().hasPlot())
        return;
    p.fillRect(plot, PlotFill);
    paintScrollBar(p);

    QFont normal = font();
    normal.setPointSize(8);
    normal.setBold(false);
    p.setFont(normal);
    p.setPen(LabelText);
    for (int i = 0; i <= 8; ++i) {
        const int y = plot.top() + plot.height() * i / 8;
        p.drawText(QRect(5, y - 7, 55, 15), Qt::AlignRight | Qt::AlignVCenter,
                   QStringLiteral("%1").arg(255 - int(std::floor(i / 8.0 * 255)), 2, 16,
                                            QLatin1Char('0')).toUpper());
    }

    paintSavedMaps(p, plot, s, e);

    p.setPen(QPen(Grid, 1));
    for (int i = 1; i < 8; ++i) {
        const int y = plot.top() + plot.height() * i / 8;
        p.drawLine(plot.left(), y, plot.right(), y);
    }
    for (int i = 1; i < 10; ++i) {
        const int x = plot.left() + (plot.width() + 1) * i / 10;
        p.drawLine(x, plot.top(), x, plot.bottom());
    }

    paintCurve(p, plot, s, e);
    paintMarks(p, plot, s, e);

    p.setPen(PlotOutline);
    p.setBrush(Qt::NoBrush);
    p.drawRect(plot.adjusted(0, 0, -1, -1));

    p.setPen(OffsetText);
    for (int i = 0; i <= 10; ++i) {
        const int x = plot.left() + (plot.width() + 1) * i / 10;
        const qint64 o = s + qint64(std::floor(i / 10.0 * double(e - s)));
        p.drawText(QRect(QPoint(x - 35, plot.bottom() + 4), QPoint(x + 34, plot.bottom() + 21)),
                   Qt::AlignCenter, hex8(o));
    }
    p.setPen(FooterText);
    p.drawText(QRect(QPoint(65, height() - 49), QPoint(plot.right(), height() - 32)),
               Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Offset 0x%1 - 0x%2").arg(hex8(s), hex8(e)).toUpper());
}

void Hex2DView::paintSavedMaps(QPainter &p, const QRect &plot, qint64 s, qint64 e)
{
    const int w = plot.width();
    if (m_savedMaps.isEmpty() || w < 1)
        return;
    // 2 = data, 1 = axis only.
    std::vector<uchar> kind(std::size_t(w), 0);
    const auto mark = [&](const ByteRange &r, uchar k) {
        if (!r.isValid() || r.end < s || r.start >= e)
            return;
        const int a = std::clamp(columnOf(r.start, s, e, w), 0, w - 1);
        const int b = std::clamp(columnOf(r.end + 1, s, e, w), a, w - 1);
        for (int c = a; c <= b; ++c)
            kind[std::size_t(c)] = std::max(kind[std::size_t(c)], k);
    };
    for (const MapRanges &m : m_savedMaps) {
        mark(m.xAxis, 1);
        mark(m.yAxis, 1);
        mark(m.data, 2);
    }
    for (int c = 0; c < w;) {
        const uchar k = kind[std::size_t(c)];
        int run = c + 1;
        while (run < w && kind[std::size_t(run)] == k)
            ++run;
        if (k)
            p.fillRect(QRect(plot.left() + c, plot.top(), run - c, plot.height()),
                       k == 2 ? MapData : MapAxis);
        c = run;
    }
}

void Hex2DView::paintCurve(QPainter &p, const QRect &plot, qint64 s, qint64 e)
{
    const SampleFormat format = sampleFormat();
    const int w = plot.width();
    qint64 first = 0, n = 0;
    windowSamples(m_current.size(), format, s, e, &first, &n);
    if (n <= 0)
        return;
    // Narrow windows are cheaper to read straight than to summarise the whole image for.
    const SampleSummary *summary = n > qint64(w) * 16 ? summaryForPaint() : nullptr;

    double lo = 0.0, hi = format.fullScale();
    if (format.isFloat) {
        SampleExtremes all;
        if (summary) {
            all = summary->extremes(m_current, first, first + n);
        } else {
            for (qint64 i = first; i < first + n; ++i) {
                const double v = sampleValue(m_current.constData(), i, format);
                if (v == v)
                    all.add(v);
            }
        }
        if (all.isEmpty())
            return;
        lo = all.minimum;
        hi = all.maximum;
        if (hi - lo < 2.22e-16)
            hi = lo + 1.0;
    }
    const double h = plot.height() - 1;
    const double zy = plotLayout().zoomY();
    const auto yOf = [&](double v) {
        const double y = plot.bottom() - (v - lo) / (hi - lo) * h * zy;
        return std::clamp(y, double(plot.top()), double(plot.bottom()));
    };
    p.save();
    p.setClipRect(plot);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(CurveColour, 1));
    if (n > w) {
        const QList<SampleExtremes> columns = columnExtremes(m_current, format, s, e, w, summary);
        std::vector<QLineF> lines;
        lines.reserve(std::size_t(columns.size()) * 2);
        double prevLo = -1, prevHi = -1;
        for (int c = 0; c < columns.size(); ++c) {
            const SampleExtremes &x = columns.at(c);
            if (x.isEmpty()) {
                prevLo = prevHi = -1;
                continue;
            }
            const double px = plot.left() + c + 0.5;
            const double yTop = yOf(x.maximum), yBottom = yOf(x.minimum);
            lines.emplace_back(px, yBottom, px, yTop);
            // Join to the previous column where the two do not overlap.
            if (prevLo >= 0) {
                if (yBottom < prevHi)
                    lines.emplace_back(px - 1, prevHi, px, yBottom);
                else if (yTop > prevLo)
                    lines.emplace_back(px - 1, prevLo, px, yTop);
            }
            prevLo = yBottom;
            prevHi = yTop;
        }
        p.drawLines(lines.data(), int(lines.size()));
    } else {
        QPolygonF poly;
        poly.reserve(n);
        for (qint64 i = 0; i < n; ++i) {
            const double v = sampleValue(m_current.constData(), first + i, format);
            if (v != v)
                continue;
            const double off = double((first + i) * format.width);
            poly.append(QPointF(plotLayout().xOfOffset(off), yOf(v)));
        }
        if (poly.size() == 1)
            p.drawPoint(poly.first());
        else
            p.drawPolyline(poly);
    }
    p.restore();
}

void Hex2DView::paintMarks(QPainter &p, const QRect &plot, qint64 s, qint64 e)
{
    const int w = plot.width();
    p.save();
    p.setClipRect(plot);
    const auto xOf = [&](qint64 o) { return plot.left() + columnOf(o, s, e, w); };

    // Row starts of the map being cut, when they are far enough apart to be told apart.
    const qint64 rowBytes = qint64(m_columns) * 2;
    if (rowBytes > 0 && double(rowBytes) * w / double(e - s) >= 24.0) {
        p.setPen(QPen(QColor(60, 90, 110), 1, Qt::DotLine));
        qint64 o = s - ((s - m_rowOrigin) % rowBytes + rowBytes) % rowBytes;
        for (; o < e; o += rowBytes)
            if (o >= s)
                p.drawLine(xOf(o), plot.top(), xOf(o), plot.bottom());
    }

    // Bytes that differ from the original, as ticks along the bottom.
    // One tick per pixel column at most: after a hit the scan jumps to the next column.
    qint64 changed = m_differences.nextSet(s, e);
    if (changed >= 0 && changed < e) {
        p.setPen(QPen(ChangedColour, 1));
        while (changed >= 0 && changed < e) {
            const int column = columnOf(changed, s, e, w);
            p.drawLine(plot.left() + column, plot.bottom() - 6, plot.left() + column,
                       plot.bottom());
            qint64 next = s + ((qint64(column) + 1) * (e - s) + w - 1) / w;
            if (next <= changed)
                next = changed + 1;
            changed = m_differences.nextSet(next, e);
        }
    }

    if (m_selStart >= 0 && m_selEnd >= m_selStart && m_selEnd >= s && m_selStart < e) {
        QColor fill(70, 130, 220);
        fill.setAlpha(55);
        const int a = std::max(plot.left(), xOf(m_selStart));
        const int b = std::min(plot.right(), std::max(a + 1, xOf(m_selEnd + 1)));
        p.fillRect(QRect(QPoint(a, plot.top()), QPoint(b, plot.bottom())), fill);
    }

    if (m_activeSavedMap >= 0) {
        for (const MapRanges &m : m_savedMaps) {
            if (m.data.start != m_activeSavedMap || m.data.end < s || m.data.start >= e)
                continue;
            const int a = std::max(plot.left(), xOf(m.data.start));
            const int b = std::min(plot.right(), std::max(a + 2, xOf(m.data.end + 1)));
            p.setPen(QPen(ActiveMap, 2));
            p.setBrush(Qt::NoBrush);
            p.drawRect(QRect(QPoint(a, plot.top() + 1), QPoint(b, plot.bottom() - 1)));
        }
    }

    const qint64 cursor = m_cursorOffset >= 0 ? m_cursorOffset : m_selStart;
    if (m_blinkOn && cursor >= s && cursor < e) {
        p.setPen(QPen(Cursor, 1));
        const int x = xOf(cursor);
        p.drawLine(x, plot.top(), x, plot.bottom());
    }
    p.restore();
}

void Hex2DView::paintScrollBar(QPainter &p)
{
    const QRect bar = plotLayout().scrollBarRect();
    p.fillRect(bar, BarFill);
    const int w = bar.width();
    const quint64 key = m_revision * 31u + quint64(m_valueWidth) * 7u + (m_littleEndian ? 1 : 0);
    if (m_overview.width() != w || m_overviewRevision != key) {
        // The overview changes only with the bytes, the bar's width and the value format.
        m_overview = QImage(std::max(1, w), 1, QImage::Format_ARGB32);
        m_overview.fill(Qt::transparent);
        for (int c = 0; c < w; ++c) {
            const OverviewShade shade =
                overviewShade(m_current, c, w, m_valueWidth, m_littleEndian);
            if (!shade.background)
                m_overview.setPixelColor(c, 0,
                                         QColor::fromHsvF(float(shade.hue),
                                                          float(shade.saturation),
                                                          float(shade.value)));
        }
        m_overviewRevision = key;
    }
    const QRect strip = bar.adjusted(0, 3, 0, -3);
    p.drawImage(strip, m_overview);
    // Saved maps along the top edge.
    const double size = double(m_current.size());
    for (const MapRanges &m : m_savedMaps) {
        if (!m.data.isValid())
            continue;
        const int a = bar.left() + int(double(m.data.start) / size * w);
        const int b = std::max(a + 1, bar.left() + int(double(m.data.end + 1) / size * w));
        p.fillRect(QRect(a, bar.top() + 1, b - a, 3), QColor(60, 140, 255));
    }
    QColor thumbFill(255, 255, 255, m_thumbDragging ? 70 : 45);
    const QRect thumb(plotLayout().thumbLeft(), bar.top() + 1, plotLayout().thumbWidth(),
                      bar.height() - 2);
    p.fillRect(thumb, thumbFill);
    p.setPen(QPen(QColor(230, 235, 240), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(thumb.adjusted(0, 0, -1, -1));
    p.setPen(QPen(BarOutline, 1));
    p.drawRect(bar.adjusted(0, 0, -1, -1));
}
