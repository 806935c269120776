#include "platform/sim/sim_workspace.h"

#include "platform/sim/sim_desktop_internal.h"

namespace tillory::platform::sim {

std::optional<AppInfo> SimDesktop::SimWorkspace::frontApplication() {
    return d_.frontApp();
}

std::vector<AppInfo> SimDesktop::SimWorkspace::runningApplications() {
    std::vector<AppInfo> list;
    for (const auto& app : d_.apps_) {
        list.push_back(app->info);
    }
    return list;
}

SubscriptionPtr SimDesktop::SimWorkspace::observeActivations(std::function<void(const AppInfo&)> onActivate) {
    const int id = d_.nextObserver_++;
    d_.activationObservers_[id] = std::move(onActivate);
    SimDesktop* d = &d_;
    return std::make_unique<SimSubscription>(d_.alive_, [d, id] { d->activationObservers_.erase(id); });
}

bool SimDesktop::SimWorkspace::activate(std::int32_t pid) {
    d_.activationRequests_.push_back(pid);
    if (!d_.findApp(pid)) {
        return false;
    }
    d_.activate(pid);
    return true;
}

bool SimDesktop::SimWorkspace::openUrl(const QUrl& url) {
    if (!url.isValid()) {
        return false;
    }
    d_.openedUrls_.push_back(url);
    return true;
}

} // namespace tillory::platform::sim
