#pragma once

#include "mapeditor/mapcelllayout.h"
#include "mapeditor/mapplotgeometry.h"
#include "mapeditor/mapvaluescaling.h"

#include <QList>
#include <QString>

class QPainter;

// What the plots of a map window read from it at one moment.
struct MapPlotScene
{
    MapCellLayout layout;
    QList<double> currentValues;
    QList<double> originalValues;
    bool showOriginal = false;
    MapValueScaling zScaling;
    QList<double> xAxisValues;
    QList<double> yAxisValues;
    double xFactor = 1.0;
    double xOffset = 0.0;
    double yFactor = 1.0;
    double yOffset = 0.0;
    int rotation = 0;
    int tilt = 0;
    // One flag per cell, row-major: the cell is selected in the table.
    QList<bool> selected;
    QString title;
    QString legend;

    const QList<double> &sourceValues() const
    {
        return showOriginal ? originalValues : currentValues;
    }
    bool isSelected(int row, int column) const;
    // The Z range of the drawings (over the shown list) and of the hit tests (current list).
    PlotValueRange shownRange() const;
    PlotValueRange currentRange() const;
    // Where the cells' current values are plotted: NaN for a cell without a value.
    QList<QPointF> linePlotPoints(const QRectF &area) const;
    SurfaceGrid surfaceGrid(const QRectF &area, bool fromCurrentValues) const;
};

// The line plot ("2D") and the shaded surface ("3D") of a map window.
namespace MapPlotPainter {
void paintLinePlot(QPainter &painter, const QRect &canvas, const MapPlotScene &scene);
void paintSurface(QPainter &painter, const QRect &canvas, const MapPlotScene &scene);
} // namespace MapPlotPainter
