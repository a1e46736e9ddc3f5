#pragma once

#include <QByteArray>
#include <QColor>
#include <QRect>

class QPainter;

// The overview strip drawn in the hex view's vertical scroll bar: one line per pixel row,
// coloured after the bytes that row stands for (how high and how varied they are).
namespace HexOverview {

// The colour of pixel row i of a strip `height` rows high over `data`; invalid (QColor())
// where the row keeps the background (bytes all 0x00 or all 0xFF).
QColor rowColor(const QByteArray &data, int row, int height);
void paintStrip(QPainter &painter, const QRect &strip, const QByteArray &data);

} // namespace HexOverview
