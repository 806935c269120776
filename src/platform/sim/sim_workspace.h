#pragma once

#include "platform/sim/sim_desktop.h"

namespace tillory::platform::sim {

/// The running applications and which is in front; activations come from SimDesktop::activate. Opened URLs are
/// only recorded.
class SimDesktop::SimWorkspace final : public Workspace {
public:
    explicit SimWorkspace(SimDesktop& d) : d_(d) {}
    std::optional<AppInfo> frontApplication() override;
    std::vector<AppInfo> runningApplications() override;
    SubscriptionPtr observeActivations(std::function<void(const AppInfo&)> onActivate) override;
    bool openUrl(const QUrl& url) override;
    bool activate(std::int32_t pid) override;

private:
    SimDesktop& d_;
};

} // namespace tillory::platform::sim
