#include "hex/overviewshade.h"

#include "hex/samplesummary.h"

#include <algorithm>
#include <cmath>

OverviewShade overviewShade(const QByteArray &image, int column, int barWidth, int valueWidth,
                            bool littleEndian)
{
    OverviewShade shade;
    const SampleFormat format{valueWidth == 4 ? 4 : valueWidth == 2 ? 2 : 1, littleEndian, false};
    const qint64 n = sampleCount(image.size(), format);
    if (n <= 0 || barWidth < 1)
        return shade;
    const double w = barWidth;
    const qint64 a = std::clamp<qint64>(qint64(std::floor(column / w * n)), 0, n - 1);
    const qint64 b = std::min(std::max<qint64>(qint64(std::floor((column + 1) / w * n)), a + 1), n);
    const qint64 step = b - a < 32 ? 1 : (b - a) / 16;
    const double scale = format.fullScale();
    double lo = scale, hi = 0.0, sum = 0.0;
    int count = 0;
    for (qint64 i = a; i < b && count < 32; i += step, ++count) {
        const double v = sampleValue(image.constData(), i, format);
        lo = std::min(lo, v);
        hi = std::max(hi, v);
        sum += v;
    }
    if (count == 0 || hi == 0.0 || lo == scale)
        return shade;
    const double range = (hi - lo) / scale;
    const double average = sum / count / scale;
    const double activity = std::clamp(0.35 * average + 0.65 * range, 0.0, 1.0);
    shade.background = false;
    shade.hue = (1.0 - std::pow(activity, 0.72)) * 0.72;
    shade.saturation = std::min(1.0, 0.82 + 0.18 * range);
    shade.value = std::min(1.0, 0.88 + 0.12 * range);
    return shade;
}
