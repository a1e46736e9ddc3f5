#include "hex/hex2dgeometry.h"

#include <algorithm>
#include <cmath>

double Hex2DGeometry::baseZoomFor(qint64 imageSize)
{
    return std::max(1.0, double(imageSize) / 4096.0);
}

void Hex2DGeometry::setImageSize(qint64 size)
{
    m_size = std::max<qint64>(0, size);
    m_centre = 0.5;
    m_userZoomX = 1.0;
    m_zoomY = 1.0;
    m_zoomX = std::clamp(baseZoom(), MinZoomX, MaxZoomX);
    clampCentre();
}

void Hex2DGeometry::setWidgetSize(int width, int height)
{
    m_width = width;
    m_height = height;
}

void Hex2DGeometry::setZoomX(double zoom)
{
    if (!std::isfinite(zoom))
        return;
    m_zoomX = std::clamp(zoom, MinZoomX, MaxZoomX);
    clampCentre();
}

void Hex2DGeometry::setUserZoomX(double factor)
{
    if (!std::isfinite(factor))
        return;
    m_userZoomX = std::clamp(factor, MinUserZoomX, MaxUserZoomX);
    setZoomX(m_userZoomX * baseZoom());
}

void Hex2DGeometry::setUserZoomY(double factor)
{
    if (std::isfinite(factor))
        m_zoomY = std::clamp(factor, MinZoomY, MaxUserZoomY);
}

void Hex2DGeometry::setZoomY(double zoom)
{
    if (std::isfinite(zoom))
        m_zoomY = std::clamp(zoom, MinZoomY, MaxZoomY);
}

void Hex2DGeometry::setCentre(double centre)
{
    if (!std::isfinite(centre))
        return;
    m_centre = centre;
    clampCentre();
}

void Hex2DGeometry::centerOnOffset(qint64 offset)
{
    if (m_size <= 0)
        return;
    setCentre(double(std::clamp<qint64>(offset, 0, m_size - 1)) / double(m_size));
}

void Hex2DGeometry::clampCentre()
{
    const double h = half();
    m_centre = h >= 0.5 ? 0.5 : std::clamp(m_centre, h, 1.0 - h);
}

qint64 Hex2DGeometry::visibleStart() const
{
    if (m_size <= 0)
        return 0;
    const qint64 s = qint64(std::floor((m_centre - half()) * double(m_size)));
    return std::clamp<qint64>(s, 0, m_size - 1);
}

qint64 Hex2DGeometry::visibleEnd() const
{
    if (m_size <= 0)
        return 0;
    const qint64 e = qint64(std::floor((m_centre + half()) * double(m_size)));
    // At the deepest zoom of a small image the window would shrink to nothing; keep one byte.
    return std::clamp<qint64>(e, visibleStart() + 1, m_size);
}

qint64 Hex2DGeometry::centreOffset() const
{
    return m_size > 0 ? std::min<qint64>(qint64(std::floor(double(m_size) * m_centre)), m_size - 1)
                      : 0;
}

QRect Hex2DGeometry::plotRect() const
{
    return QRect(QPoint(PlotLeft, PlotTop), QPoint(m_width - 12, m_height - 70));
}

QRect Hex2DGeometry::scrollBarRect() const
{
    return QRect(QPoint(PlotLeft, m_height - 29), QPoint(PlotLeft - 1 + std::max(1, plotWidth()),
                                                         m_height - 6));
}

qint64 Hex2DGeometry::offsetAtX(int x) const
{
    if (m_size <= 0)
        return -1;
    const qint64 s = visibleStart();
    const qint64 e = visibleEnd();
    const double w = std::max(1, plotWidth());
    const qint64 o = s + qint64(std::floor(double(x - PlotLeft) / w * double(e - s)));
    // The last byte is left out so a 16-bit word under the pointer stays inside the image;
    // a 1-byte image still has its one offset.
    return std::clamp<qint64>(o, 0, std::max<qint64>(0, m_size - 2));
}

double Hex2DGeometry::xOfOffset(double offset) const
{
    const qint64 s = visibleStart();
    const qint64 e = visibleEnd();
    if (e <= s)
        return PlotLeft;
    return PlotLeft + (offset - double(s)) / double(e - s) * std::max(1, plotWidth());
}

void Hex2DGeometry::wheelZoom(int steps, int x)
{
    if (steps == 0)
        return;
    const double w = std::max(1, plotWidth());
    const double u = std::clamp(double(x - PlotLeft) / w, 0.0, 1.0);
    const double position = m_centre - half() + u / m_zoomX;
    // The wheel stays inside the range the toolbar's X box can show, and the user zoom
    // follows it, so that the box and the view's header tell the same zoom.
    const double lowest = std::max(MinZoomX, MinUserZoomX * baseZoom());
    const double highest = std::min(MaxZoomX, MaxUserZoomX * baseZoom());
    const double zoom
        = std::clamp(m_zoomX * std::pow(WheelFactor, steps), lowest, std::max(lowest, highest));
    m_zoomX = zoom;
    m_userZoomX = zoom / baseZoom();
    m_centre = position - u / zoom + 0.5 / zoom;
    clampCentre();
}

void Hex2DGeometry::pan(int dx)
{
    const double w = std::max(1, plotWidth());
    setCentre(m_centre - double(dx) / w * (1.0 / m_zoomX));
}

int Hex2DGeometry::thumbLeft() const
{
    if (m_size <= 0)
        return PlotLeft;
    const int w = std::max(1, plotWidth());
    return PlotLeft + int(std::floor(double(visibleStart()) / double(m_size) * w));
}

int Hex2DGeometry::thumbWidth() const
{
    if (m_size <= 0)
        return 4;
    const int w = std::max(1, plotWidth());
    const int a = int(std::floor(double(visibleStart()) / double(m_size) * w));
    const int b = int(std::floor(double(visibleEnd()) / double(m_size) * w));
    return std::max(b - a, 4);
}

bool Hex2DGeometry::thumbContains(int x) const
{
    return x >= thumbLeft() && x < thumbLeft() + thumbWidth();
}

void Hex2DGeometry::dragThumbTo(int x)
{
    const double w = std::max(1, plotWidth());
    setCentre(std::clamp(double(x - PlotLeft) / w, 0.0, 1.0));
}

void Hex2DGeometry::pageBy(int direction, double shareOfWindow)
{
    if (m_size <= 0)
        return;
    const double visible = double(visibleEnd() - visibleStart()) / double(m_size);
    setCentre(m_centre + direction * shareOfWindow * visible);
}

void Hex2DGeometry::goToStart()
{
    setCentre(0.5 / m_zoomX);
}

void Hex2DGeometry::goToEnd()
{
    setCentre(1.0 - 0.5 / m_zoomX);
}

void Hex2DGeometry::nudge(int direction)
{
    setCentre(std::clamp(m_centre + direction * 0.012 / m_zoomX, 0.0, 1.0));
}

void Hex2DGeometry::stepPart(int direction)
{
    pageBy(direction, 0.05);
}
