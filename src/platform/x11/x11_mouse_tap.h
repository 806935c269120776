#pragma once

#include "platform/api/event_taps.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace tillory::platform::nix {

/// X has no click count; this counts presses the way a double click is recognised: a press within the
/// double-click interval of the previous one and less than 8 points from it counts one more, any other press 1.
class ClickCounter {
public:
    /// `time`: server milliseconds (wrapping); `location`: points; `intervalMs`: the double-click interval.
    int press(std::uint32_t time, Point location, int intervalMs);

private:
    struct Last {
        std::uint32_t time;
        Point location;
        int count;
    };
    std::optional<Last> last_;
};

/// A tap of left-button presses (1), releases (2) and drags (6) on X11, for a mask that is a non-empty subset of
/// those; nothing for other masks (a tap of keys and the mouse together is not offered) or without XInput 2.
///
/// It observes without grabbing, so events reach their windows first and the tap cannot swallow or change them
/// (`swallowsEvents` is false). The callback runs on the main thread, shortly after the event, with the location
/// of the pointer when the batch it came in was read (global top-left space, points), the modifier flags held then,
/// and the counted click state of the last press. While the left button is down, movements come as one dragged
/// event per batch, in between the press and the release; with the button up, nothing at all is watched but
/// the presses. A release that never arrives (another client grabbed the pointer) is made up as soon as the button
/// is seen up. Destroying the tap stops it at once, also from inside its callback.
std::unique_ptr<EventTap> createMouseTap(std::uint64_t mask, EventCallback callback);

} // namespace tillory::platform::nix
