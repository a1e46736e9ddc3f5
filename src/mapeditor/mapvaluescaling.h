#pragma once

#include "model/mapdefinition.h"

#include <QString>

// How a map window turns raw values into the numbers it shows and back. On top of the
// map definition's rule (raw × factor + offset) a window may show the reciprocal.
struct MapValueScaling
{
    double factor = 1.0;
    double offset = 0.0;
    int decimals = 0;
    bool reciprocal = false;

    double toPhysical(double raw) const;
    // The raw value of the type nearest to value (clampRaw); a zero factor gives 0.
    double toRaw(double value, const ValueType &type) const;
    QString text(double physical) const;
    QString rawText(double raw) const { return text(toPhysical(raw)); }
};
