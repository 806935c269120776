#pragma once

#include "platform/sim/sim_desktop.h"

namespace tillory::platform::sim {

/// Window captures that wait for the test (SimDesktop::finishCaptures); nothing is captured without access.
class SimDesktop::SimWindowCapture final : public WindowCapture {
public:
    explicit SimWindowCapture(SimDesktop& d) : d_(d) {}
    bool capture(std::vector<CaptureRequest> requests, Delivery deliver) override;

private:
    SimDesktop& d_;
};

/// Icons the test gave each application.
class SimDesktop::SimAppIcons final : public AppIcons {
public:
    explicit SimAppIcons(SimDesktop& d) : d_(d) {}
    std::optional<Bitmap> icon(std::int32_t pid, std::uint32_t window, int size) override;

private:
    SimDesktop& d_;
};

} // namespace tillory::platform::sim
