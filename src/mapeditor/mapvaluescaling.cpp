#include "mapvaluescaling.h"

#include "model/mapdefinition.h"

double MapValueScaling::toPhysical(double raw) const
{
    const double v = rawToPhysical(raw, factor, offset);
    if (reciprocal && v != 0.0)
        return 1.0 / v;
    return v;
}

double MapValueScaling::toRaw(double value, const ValueType &type) const
{
    if (reciprocal && value != 0.0)
        value = 1.0 / value;
    return physicalToRaw(value, factor, offset, type.organisation, type.kind);
}

QString MapValueScaling::text(double physical) const
{
    return formatPhysical(physical, decimals);
}
