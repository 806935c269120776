#pragma once

#include "platform/sim/sim_desktop.h"

namespace tillory::platform::sim {

/// The sources the test set (none: a machine without a battery), nominal thermal state.
class SimDesktop::SimPowerSources final : public PowerSources {
public:
    explicit SimPowerSources(SimDesktop& desktop) : d_(desktop) {}
    std::optional<std::vector<std::optional<QVariantMap>>> powerSources() override;
    std::optional<QVariantMap> batteryProperties() override;
    int thermalState() override;
    PowerChanges observeChanges(std::function<void()> onChange) override;

private:
    SimDesktop& d_;
};

/// No fan controller to open.
class SimDesktop::SimSmc final : public Smc {
public:
    std::unique_ptr<SmcClient> open() override;
};

} // namespace tillory::platform::sim
