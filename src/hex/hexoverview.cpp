#include "hexoverview.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace HexOverview {

QColor rowColor(const QByteArray &data, int row, int height)
{
    const qint64 n = data.size();
    const int h = std::max(height, 1);
    if (n <= 0)
        return {};
    const qint64 a = std::clamp<qint64>(qint64(double(row) / h * n), 0, n - 1);
    const qint64 b = std::min<qint64>(std::max<qint64>(qint64(double(row + 1) / h * n), a + 1), n);
    const auto *bytes = reinterpret_cast<const uchar *>(data.constData());
    int minimum = 255;
    int maximum = 0;
    qint64 sum = 0;
    int count = 0;
    auto take = [&](qint64 o) {
        const int v = bytes[o];
        minimum = std::min(minimum, v);
        maximum = std::max(maximum, v);
        sum += v;
        ++count;
    };
    if (b - a < 32) {
        for (qint64 o = a; o < b; ++o)
            take(o);
    } else {
        const qint64 step = (b - a) / 16;
        for (int k = 0; k < 16; ++k)
            take(a + k * step);
    }
    if ((minimum == 0 && maximum == 0) || (minimum == 255 && maximum == 255))
        return {};
    const double average = double(sum) / count;
    const double range = (maximum - minimum) / 255.0;
    const double activity = std::clamp(0.35 * average / 255.0 + 0.65 * range, 0.0, 1.0);
    const double hue = (1.0 - std::pow(activity, 0.72)) * 0.72;
    return QColor::fromHsvF(float(hue), float(std::min(1.0, 0.82 + 0.18 * range)),
                            float(std::min(1.0, 0.88 + 0.12 * range)), 1.0f);
}

void paintStrip(QPainter &painter, const QRect &strip, const QByteArray &data)
{
    if (strip.isEmpty() || data.isEmpty())
        return;
    painter.fillRect(strip, QColor(240, 240, 240));
    const int height = std::max(strip.height(), 1);
    for (int i = 0; i < strip.height(); ++i) {
        const QColor c = rowColor(data, i, height);
        if (!c.isValid())
            continue;
        painter.setPen(c);
        painter.drawLine(strip.left(), strip.top() + i, strip.right(), strip.top() + i);
    }
}

} // namespace HexOverview
