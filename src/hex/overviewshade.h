#pragma once

#include <QByteArray>

// Colour of one column of the 2D graph's overview scroll bar, as HSV fractions. Columns whose
// bytes are all at the bottom or all at the top of the scale keep the bar's background.
struct OverviewShade
{
    bool background = true;
    double hue = 0.0;
    double saturation = 0.0;
    double value = 0.0;
};

// Shade of column i of a bar of the given width over the whole image: at most 16 samples are
// read per column, so the bar costs the same whatever the image size.
OverviewShade overviewShade(const QByteArray &image, int column, int barWidth, int valueWidth,
                            bool littleEndian);
