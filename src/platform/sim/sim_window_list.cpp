#include "platform/sim/sim_window_list.h"

#include "platform/sim/sim_desktop_internal.h"

namespace tillory::platform::sim {

std::vector<WindowInfo> SimDesktop::SimWindowList::windows(unsigned options) {
    std::vector<WindowInfo> list;
    if (!d_.windowListReadable_) {
        return list;
    }
    for (std::uint32_t number : d_.zOrder_) {
        const WindowInfo info = *d_.window(number);
        if ((options & static_cast<unsigned>(WindowListOption::OnScreenOnly)) && !info.isOnscreen) {
            continue;
        }
        list.push_back(info);
    }
    return list;
}

SubscriptionPtr SimDesktop::SimWindowList::observeActiveWindow(std::function<void(std::uint32_t)> onChange) {
    const int id = d_.nextObserver_++;
    d_.activeWindowObservers_[id] = std::move(onChange);
    SimDesktop* d = &d_;
    return std::make_unique<SimSubscription>(d_.alive_, [d, id] { d->activeWindowObservers_.erase(id); });
}

bool SimDesktop::SimWindowList::activateWindow(std::uint32_t window) {
    d_.windowActivationRequests_.push_back(window);
    auto found = d_.windows_.find(window);
    if (found == d_.windows_.end()) {
        return false;
    }
    found->second->minimized = false;
    found->second->offscreen = false;
    d_.focusWindow(window);
    return true;
}

bool SimDesktop::SimScreenCapture::hasAccess() const {
    return d_.captureAllowed_;
}

bool SimDesktop::SimScreenCapture::requestAccess() {
    ++d_.captureRequests_;
    return d_.captureAllowed_;
}

QString SimDesktop::SimScreenCapture::missingCapability() const {
    return d_.captureAllowed_ ? QString() : d_.captureMissing_;
}

} // namespace tillory::platform::sim
