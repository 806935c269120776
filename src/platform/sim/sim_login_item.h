#pragma once

#include "platform/sim/sim_desktop.h"

namespace tillory::platform::sim {

/// A login item that remembers its state and counts the calls; the test may make the system refuse changes.
class SimDesktop::SimLoginItem final : public LoginItem {
public:
    explicit SimLoginItem(SimDesktop& d) : d_(d) {}
    bool isEnabled() override;
    bool registerItem() override;
    bool unregisterItem() override;

private:
    bool change(bool enabled);

    SimDesktop& d_;
};

} // namespace tillory::platform::sim
