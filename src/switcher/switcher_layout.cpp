#include "switcher/switcher_layout.h"

#include <algorithm>
#include <cmath>

namespace tillory::switcher {
namespace {

/// How many of `extent`-sized items separated by `spacing` fit in `room`; at least one.
int fitting(double room, double extent, double spacing) {
    if (!(room > 0)) {
        return 1;
    }
    return std::max(1, static_cast<int>(std::floor((room + spacing) / (extent + spacing))));
}

double span(int n, double extent, double spacing) {
    return n > 0 ? n * extent + (n - 1) * spacing : 0;
}

} // namespace

SwitcherLayout SwitcherLayout::make(int count, int selected, platform::Size display, bool showsHint,
                                    int previousFirstRow) {
    SwitcherLayout l;
    const double chrome = 2 * kCardPadding;
    const double hint = showsHint ? kCardSpacing + kHintHeight : 0;
    // Seven tiles are about 1,390 points wide: narrower displays get fewer columns, never one off screen.
    const int fitColumns = fitting(display.width - 2 * kDisplayMargin - chrome, kTileWidth, kGridSpacing);
    l.columns = std::min({std::max(count, 1), kMaxColumns, fitColumns});
    l.rows = count > 0 ? (count + l.columns - 1) / l.columns : 0;
    const int fitRows = fitting(display.height - 2 * kDisplayMargin - chrome - hint, kTileHeight, kGridSpacing);
    l.visibleRows = std::min(l.rows, fitRows);
    const int selectedRow = count > 0 ? std::clamp(selected, 0, count - 1) / l.columns : 0;
    int first = std::clamp(previousFirstRow, selectedRow - l.visibleRows + 1, selectedRow);
    l.firstVisibleRow = std::clamp(first, 0, std::max(0, l.rows - l.visibleRows));
    l.cardWidth = span(l.columns, kTileWidth, kGridSpacing) + chrome;
    l.cardHeight = span(l.visibleRows, kTileHeight, kGridSpacing) + chrome + hint;
    return l;
}

} // namespace tillory::switcher
