#include "mapcellappearance.h"

#include "model/mapdefinition.h"

#include <cmath>

namespace MapCellAppearance {

QString percentText(double current, double original)
{
    if (std::fabs(original) < 1e-9)
        return std::fabs(current) < 1e-9 ? QStringLiteral("0.0%") : QStringLiteral("--");
    double p = (current - original) / std::fabs(original) * 100.0;
    if (std::fabs(p) < 5e-5)
        p = 0.0; // no "-0.0%"
    return QString::number(p, 'f', 1) + QLatin1Char('%');
}

QString otherSideText(OtherSideView view, double own, double other, int decimals)
{
    if (view == OtherSideView::None)
        return {};
    if (own == other)
        return QStringLiteral("[=]");
    QString text;
    switch (view) {
    case OtherSideView::Values:
        text = formatPhysical(other, decimals);
        break;
    case OtherSideView::Difference:
        text = (own > other ? QStringLiteral("+") : QString())
               + formatPhysical(own - other, decimals);
        break;
    default:
        text = percentText(own, other);
        if (!text.startsWith(u'-') && text != QLatin1String("--"))
            text.prepend(u'+');
        break;
    }
    return u'[' + text + u']';
}

double heatHue(double raw, double minimum, double maximum)
{
    if (minimum >= maximum)
        return -1.0;
    const double t = (raw - minimum) / (maximum - minimum);
    if (t <= 0.08)
        return -1.0;
    const double u = qMin((t - 0.08) / 0.92, 1.0);
    return (1.0 - u) * 120.0 / 360.0;
}

} // namespace MapCellAppearance
