#include "mapplotcanvas.h"

#include "mapeditor/mapplotgeometry.h"

#include <QMouseEvent>
#include <QPainter>
#include <QRubberBand>

MapPlotCanvas::MapPlotCanvas(QWidget *parent)
    : QWidget(parent)
    , m_rubberBand(new QRubberBand(QRubberBand::Rectangle, this))
{
    setMinimumSize(320, 220);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(false);
    m_rubberBand->hide();
}

void MapPlotCanvas::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_pressPoint = event->position().toPoint();
    m_pressed = true;
    m_pressModifiers = event->modifiers();
    m_dragging = false;
    m_rubberBand->setGeometry(QRect(m_pressPoint, QSize()));
    m_rubberBand->hide();
    setFocus(Qt::MouseFocusReason);
    event->accept();
}

void MapPlotCanvas::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton) || !m_pressed) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    const QPoint pos = event->position().toPoint();
    if (!m_dragging) {
        if (!MapPlotGeometry::isDragMovement(m_pressPoint, pos)) {
            event->accept();
            return;
        }
        m_dragging = true;
        m_rubberBand->show();
    }
    m_rubberBand->setGeometry(QRect(m_pressPoint, pos).normalized());
    event->accept();
}

void MapPlotCanvas::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const QPoint pos = event->position().toPoint();
    const bool wasPressed = m_pressed;
    const bool wasDragging = m_dragging;
    const QPoint press = m_pressPoint;
    const Qt::KeyboardModifiers modifiers = m_pressModifiers;
    m_rubberBand->hide();
    m_pressPoint = QPoint();
    m_pressed = false;
    m_dragging = false;
    event->accept();
    if (!wasPressed)
        return;
    // The release may also be the first sign of a drag (no move event in between).
    const bool drag = wasDragging || MapPlotGeometry::isDragMovement(press, pos);
    if (drag && m_rectCallback)
        m_rectCallback(QRect(press, pos).normalized(), modifiers);
    else if (m_clickCallback)
        m_clickCallback(pos, modifiers);
}

void MapPlotCanvas::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    if (m_paintCallback)
        m_paintCallback(painter, rect());
}
