#include "mapplotpainter.h"

#include "mapeditor/mapcellappearance.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cmath>
#include <limits>

namespace {

const QColor Background(8, 92, 190, 255);

QPen plotPen(const QColor &colour, double width)
{
    QPen pen(colour, width, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
    return pen;
}

QList<double> physicalValues(const QList<double> &raw, const MapValueScaling &scaling)
{
    QList<double> values;
    values.reserve(raw.size());
    for (double r : raw)
        values.append(scaling.toPhysical(r));
    return values;
}

void drawGrid(QPainter &painter, const QRectF &area, const QPen &pen)
{
    painter.setPen(pen);
    for (int k = 0; k <= 10; ++k) {
        const double x = area.left() + k * area.width() / 10.0;
        painter.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
    }
    for (int k = 0; k <= 8; ++k) {
        const double y = area.top() + k * area.height() / 8.0;
        painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
    }
}

void drawPolyline(QPainter &painter, const QPolygonF &line)
{
    if (line.size() >= 2)
        painter.drawPolyline(line);
}

} // namespace

bool MapPlotScene::isSelected(int row, int column) const
{
    const qint64 k = qint64(row) * layout.columns() + column;
    return k >= 0 && k < selected.size() && selected.at(k);
}

PlotValueRange MapPlotScene::shownRange() const
{
    return PlotValueRange::of(physicalValues(sourceValues(), zScaling));
}

PlotValueRange MapPlotScene::currentRange() const
{
    return PlotValueRange::of(physicalValues(currentValues, zScaling));
}

QList<QPointF> MapPlotScene::linePlotPoints(const QRectF &area) const
{
    const PlotValueRange range = currentRange();
    const qint64 n = layout.cellCount();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    QList<QPointF> points;
    points.reserve(n);
    for (int r = 0; r < layout.rows(); ++r) {
        for (int c = 0; c < layout.columns(); ++c) {
            const qint64 i = layout.index(r, c);
            if (i < currentValues.size())
                points.append(MapPlotGeometry::linePlotPoint(
                    i, n, zScaling.toPhysical(currentValues.at(i)), range, area));
            else
                points.append(QPointF(nan, nan));
        }
    }
    return points;
}

SurfaceGrid MapPlotScene::surfaceGrid(const QRectF &area, bool fromCurrentValues) const
{
    const QList<double> &values = fromCurrentValues ? currentValues : sourceValues();
    const PlotValueRange zRange = fromCurrentValues ? currentRange() : shownRange();
    QList<double> xs;
    xs.reserve(layout.columns());
    for (int k = 0; k < layout.columns(); ++k)
        xs.append(k < xAxisValues.size() ? xAxisValues.at(k) * xFactor + xOffset : double(k));
    QList<double> ys;
    ys.reserve(layout.rows());
    for (int j = 0; j < layout.rows(); ++j)
        ys.append(j < yAxisValues.size() ? yAxisValues.at(j) * yFactor + yOffset : double(j));
    QList<double> zs;
    zs.reserve(layout.cellCount());
    for (int r = 0; r < layout.rows(); ++r) {
        for (int c = 0; c < layout.columns(); ++c) {
            const qint64 i = layout.index(r, c);
            zs.append(i < values.size() ? zScaling.toPhysical(values.at(i)) : 0.0);
        }
    }
    return SurfaceGrid(layout.rows(), layout.columns(), xs, ys, zs, zRange, rotation, tilt, area);
}

namespace MapPlotPainter {

void paintLinePlot(QPainter &painter, const QRect &canvas, const MapPlotScene &scene)
{
    painter.fillRect(canvas, Background);
    const QList<double> &source = scene.sourceValues();
    const QRectF area = MapPlotGeometry::linePlotArea(QRectF(canvas));
    const int rows = scene.layout.rows();
    const int columns = scene.layout.columns();
    if (source.isEmpty() || rows < 1 || columns < 1 || area.width() <= 20 || area.height() <= 20)
        return;

    drawGrid(painter, area, plotPen(QColor(120, 188, 238, 70), 0.8));

    const qint64 n = scene.layout.cellCount();
    const PlotValueRange range = scene.shownRange();
    const MapValueScaling &z = scene.zScaling;
    auto pointOf = [&](qint64 index, double raw) {
        return MapPlotGeometry::linePlotPoint(index, n, z.toPhysical(raw), range, area);
    };
    const QList<double> &current = scene.currentValues;
    const QList<double> &original = scene.originalValues;

    const QPen curvePen = plotPen(QColor(244, 249, 255, 235), 1.05);
    painter.setPen(curvePen);
    for (int r = 0; r < rows; ++r) {
        QPolygonF line;
        for (int c = 0; c < columns; ++c) {
            const qint64 i = scene.layout.index(r, c);
            if (i < source.size())
                line.append(pointOf(i, source.at(i)));
        }
        drawPolyline(painter, line);
    }

    auto direction = [&](qint64 i) {
        if (i >= current.size() || i >= original.size())
            return 0;
        return MapCellAppearance::changeDirection(current.at(i), original.at(i));
    };
    // Segments are gathered per pen and drawn in one call each: thousands of single lines
    // cost far more.
    QList<QLineF> originalLines;
    QList<QLineF> riseLines;
    QList<QLineF> fallLines;
    QList<QLineF> selectedLines;
    for (int r = 0; r < rows; ++r) {
        for (int c = 1; c < columns; ++c) {
            const qint64 a = scene.layout.index(r, c - 1);
            const qint64 b = scene.layout.index(r, c);
            const bool bothCurrent = a < current.size() && b < current.size();
            if (bothCurrent && (scene.isSelected(r, c - 1) || scene.isSelected(r, c)))
                selectedLines.append(QLineF(pointOf(a, current.at(a)), pointOf(b, current.at(b))));
            const int da = direction(a);
            const int db = direction(b);
            if (da == 0 && db == 0)
                continue;
            // Both ends have both values here: a direction needs them.
            if (!bothCurrent || a >= original.size() || b >= original.size())
                continue;
            const int d = db != 0 ? db : da;
            originalLines.append(QLineF(pointOf(a, original.at(a)), pointOf(b, original.at(b))));
            (d > 0 ? riseLines : fallLines)
                .append(QLineF(pointOf(a, current.at(a)), pointOf(b, current.at(b))));
        }
    }
    painter.setPen(plotPen(QColor(244, 249, 255, 235), 1.15));
    painter.drawLines(originalLines);
    painter.setPen(plotPen(QColor(232, 72, 72, 255), 1.75));
    painter.drawLines(riseLines);
    painter.setPen(plotPen(QColor(55, 185, 105, 255), 1.75));
    painter.drawLines(fallLines);
    painter.setPen(plotPen(QColor(255, 191, 71, 255), 2.15));
    painter.drawLines(selectedLines);

    painter.setPen(plotPen(QColor(228, 243, 255, 255), 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(area);

    painter.setPen(QColor(240, 248, 255));
    const double top = area.top();
    const double bottom = area.top() + area.height();
    painter.drawText(QRectF(6, top - 8, 50, 20), Qt::AlignRight | Qt::AlignVCenter,
                     z.text(range.maximum));
    painter.drawText(QRectF(6, bottom - 10, 50, 20), Qt::AlignRight | Qt::AlignVCenter,
                     z.text(range.minimum));
    painter.drawText(QRectF(area.left(), bottom + 3, 130, 22), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("0"));
    painter.drawText(QRectF(area.right() - 130, bottom + 3, 130, 22),
                     Qt::AlignRight | Qt::AlignVCenter, QString::number(n - 1));
    painter.drawText(QRectF(area.left(), bottom + 25, area.width(), 22), Qt::AlignCenter,
                     scene.legend);
}

void paintSurface(QPainter &painter, const QRect &canvas, const MapPlotScene &scene)
{
    painter.fillRect(canvas, Background);
    const QRectF area = MapPlotGeometry::surfacePlotArea(QRectF(canvas));
    if (area.width() <= 40 || area.height() <= 40)
        return;
    drawGrid(painter, area, plotPen(QColor(105, 174, 230, 55), 0.8));

    const int rows = scene.layout.rows();
    const int columns = scene.layout.columns();
    const SurfaceGrid grid = scene.surfaceGrid(area, false);
    const QList<double> &source = scene.sourceValues();
    const QList<double> &current = scene.currentValues;
    const QList<double> &original = scene.originalValues;
    const PlotValueRange range = scene.shownRange();

    if (rows >= 2 && columns >= 2) {
        // Heights of the shown values above the minimum, row-major, computed once.
        QList<double> heights;
        QList<int> directions;
        heights.reserve(scene.layout.cellCount());
        directions.reserve(scene.layout.cellCount());
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < columns; ++c) {
                const qint64 i = scene.layout.index(r, c);
                const double zv = i < source.size() ? scene.zScaling.toPhysical(source.at(i)) : 0.0;
                heights.append(zv - range.minimum);
                directions.append(
                    i < current.size() && i < original.size()
                        ? MapCellAppearance::changeDirection(current.at(i), original.at(i))
                        : 0);
            }
        }
        const QPen heightEdge = plotPen(QColor(212, 235, 255, 210), 0.85);
        const QPen riseEdge = plotPen(QColor(255, 205, 205, 235), 0.85);
        const QPen fallEdge = plotPen(QColor(204, 255, 222, 235), 0.85);
        const QPen selectedEdge = plotPen(QColor(255, 197, 82, 245), 1.45);
        // Brushes made once: a brush built per quad costs an allocation each.
        QList<QBrush> heightBrushes;
        heightBrushes.reserve(72);
        for (int s = 0; s <= 71; ++s) {
            if (s < 1)
                heightBrushes.append(QBrush(QColor(92, 154, 225, 228)));
            else if (s <= 70)
                heightBrushes.append(QBrush(QColor(92 + s, 154 + s, 225 + qMin(s, 30), 228)));
            else
                heightBrushes.append(QBrush(QColor(162, 224, 255, 228)));
        }
        const QBrush riseBrush(QColor(210, 72, 72, 210));
        const QBrush fallBrush(QColor(58, 164, 100, 205));
        QPointF corners[4];
        for (int r = rows - 1; r >= 1; --r) {
            for (int c = 0; c <= columns - 2; ++c) {
                grid.quad(r, c, corners);
                const int k[4] = {(r - 1) * columns + c, (r - 1) * columns + c + 1,
                                  r * columns + c + 1, r * columns + c};
                const double sum
                    = heights.at(k[0]) + heights.at(k[1]) + heights.at(k[2]) + heights.at(k[3]);
                const int s = MapPlotGeometry::heightShade(sum, range.span());
                const QBrush *fill = &heightBrushes.at(qBound(0, s, 71));
                const QPen *edge = &heightEdge;
                const int d = directions.at(k[0]) + directions.at(k[1]) + directions.at(k[2])
                              + directions.at(k[3]);
                if (d >= 1) {
                    fill = &riseBrush;
                    edge = &riseEdge;
                } else if (d <= -1) {
                    fill = &fallBrush;
                    edge = &fallEdge;
                }
                const bool selected = scene.isSelected(r - 1, c) || scene.isSelected(r - 1, c + 1)
                                      || scene.isSelected(r, c + 1) || scene.isSelected(r, c);
                if (selected) {
                    const QColor base = fill->color();
                    painter.setPen(selectedEdge);
                    painter.setBrush(QColor(qMin(base.red() + 28, 255),
                                            qMin(base.green() + 18, 255), qMax(base.blue() - 20, 0),
                                            232));
                } else {
                    painter.setPen(*edge);
                    painter.setBrush(*fill);
                }
                // The fill needs no antialiasing of its own: the antialiased edge drawn on
                // top covers its boundary, and skipping it keeps a 64 x 64 surface inside a
                // frame's time.
                painter.setPen(Qt::NoPen);
                painter.setRenderHint(QPainter::Antialiasing, false);
                painter.drawPolygon(corners, 4, Qt::OddEvenFill);
                painter.setRenderHint(QPainter::Antialiasing, true);
                painter.setPen(selected ? selectedEdge : *edge);
                painter.setBrush(Qt::NoBrush);
                painter.drawPolygon(corners, 4, Qt::OddEvenFill);
            }
        }
    }

    painter.setBrush(Qt::NoBrush);
    painter.setPen(plotPen(QColor(232, 245, 255, 225), 1.0));
    for (int r = 0; r < rows; ++r) {
        QPolygonF line;
        for (int c = 0; c < columns; ++c)
            line.append(grid.point(r, c));
        drawPolyline(painter, line);
    }
    painter.setPen(plotPen(QColor(220, 239, 255, 205), 0.9));
    for (int c = 0; c < columns; ++c) {
        QPolygonF line;
        for (int r = 0; r < rows; ++r)
            line.append(grid.point(r, c));
        drawPolyline(painter, line);
    }
    if (rows >= 1) {
        painter.setPen(plotPen(QColor(250, 253, 255, 245), 1.45));
        QPolygonF line;
        for (int c = 0; c < columns; ++c)
            line.append(grid.point(0, c));
        drawPolyline(painter, line);
    }

    painter.setPen(QColor(242, 249, 255));
    const QString title
        = scene.title.trimmed().isEmpty() ? QStringLiteral("3D") : scene.title.trimmed();
    painter.drawText(QRectF(area.left(), 2, area.width(), 24), Qt::AlignCenter, title);
}

} // namespace MapPlotPainter
