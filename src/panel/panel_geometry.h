#pragma once

#include "platform/api/geometry.h"

#include <optional>

namespace tillory::panel {

/// Where the tray panel is asked to open. Global top-left space (y down), in points.
struct PanelAnchor {
    /// The tray icon's rectangle where the tray reports one (some hosts report nothing or an empty rectangle).
    std::optional<platform::Rect> icon;
    /// The pointer, standing in for the icon when there is no rectangle.
    platform::Point pointer;
    /// The usable area of the screen holding the icon or the pointer.
    platform::Rect visibleFrame;
};

inline constexpr double kPanelWidth = 324;
inline constexpr double kPanelHeight = 640;
/// The shortest the panel is made to fit beside its icon on a small screen.
inline constexpr double kPanelMinHeight = 160;
/// Between the tray icon and the panel.
inline constexpr double kPanelGap = 6;
/// The panel keeps at least this much from the screen's left and right edges.
inline constexpr double kPanelEdgeInset = 8;

/// The panel's frame: centred on the icon, hanging below it, above it when the screen has no room below (trays at
/// the bottom), shortened to the roomier side when neither has room, and kept inside both side edges of the
/// screen. Global top-left space.
platform::Rect panelFrame(const PanelAnchor& anchor);

} // namespace tillory::panel
