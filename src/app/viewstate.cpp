#include "viewstate.h"

#include <algorithm>

namespace ViewState {

QString widthActionName(bool floatMode, int widthMode)
{
    if (floatMode)
        return QStringLiteral("widthFloatAction");
    static const char *const names[] = {"width8Action", "width16Action", "width32Action"};
    return QString::fromLatin1(names[std::clamp(widthMode, 0, 2)]);
}

int steppedRowOrigin(int origin, int direction, int cellBytes)
{
    if (direction == 0)
        return origin;
    const int cell = std::max(1, cellBytes);
    const int step = std::max(2, cell);
    const int moved = origin + (direction < 0 ? -step : step);
    return moved - moved % cell;
}

} // namespace ViewState
