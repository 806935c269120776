#pragma once

#include "platform/sim/sim_desktop.h"

namespace tillory::platform::sim {

/// A machine without a battery: no power sources, nominal thermal state.
class SimDesktop::SimPowerSources final : public PowerSources {
public:
    std::optional<std::vector<std::optional<QVariantMap>>> powerSources() override;
    std::optional<QVariantMap> batteryProperties() override;
    int thermalState() override;
};

/// No fan controller to open.
class SimDesktop::SimSmc final : public Smc {
public:
    std::unique_ptr<SmcClient> open() override;
};

} // namespace tillory::platform::sim
