#include "platform/sim/sim_event_taps.h"

#include "platform/sim/sim_desktop_internal.h"

#include <algorithm>

namespace tillory::platform::sim {

class SimDesktop::SimEventTap final : public EventTap {
public:
    SimEventTap(SimDesktop& d, std::unique_ptr<Tap> tap, std::weak_ptr<bool> alive)
        : d_(d), tap_(std::move(tap)), alive_(std::move(alive)) {}
    ~SimEventTap() override {
        if (alive_.lock()) {
            std::erase(d_.taps_, tap_.get());
        }
    }
    void setEnabled(bool enabled) override { tap_->enabled = enabled; }
    bool isEnabled() const override { return tap_->enabled; }
    bool swallowsEvents() const override { return d_.tapsSwallow_; }
    void setTriggers(std::vector<KeyTrigger> triggers) override { tap_->triggers = std::move(triggers); }
    bool setCapturing(bool capturing) override {
        if (capturing && d_.captureFails_) {
            tap_->capturing = false;
            return false;
        }
        tap_->capturing = capturing;
        return true;
    }

private:
    SimDesktop& d_;
    std::unique_ptr<Tap> tap_;
    std::weak_ptr<bool> alive_;
};

std::unique_ptr<EventTap> SimDesktop::SimEventTaps::createTap(std::uint64_t mask, EventCallback callback) {
    if (!d_.trusted_ || d_.tapCreationFails_) {
        return nullptr;
    }
    const std::uint64_t keyboard = eventMaskBit(EventType::KeyDown) | eventMaskBit(EventType::KeyUp) |
                                   eventMaskBit(EventType::FlagsChanged);
    if (d_.pointerUnseen_ && (mask & ~keyboard) != 0) {
        return nullptr;
    }
    auto tap = std::make_unique<Tap>();
    tap->mask = mask;
    tap->callback = std::move(callback);
    d_.taps_.insert(d_.taps_.begin(), tap.get());
    return std::make_unique<SimEventTap>(d_, std::move(tap), d_.alive_);
}

bool SimDesktop::SimEventTaps::post(const Event& event) {
    std::weak_ptr<bool> alive = d_.alive_;
    SimDesktop* d = &d_;
    d_.scheduler_.post([alive, d, event] {
        if (!alive.lock()) {
            return;
        }
        d->posted_.push_back(event);
        if (auto result = d->runThroughTaps(event)) {
            d->deliver(*result);
        }
    });
    return true;
}

std::uint64_t SimDesktop::SimEventTaps::currentFlags() const {
    return d_.flags_;
}

SubscriptionPtr SimDesktop::SimEventTaps::monitorClicksElsewhere(std::uint64_t mask,
                                                                 std::function<void(const Event&)> onClick) {
    return addMonitor(mask, false, [onClick = std::move(onClick)](const Event& e, std::uint64_t) { onClick(e); });
}

SubscriptionPtr SimDesktop::SimEventTaps::monitorOwnClicks(std::uint64_t mask,
                                                           std::function<void(const Event&, std::uint64_t)> onClick) {
    return addMonitor(mask, true, std::move(onClick));
}

SubscriptionPtr SimDesktop::SimEventTaps::addMonitor(std::uint64_t mask, bool own,
                                                     std::function<void(const Event&, std::uint64_t)> cb) {
    const int id = d_.nextObserver_++;
    d_.clickMonitors_[id] = {mask, own, std::move(cb)};
    SimDesktop* d = &d_;
    return std::make_unique<SimSubscription>(d_.alive_, [d, id] { d->clickMonitors_.erase(id); });
}

EventResult SimDesktop::runThroughTaps(Event event) {
    const std::uint64_t bit = eventMaskBit(event.type);
    auto taps = taps_; // a callback may destroy its own tap
    for (Tap* tap : taps) {
        if (std::find(taps_.begin(), taps_.end(), tap) == taps_.end() || !tap->enabled || !(tap->mask & bit)) {
            continue;
        }
        auto result = tap->callback(event.type, event);
        if (!tapsSwallow_) {
            continue; // the application had the event already
        }
        if (!result) {
            return std::nullopt;
        }
        event = *result;
    }
    return event;
}

void SimDesktop::deliver(const Event& event) {
    if (event.type == EventType::FlagsChanged) {
        flags_ = event.flags;
    }
    if (front_) {
        if (App* app = findApp(*front_)) {
            app->received.push_back(event);
        }
    }
}

EventResult SimDesktop::inject(Event event) {
    if (event.type == EventType::FlagsChanged) {
        flags_ = event.flags; // the hardware state changes whether or not a tap lets the event on
    }
    auto result = runThroughTaps(event);
    if (result) {
        deliver(*result);
    }
    return result;
}

void SimDesktop::disableTaps(EventType reason) {
    auto taps = taps_;
    for (Tap* tap : taps) {
        if (std::find(taps_.begin(), taps_.end(), tap) == taps_.end()) {
            continue;
        }
        tap->enabled = false;
        Event notice;
        notice.type = reason;
        tap->callback(reason, notice);
    }
}

int SimDesktop::liveTapCount() const {
    return static_cast<int>(taps_.size());
}

int SimDesktop::enabledTapCount() const {
    return static_cast<int>(std::count_if(taps_.begin(), taps_.end(), [](const Tap* t) { return t->enabled; }));
}

std::vector<KeyTrigger> SimDesktop::tapTriggers() const {
    const auto seesKeys = [](const Tap* tap) { return (tap->mask & eventMaskBit(EventType::KeyDown)) != 0; };
    const auto tap = std::find_if(taps_.begin(), taps_.end(), seesKeys);
    return tap == taps_.end() ? std::vector<KeyTrigger>{} : (*tap)->triggers;
}

bool SimDesktop::tapCapturing() const {
    const auto seesKeys = [](const Tap* tap) { return (tap->mask & eventMaskBit(EventType::KeyDown)) != 0; };
    const auto tap = std::find_if(taps_.begin(), taps_.end(), seesKeys);
    return tap != taps_.end() && (*tap)->capturing;
}

void SimDesktop::clickElsewhere(EventType type, Point location) {
    Event event;
    event.type = type;
    event.location = location;
    auto monitors = clickMonitors_; // a monitor may end itself or others
    for (auto& [id, monitor] : monitors) {
        if (clickMonitors_.count(id) && !monitor.own && (monitor.mask & eventMaskBit(type))) {
            // The system hands global monitors their events asynchronously.
            std::weak_ptr<bool> alive = alive_;
            scheduler_.post([this, alive, id, event] {
                if (alive.lock() && clickMonitors_.count(id)) {
                    auto callback = clickMonitors_[id].callback;
                    callback(event, 0);
                }
            });
        }
    }
}

void SimDesktop::clickOwnWindow(EventType type, Point location, std::uint64_t window) {
    Event event;
    event.type = type;
    event.location = location;
    auto monitors = clickMonitors_;
    for (auto& [id, monitor] : monitors) {
        if (clickMonitors_.count(id) && monitor.own && (monitor.mask & eventMaskBit(type))) {
            monitor.callback(event, window);
        }
    }
}

} // namespace tillory::platform::sim
