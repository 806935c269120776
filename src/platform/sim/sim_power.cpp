#include "platform/sim/sim_power.h"

#include "platform/sim/sim_desktop_internal.h"

namespace tillory::platform::sim {

std::optional<std::vector<std::optional<QVariantMap>>> SimDesktop::SimPowerSources::powerSources() {
    return d_.powerSourceList_;
}

std::optional<QVariantMap> SimDesktop::SimPowerSources::batteryProperties() {
    return std::nullopt;
}

int SimDesktop::SimPowerSources::thermalState() {
    return 0;
}

SubscriptionPtr SimDesktop::SimPowerSources::observeChanges(std::function<void()> onChange) {
    const int id = d_.nextObserver_++;
    d_.powerObservers_[id] = std::move(onChange);
    SimDesktop* d = &d_;
    return std::make_unique<SimSubscription>(d_.alive_, [d, id] { d->powerObservers_.erase(id); });
}

void SimDesktop::setPowerSources(std::optional<std::vector<std::optional<QVariantMap>>> sources) {
    powerSourceList_ = std::move(sources);
    auto observers = powerObservers_;
    for (auto& [id, observer] : observers) {
        if (powerObservers_.count(id)) {
            observer();
        }
    }
}

std::unique_ptr<SmcClient> SimDesktop::SimSmc::open() {
    return nullptr;
}

} // namespace tillory::platform::sim
