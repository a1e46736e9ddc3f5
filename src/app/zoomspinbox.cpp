#include "zoomspinbox.h"

int ZoomSpinBox::steppedValue(int value, int steps, int minimum, int maximum)
{
    qint64 v = value;
    for (; steps > 0; --steps)
        v = qMin<qint64>(v * 2, qint64(maximum));
    for (; steps < 0; ++steps)
        v /= 2;
    return int(qBound<qint64>(minimum, v, qint64(maximum)));
}

void ZoomSpinBox::stepBy(int steps)
{
    setValue(steppedValue(value(), steps, minimum(), maximum()));
}
