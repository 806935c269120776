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

PowerChanges SimDesktop::SimPowerSources::observeChanges(std::function<void()> onChange) {
    if (d_.powerNotices_ == PowerNotices::Nothing) {
        return {};
    }
    const int id = d_.nextObserver_++;
    d_.powerObservers_[id] = std::move(onChange);
    SimDesktop* d = &d_;
    return {std::make_unique<SimSubscription>(d_.alive_, [d, id] { d->powerObservers_.erase(id); }),
            d_.powerNotices_ == PowerNotices::Everything};
}

namespace {

/// What plugging and unplugging change: each source's charging flag and power state.
QVariantList plugState(const std::optional<std::vector<std::optional<QVariantMap>>>& sources) {
    QVariantList state;
    for (const auto& description : sources.value_or(std::vector<std::optional<QVariantMap>>{})) {
        state.append(description ? QVariantList{description->value(QStringLiteral("Is Charging")),
                                                description->value(QStringLiteral("Power Source State"))}
                                 : QVariantList{});
    }
    return state;
}

} // namespace

void SimDesktop::setPowerSources(std::optional<std::vector<std::optional<QVariantMap>>> sources) {
    const bool plugged = plugState(powerSourceList_) != plugState(sources);
    powerSourceList_ = std::move(sources);
    if (powerNotices_ == PowerNotices::Plugging && !plugged) {
        return;
    }
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
