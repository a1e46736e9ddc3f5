#pragma once

#include <QRect>
#include <QtGlobal>

// The window arithmetic of the 2D graph: which part of the image is visible, where it lies
// in the widget and how zoom, pan and the view's own scroll bar move it. No painting here,
// so every decision can be checked without a window.
class Hex2DGeometry
{
public:
    static constexpr int PlotLeft = 65;
    static constexpr int PlotTop = 28;
    static constexpr double MinZoomX = 1.0;
    static constexpr double MaxZoomX = 100000.0;
    static constexpr double MinUserZoomX = 0.25;
    static constexpr double MaxUserZoomX = 64.0;
    static constexpr double MinZoomY = 0.1;
    static constexpr double MaxZoomY = 20.0;
    static constexpr double MaxUserZoomY = 10.0;
    static constexpr double WheelFactor = 1.35;

    // About 4096 bytes are visible at the base zoom.
    static double baseZoomFor(qint64 imageSize);

    // Resets the window: centre 0.5, user zoom 1, zoomY 1, zoomX = base zoom.
    void setImageSize(qint64 size);
    qint64 imageSize() const { return m_size; }
    void setWidgetSize(int width, int height);
    int width() const { return m_width; }
    int height() const { return m_height; }

    double baseZoom() const { return baseZoomFor(m_size); }
    double zoomX() const { return m_zoomX; }
    double zoomY() const { return m_zoomY; }
    double userZoomX() const { return m_userZoomX; }
    double centre() const { return m_centre; }

    void setZoomX(double zoom);
    void setUserZoomX(double factor);
    void setUserZoomY(double factor);
    void setZoomY(double zoom);
    void setCentre(double centre);
    void centerOnOffset(qint64 offset);

    // Half of the visible fraction of the image.
    double half() const { return 0.5 / m_zoomX; }
    qint64 visibleStart() const;
    qint64 visibleEnd() const;
    // The offset reported with the range signals.
    qint64 centreOffset() const;

    int plotWidth() const { return m_width - 76; }
    bool hasPlot() const { return m_width - 76 >= 11 && m_height - 97 >= 11; }
    QRect plotRect() const;
    QRect scrollBarRect() const;
    // Byte offset under pixel column x of the plot; -1 for an empty image.
    qint64 offsetAtX(int x) const;
    // Pixel column of the plot where offset lies (may be outside the plot).
    double xOfOffset(double offset) const;

    // Positive steps zoom in; the image position under x stays under x.
    void wheelZoom(int steps, int x);
    void pan(int dx);

    // The scroll bar's thumb: left pixel and width.
    int thumbLeft() const;
    int thumbWidth() const;
    bool thumbContains(int x) const;
    void dragThumbTo(int x);
    // Moves by the given share of the visible fraction; direction -1 or +1.
    void pageBy(int direction, double shareOfWindow);

    // Navigation buttons of the document window.
    void goToStart();
    void goToEnd();
    void nudge(int direction);
    void stepPart(int direction);

private:
    void clampCentre();

    qint64 m_size = 0;
    int m_width = 0;
    int m_height = 0;
    double m_zoomX = 1.0;
    double m_userZoomX = 1.0;
    double m_zoomY = 1.0;
    double m_centre = 0.5;
};
