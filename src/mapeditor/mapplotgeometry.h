#pragma once

#include <QList>
#include <QPoint>
#include <QPointF>
#include <QRectF>

// The arithmetic behind the map window's line plot and surface: value ranges, plot areas,
// the projection of the surface and the hit tests of clicks and rubber-band rectangles.
// Plain functions so that every rule is tested without painting.

struct PlotValueRange
{
    double minimum = 0.0;
    double maximum = 1.0;
    double span() const { return maximum - minimum; }
    // 0..1 for no values; a flat list gets a span of exactly 1 above its minimum.
    static PlotValueRange of(const QList<double> &values);
    // (value - minimum) / span, clamped to 0..1.
    double normalised(double value) const;
};

namespace MapPlotGeometry {

// A press becomes a drag once the pointer is 4 pixels away from it in x or y.
bool isDragMovement(const QPoint &press, const QPoint &current);

QRectF linePlotArea(const QRectF &canvas);
QRectF surfacePlotArea(const QRectF &canvas);

// The 2D plot: storage index along x, value up.
QPointF linePlotPoint(
    qint64 index, qint64 count, double value, const PlotValueRange &range, const QRectF &area);

// Quarter turns of the unit square the surface stands on.
QPointF rotated(double u, double v, int rotation);
// Unit coordinates (u along X, v along Y, w up) to a screen point of the surface plot.
QPointF surfacePoint(double u, double v, double w, int rotation, int tilt, const QRectF &area);

// Brightness step 0..71 of a quad from the sum of its four corners' heights above the minimum.
int heightShade(double sumAboveMinimum, double span);

// Odd-even rule, as the quads are filled.
bool polygonContains(const QPointF *points, int count, const QPointF &p);

// Index of the point nearest to p (first found wins ties); NaN points are skipped. -1 when
// none is within maximumSquaredDistance.
int nearestPoint(const QList<QPointF> &points,
                 const QPointF &p,
                 double maximumSquaredDistance,
                 double *squaredDistance = nullptr);

// The rubber band clipped to the plot area; empty when narrower or lower than 2 pixels.
QRectF selectionRectangle(const QRectF &band, const QRectF &area);
// Indices of the (non-NaN) points inside a rectangle, in list order.
QList<int> pointsInside(const QList<QPointF> &points, const QRectF &rectangle);

constexpr double LinePlotClickRadiusSquared = 676.0;
constexpr double SurfaceClickRadiusSquared = 1764.0;

} // namespace MapPlotGeometry

// The projected grid of a surface plot: one point per cell, row-major.
class SurfaceGrid
{
public:
    // xPositions has one physical position per column, yPositions one per row; zValues one
    // physical value per cell, row-major (0 where a cell has none).
    SurfaceGrid(int rows,
                int columns,
                const QList<double> &xPositions,
                const QList<double> &yPositions,
                const QList<double> &zValues,
                const PlotValueRange &zRange,
                int rotation,
                int tilt,
                const QRectF &area);

    int rows() const { return m_rows; }
    int columns() const { return m_columns; }
    QPointF point(int row, int column) const { return m_points.at(row * m_columns + column); }
    const QList<QPointF> &points() const { return m_points; }
    // The four corners of the quad whose top-left corner is (row - 1, column), in drawing order.
    void quad(int row, int column, QPointF corners[4]) const;

    // The cell (row * columns + column) a click picks: the nearest grid point when the click
    // falls on a quad or within 42 pixels of it; -1 otherwise.
    int hitTest(const QPointF &click) const;

private:
    int m_rows;
    int m_columns;
    QList<QPointF> m_points;
};
