#pragma once

#include <QPoint>
#include <QWidget>

#include <functional>

class QPainter;
class QRubberBand;

// A drawing surface of the map window. It owns no data: painting, clicks and finished
// rubber-band drags go to callbacks the window installs (an unset callback is skipped).
class MapPlotCanvas : public QWidget
{
    Q_OBJECT
public:
    using PaintCallback = std::function<void(QPainter &, const QRect &)>;
    using ClickCallback = std::function<void(const QPoint &, Qt::KeyboardModifiers)>;
    using RectCallback = std::function<void(const QRect &, Qt::KeyboardModifiers)>;

    explicit MapPlotCanvas(QWidget *parent = nullptr);

    // A painting callback covers the whole canvas, so nothing beneath needs painting first.
    void setPaintCallback(PaintCallback callback)
    {
        m_paintCallback = std::move(callback);
        setAttribute(Qt::WA_OpaquePaintEvent, bool(m_paintCallback));
    }
    void setClickCallback(ClickCallback callback) { m_clickCallback = std::move(callback); }
    void setRectCallback(RectCallback callback) { m_rectCallback = std::move(callback); }

    bool isDragging() const { return m_dragging; }

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    PaintCallback m_paintCallback;
    ClickCallback m_clickCallback;
    RectCallback m_rectCallback;
    QRubberBand *m_rubberBand = nullptr;
    QPoint m_pressPoint;
    // Tracked apart from the point, so that a press at (0, 0) is a press like any other.
    bool m_pressed = false;
    Qt::KeyboardModifiers m_pressModifiers;
    bool m_dragging = false;
};
