#pragma once

#include "platform/sim/sim_desktop.h"

namespace tillory::platform::sim {

/// The desktop's windows, front first.
class SimDesktop::SimWindowList final : public WindowList {
public:
    explicit SimWindowList(SimDesktop& d) : d_(d) {}
    std::vector<WindowInfo> windows(unsigned options) override;
    SubscriptionPtr observeActiveWindow(std::function<void(std::uint32_t)> onChange) override;
    /// Un-minimises the window and brings it and its application to the front.
    bool activateWindow(std::uint32_t window) override;

private:
    SimDesktop& d_;
};

/// Window capture only asks for access here; the test decides the user's answer and counts the requests.
class SimDesktop::SimScreenCapture final : public ScreenCapture {
public:
    explicit SimScreenCapture(SimDesktop& d) : d_(d) {}
    bool hasAccess() const override;
    bool requestAccess() override;
    QString missingCapability() const override;

private:
    SimDesktop& d_;
};

} // namespace tillory::platform::sim
