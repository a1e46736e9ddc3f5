#include "databasepanelwidths.h"

#include <algorithm>

std::pair<int, int> DatabasePanelWidths::reopened(int rememberedWidth, int total)
{
    total = std::max(total, 0);
    int panel
        = std::min(std::max(rememberedWidth, MinimumReopenedWidth), total - DocumentAreaReserve);
    // In a window narrower than the reserve the panel gets nothing rather than a negative size.
    panel = std::max(panel, 0);
    return {panel, total - panel};
}
