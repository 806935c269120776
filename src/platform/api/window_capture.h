#pragma once

#include "platform/api/bitmap.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace tillory::platform {

/// One window to capture: its window number (as the window list reports it) and the box the image must fit, in
/// pixels (each at least 1). The whole window is scaled to fit inside the box keeping its own shape, so one side
/// of the image may come out shorter; whether or not it is covered, minimised or on another workspace, as far as
/// the platform can still draw it.
struct CaptureRequest {
    std::uint32_t window = 0;
    int width = 1;
    int height = 1;
    friend bool operator==(const CaptureRequest&, const CaptureRequest&) = default;
};

/// Screenshots of single windows, taken off the main thread. Whether the user allows it at all is
/// `ScreenCapture::hasAccess()`.
class WindowCapture {
public:
    virtual ~WindowCapture() = default;

    /// Called once per request with the window number and its image, or nothing when that window could not be
    /// captured (gone, never drawn, not visible to the service).
    using Delivery = std::function<void(std::uint32_t window, std::optional<Bitmap> image)>;

    /// Starts capturing every request, in the background; called on the main thread and answers at once.
    /// `deliver` runs on the main thread (through the scheduler), in completion order, once per request, never
    /// from inside this call. Answers false, and never calls `deliver`, when nothing can be captured now (no
    /// access, no service); the caller then keeps what it had. There is no cancelling: a caller that no longer
    /// wants the images ignores them (and holds itself weakly in `deliver`).
    virtual bool capture(std::vector<CaptureRequest> requests, Delivery deliver) = 0;
};

} // namespace tillory::platform
