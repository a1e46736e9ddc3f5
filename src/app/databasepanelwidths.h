#pragma once

#include <utility>

// Splitter arithmetic of the "Database" panel, kept apart from the window so it can be
// checked without one.
class DatabasePanelWidths
{
public:
    static constexpr int MinimumReopenedWidth = 180;
    // Room always left to the document area when the panel comes back.
    static constexpr int DocumentAreaReserve = 100;

    // Panel and document-area sizes when the panel is reopened in a splitter whose two
    // sizes add up to total.
    static std::pair<int, int> reopened(int rememberedWidth, int total);
};
