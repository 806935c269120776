#pragma once

#include "platform/sim/sim_desktop.h"

namespace tillory::platform::sim {

/// The screens and pointer the test sets; observers hear of SimDesktop::setScreens.
class SimDesktop::SimScreens final : public Screens {
public:
    explicit SimScreens(SimDesktop& d) : d_(d) {}
    std::vector<ScreenInfo> screens() override;
    Point mouseLocation() override;
    double doubleClickInterval() override;
    SubscriptionPtr observeChanges(std::function<void()> onChange) override;

private:
    SimDesktop& d_;
};

} // namespace tillory::platform::sim
