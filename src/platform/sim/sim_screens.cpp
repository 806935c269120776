#include "platform/sim/sim_screens.h"

#include "platform/sim/sim_desktop_internal.h"

namespace tillory::platform::sim {

std::vector<ScreenInfo> SimDesktop::SimScreens::screens() {
    return d_.screens_;
}

Point SimDesktop::SimScreens::mouseLocation() {
    ++d_.mouseReads_;
    return d_.mouse_;
}

double SimDesktop::SimScreens::doubleClickInterval() {
    return 0.5;
}

SubscriptionPtr SimDesktop::SimScreens::observeChanges(std::function<void()> onChange) {
    const int id = d_.nextObserver_++;
    d_.screenObservers_[id] = std::move(onChange);
    SimDesktop* d = &d_;
    return std::make_unique<SimSubscription>(d_.alive_, [d, id] { d->screenObservers_.erase(id); });
}

void SimDesktop::setScreens(std::vector<ScreenInfo> screens) {
    screens_ = std::move(screens);
    auto observers = screenObservers_;
    for (auto& [id, observer] : observers) {
        if (screenObservers_.count(id)) {
            observer();
        }
    }
}

} // namespace tillory::platform::sim
