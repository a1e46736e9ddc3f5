#pragma once

#include <QString>

// What a map table cell looks like in the percent and colour modes; the widget only turns
// these answers into brushes.
namespace MapCellAppearance {

// The change of a physical value against its original: one decimal followed by "%",
// "0.0%" for an unchanged zero and "--" when a zero original makes the ratio meaningless.
QString percentText(double current, double original);

// What a cell shows beside its own value when the map is compared with another image.
enum class OtherSideView { None, Values, Difference, Percent };
// "" for None, else the other side's value, own - other, or the percent change from other,
// shown as "[...]" after the cell's own text; unchanged cells show "[=]".
QString otherSideText(OtherSideView view, double own, double other, int decimals);

// Heat-map hue (0..1/3, green at the threshold, red at the top) of a raw value within the
// raw range of the shown values; negative when the cell keeps no background (flat range, or
// the lowest 8 % of the range).
double heatHue(double raw, double minimum, double maximum);
constexpr double HeatSaturation = 0.72;
constexpr double HeatValue = 0.96;
constexpr double HeatAlpha = 0.58;

// +1 when the value rose against the original, -1 when it fell, 0 when equal.
inline int changeDirection(double current, double original)
{
    return current > original ? 1 : (current < original ? -1 : 0);
}

} // namespace MapCellAppearance
