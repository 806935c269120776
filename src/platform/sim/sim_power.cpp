#include "platform/sim/sim_power.h"

namespace tillory::platform::sim {

std::optional<std::vector<std::optional<QVariantMap>>> SimDesktop::SimPowerSources::powerSources() {
    return std::vector<std::optional<QVariantMap>>{};
}

std::optional<QVariantMap> SimDesktop::SimPowerSources::batteryProperties() {
    return std::nullopt;
}

int SimDesktop::SimPowerSources::thermalState() {
    return 0;
}

std::unique_ptr<SmcClient> SimDesktop::SimSmc::open() {
    return nullptr;
}

} // namespace tillory::platform::sim
