#pragma once

#include "platform/api/workspace.h"

#include <QVariant>

#include <vector>

namespace tillory::platform::nix {

/// One monitor in the global top-left space (Qt's logical coordinates).
struct Monitor {
    Rect frame;
    Rect available;
    bool primary = false;
};

/// The width of the notch-sized place, from the user's "notchWidth" setting (points): 200 when it is missing or
/// not a number, else kept within 120…400.
double notchAreaWidth(const QVariant& setting);

/// A display without a camera housing still gets a notch-sized place for the notch player: `width` wide, centred
/// at the top of `screen`, as tall as the panel reserved along that top edge when there is one, else 32. Sets the
/// inset and the two strips beside it (screen space); a display not wider than that place is left as it is.
void addNotchArea(ScreenInfo& screen, double width = 200);

/// The monitors in screen space (y up), the reference screen first: the one holding the root's origin, else the
/// primary one when its top is the root's top, else the first one whose top is. Its bottom-left corner is
/// screen space's origin, so that flipping against the first screen gives back the X coordinates. `reference`
/// receives the height flipped against. The primary monitor gets the notch area, `notchWidth` wide.
std::vector<ScreenInfo> screenSpace(const std::vector<Monitor>& monitors, double* reference = nullptr,
                                    double notchWidth = 200);

} // namespace tillory::platform::nix
