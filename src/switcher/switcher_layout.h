#pragma once

#include "platform/api/geometry.h"

namespace tillory::switcher {

/// Where the switcher's tiles go on a display: how many per row, which rows show and how big the card is. The
/// card is centred on the display by the view. Sizes in points.
struct SwitcherLayout {
    static constexpr double kPreviewWidth = 178;
    static constexpr double kPreviewHeight = 111;
    static constexpr double kTilePadding = 6;
    static constexpr double kTileSpacing = 5; // between preview and title
    static constexpr double kTitleHeight = 16;
    static constexpr double kTitleWidth = 174;
    static constexpr double kGridSpacing = 6;
    static constexpr double kCardPadding = 12;
    static constexpr double kCardSpacing = 8; // between grid and hint
    static constexpr double kHintHeight = 16;
    /// Kept free between the card and the display's edges, so a selected tile's 1.03 scale stays on screen.
    static constexpr double kDisplayMargin = 24;
    static constexpr int kMaxColumns = 7;

    /// Between the preview box and the picture in it.
    static constexpr double kThumbnailInset = 3;

    static constexpr double kTileWidth = kPreviewWidth + 2 * kTilePadding;
    static constexpr double kTileHeight = kPreviewHeight + kTileSpacing + kTitleHeight + 2 * kTilePadding;

    int columns = 1;
    int rows = 0;
    /// The rows drawn: `visibleRows` of them from `firstVisibleRow`; the selected tile's row is always among them.
    int firstVisibleRow = 0;
    int visibleRows = 0;
    double cardWidth = 0;
    double cardHeight = 0;

    /// Rows cut off above or below the ones shown.
    bool moreAbove() const { return firstVisibleRow > 0; }
    bool moreBelow() const { return firstVisibleRow + visibleRows < rows; }

    /// The layout for `count` tiles with `selected` highlighted on a display of `display` size. `previousFirstRow`
    /// is the first row shown before, so that moving the highlight scrolls only as far as needed.
    static SwitcherLayout make(int count, int selected, platform::Size display, bool showsHint, int previousFirstRow);

    friend bool operator==(const SwitcherLayout&, const SwitcherLayout&) = default;
};

} // namespace tillory::switcher
