#include "mapvaluescaling.h"

#include "model/mapdefinition.h"

double MapValueScaling::toPhysical(quint16 raw) const
{
    const double v = rawToPhysical(raw, factor, offset);
    if (reciprocal && v != 0.0)
        return 1.0 / v;
    return v;
}

quint16 MapValueScaling::toRaw(double value, quint16 maximumRaw) const
{
    if (reciprocal && value != 0.0)
        value = 1.0 / value;
    return qMin(physicalToRaw(value, factor, offset), maximumRaw);
}

QString MapValueScaling::text(double physical) const
{
    return formatPhysical(physical, decimals);
}
