#pragma once

// The desktop's own records, shared by the simulated services; nothing outside src/platform/sim includes this.

#include "platform/sim/sim_desktop.h"

namespace tillory::platform::sim {

struct SimDesktop::App {
    AppInfo info;
    std::optional<int> focusedElement;
    std::vector<Event> received;
};

struct SimDesktop::Window {
    std::int32_t pid = 0;
    QString title;
    Rect bounds;
    bool minimized = false;
    int layer = 0;
    double alpha = 1.0;
    bool offscreen = false;
    bool accessible = true;
    Size minimum;
    Size maximum{1e9, 1e9};
    bool frozen = false;
    std::vector<std::pair<QString, AXValue>> frameWrites;
};

struct SimDesktop::ElementData {
    std::int32_t pid = 0;
    QMap<QString, AXValue> attributes;
    std::function<AXValue(TextRange)> boundsForRange;
    std::vector<TextRange> queries;
};

struct SimDesktop::Tap {
    std::uint64_t mask = 0;
    EventCallback callback;
    bool enabled = true;
    std::vector<KeyTrigger> triggers;
    bool capturing = false;
};

/// Ends an observation when dropped, unless the desktop went first.
class SimDesktop::SimSubscription final : public Subscription {
public:
    SimSubscription(std::weak_ptr<bool> alive, std::function<void()> end)
        : alive_(std::move(alive)), end_(std::move(end)) {}
    ~SimSubscription() override {
        if (alive_.lock()) {
            end_();
        }
    }

private:
    std::weak_ptr<bool> alive_;
    std::function<void()> end_;
};

} // namespace tillory::platform::sim
