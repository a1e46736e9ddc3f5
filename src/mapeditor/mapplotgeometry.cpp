#include "mapplotgeometry.h"

#include <cmath>
#include <limits>

PlotValueRange PlotValueRange::of(const QList<double> &values)
{
    PlotValueRange range;
    if (values.isEmpty())
        return range;
    range.minimum = values.constFirst();
    range.maximum = values.constFirst();
    for (double v : values) {
        range.minimum = qMin(range.minimum, v);
        range.maximum = qMax(range.maximum, v);
    }
    if (std::fabs(range.maximum - range.minimum) * 1e12
        <= qMin(std::fabs(range.minimum), std::fabs(range.maximum)))
        range.maximum = range.minimum + 1.0;
    return range;
}

double PlotValueRange::normalised(double value) const
{
    const double s = span();
    if (!(s > 0.0))
        return 0.0;
    return qBound(0.0, (value - minimum) / s, 1.0);
}

namespace MapPlotGeometry {

bool isDragMovement(const QPoint &press, const QPoint &current)
{
    return std::abs(current.x() - press.x()) >= 4 || std::abs(current.y() - press.y()) >= 4;
}

QRectF linePlotArea(const QRectF &canvas)
{
    return canvas.adjusted(62, 28, -24, -52);
}

QRectF surfacePlotArea(const QRectF &canvas)
{
    return canvas.adjusted(42, 28, -34, -42);
}

QPointF linePlotPoint(
    qint64 index, qint64 count, double value, const PlotValueRange &range, const QRectF &area)
{
    double f = 0.0;
    if (count > 1)
        f = qBound(0.0, double(index) / double(count - 1), 1.0);
    const double g = range.normalised(value);
    return QPointF(area.left() + f * area.width(), area.top() + area.height() - g * area.height());
}

QPointF rotated(double u, double v, int rotation)
{
    switch (((rotation % 4) + 4) % 4) {
    case 1:
        return QPointF(v, 1.0 - u);
    case 2:
        return QPointF(1.0 - u, 1.0 - v);
    case 3:
        return QPointF(1.0 - v, u);
    default:
        return QPointF(u, v);
    }
}

QPointF surfacePoint(double u, double v, double w, int rotation, int tilt, const QRectF &area)
{
    const QPointF r = rotated(u, v, rotation);
    const double t = tilt;
    const double sx = 0.68 * r.x() + 0.08 + 0.2 * r.y();
    const double sy = 0.8 - (0.025 * t + 0.28) * r.y() + 0.08 * r.x() - (0.035 * t + 0.48) * w;
    return QPointF(area.left() + sx * area.width(), area.top() + sy * area.height());
}

int heightShade(double sumAboveMinimum, double span)
{
    if (!(span > 0.0))
        return 0;
    const double s = std::round(70.0 * sumAboveMinimum / (4.0 * span));
    if (!(s >= 0.0))
        return 0;
    return int(qMin(s, 71.0));
}

bool polygonContains(const QPointF *points, int count, const QPointF &p)
{
    bool inside = false;
    for (int i = 0, j = count - 1; i < count; j = i++) {
        const QPointF &a = points[i];
        const QPointF &b = points[j];
        if ((a.y() > p.y()) != (b.y() > p.y())) {
            const double x = (b.x() - a.x()) * (p.y() - a.y()) / (b.y() - a.y()) + a.x();
            if (p.x() < x)
                inside = !inside;
        }
    }
    return inside;
}

int nearestPoint(const QList<QPointF> &points,
                 const QPointF &p,
                 double maximumSquaredDistance,
                 double *squaredDistance)
{
    int best = -1;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (int i = 0; i < points.size(); ++i) {
        const QPointF &q = points.at(i);
        if (std::isnan(q.x()))
            continue;
        const double dx = q.x() - p.x();
        const double dy = q.y() - p.y();
        const double d = dx * dx + dy * dy;
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    if (squaredDistance)
        *squaredDistance = bestDistance;
    return bestDistance <= maximumSquaredDistance ? best : -1;
}

QRectF selectionRectangle(const QRectF &band, const QRectF &area)
{
    const QRectF r = band.normalized().intersected(area);
    if (r.width() < 2.0 || r.height() < 2.0)
        return QRectF();
    return r;
}

QList<int> pointsInside(const QList<QPointF> &points, const QRectF &rectangle)
{
    QList<int> inside;
    if (rectangle.isEmpty())
        return inside;
    for (int i = 0; i < points.size(); ++i) {
        const QPointF &q = points.at(i);
        if (!std::isnan(q.x()) && rectangle.contains(q))
            inside.append(i);
    }
    return inside;
}

} // namespace MapPlotGeometry

SurfaceGrid::SurfaceGrid(int rows,
                         int columns,
                         const QList<double> &xPositions,
                         const QList<double> &yPositions,
                         const QList<double> &zValues,
                         const PlotValueRange &zRange,
                         int rotation,
                         int tilt,
                         const QRectF &area)
    : m_rows(qMax(rows, 0))
    , m_columns(qMax(columns, 0))
{
    const PlotValueRange xRange = PlotValueRange::of(xPositions);
    const PlotValueRange yRange = PlotValueRange::of(yPositions);
    m_points.reserve(qint64(m_rows) * m_columns);
    for (int r = 0; r < m_rows; ++r) {
        const double v = yRange.normalised(r < yPositions.size() ? yPositions.at(r) : r);
        for (int c = 0; c < m_columns; ++c) {
            const double u = xRange.normalised(c < xPositions.size() ? xPositions.at(c) : c);
            const qint64 k = qint64(r) * m_columns + c;
            const double w = zRange.normalised(k < zValues.size() ? zValues.at(k) : 0.0);
            m_points.append(MapPlotGeometry::surfacePoint(u, v, w, rotation, tilt, area));
        }
    }
}

void SurfaceGrid::quad(int row, int column, QPointF corners[4]) const
{
    corners[0] = point(row - 1, column);
    corners[1] = point(row - 1, column + 1);
    corners[2] = point(row, column + 1);
    corners[3] = point(row, column);
}

int SurfaceGrid::hitTest(const QPointF &click) const
{
    double distance = 0.0;
    const int nearest = MapPlotGeometry::nearestPoint(
        m_points, click, std::numeric_limits<double>::infinity(), &distance);
    if (nearest < 0)
        return -1;
    if (m_rows >= 2 && m_columns >= 2) {
        QPointF corners[4];
        for (int r = m_rows - 1; r >= 1; --r) {
            for (int c = 0; c <= m_columns - 2; ++c) {
                quad(r, c, corners);
                if (MapPlotGeometry::polygonContains(corners, 4, click))
                    return nearest;
            }
        }
    }
    return distance <= MapPlotGeometry::SurfaceClickRadiusSquared ? nearest : -1;
}
