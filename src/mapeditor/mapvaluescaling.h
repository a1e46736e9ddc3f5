#pragma once

#include <QString>

// How a map window turns raw 16-bit values into the numbers it shows and back. On top of the
// map definition's rule (raw × factor + offset) a window may show the reciprocal.
struct MapValueScaling
{
    double factor = 1.0;
    double offset = 0.0;
    int decimals = 0;
    bool reciprocal = false;

    double toPhysical(quint16 raw) const;
    // Rounded half away from zero and clamped to 0..maximumRaw; a zero factor gives 0.
    quint16 toRaw(double value, quint16 maximumRaw = 65535) const;
    QString text(double physical) const;
    QString rawText(quint16 raw) const { return text(toPhysical(raw)); }
};
