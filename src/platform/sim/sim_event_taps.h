#pragma once

#include "platform/sim/sim_desktop.h"

namespace tillory::platform::sim {

/// Taps over the desktop's input: injected events run through them newest first; posted events follow later
/// through the scheduler. Click monitors sit here too, as they watch the same stream.
class SimDesktop::SimEventTaps final : public EventTaps {
public:
    explicit SimEventTaps(SimDesktop& d) : d_(d) {}

    std::unique_ptr<EventTap> createTap(std::uint64_t mask, EventCallback callback) override;
    bool seesPointer() const override { return !d_.pointerUnseen_; }
    bool post(const Event& event) override;
    std::uint64_t currentFlags() const override;
    SubscriptionPtr monitorClicksElsewhere(std::uint64_t mask, std::function<void(const Event&)> onClick) override;
    SubscriptionPtr monitorOwnClicks(std::uint64_t mask,
                                     std::function<void(const Event&, std::uint64_t)> onClick) override;

private:
    SubscriptionPtr addMonitor(std::uint64_t mask, bool own, std::function<void(const Event&, std::uint64_t)> cb);

    SimDesktop& d_;
};

} // namespace tillory::platform::sim
