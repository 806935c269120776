#include "platform/wayland/sway_workspace.h"

#include <QDesktopServices>

#include <algorithm>
#include <set>

namespace tillory::platform::nix {

namespace {

// Two windows belong to the same application when they share a process; without a pid the identity is all we have.
bool sameApplication(const AppInfo& a, const AppInfo& b) {
    if (a.pid != 0 && b.pid != 0) {
        return a.pid == b.pid;
    }
    return a.pid == b.pid && a.bundleId == b.bundleId && a.name == b.name;
}

} // namespace

AppInfo swayApplication(const SwayWindow& window) {
    AppInfo app;
    app.pid = window.pid;
    if (window.isX11()) {
        app.bundleId = window.x11Instance;
        app.name = !window.x11Class.isEmpty() ? window.x11Class : window.x11Instance;
    } else {
        app.bundleId = window.appId;
        app.name = window.appId;
    }
    return app;
}

SwayWorkspace::SwayWorkspace(SwayIpc& ipc) : ipc_(ipc) {
    QObject::connect(&ipc_, &SwayIpc::eventReceived, &context_,
                     [this](quint32 type, const QJsonObject& payload) { handle(type, payload); });
}

SwayWorkspace::~SwayWorkspace() = default;

std::optional<AppInfo> SwayWorkspace::frontApplication() {
    const auto windows = swayWindows(ipc_.tree());
    const auto focused = std::find_if(windows.begin(), windows.end(), [](const SwayWindow& w) { return w.focused; });
    return focused != windows.end() ? std::optional(swayApplication(*focused)) : std::nullopt;
}

std::vector<AppInfo> SwayWorkspace::runningApplications() {
    std::vector<AppInfo> apps;
    std::set<std::int32_t> pids;
    for (const SwayWindow& w : swayWindows(ipc_.tree())) {
        const AppInfo app = swayApplication(w);
        const bool seen = app.pid != 0 ? !pids.insert(app.pid).second
                                       : std::any_of(apps.begin(), apps.end(), [&app](const AppInfo& other) {
                                             return sameApplication(app, other);
                                         });
        if (!seen) {
            apps.push_back(app);
        }
    }
    return apps;
}

SubscriptionPtr SwayWorkspace::observeActivations(std::function<void(const AppInfo&)> onActivate) {
    if (!ipc_.subscribe({QStringLiteral("window")})) {
        return std::make_unique<Subscription>();
    }
    if (observers_.empty()) {
        reported_ = frontApplication();
    }
    return observers_.add(std::move(onActivate));
}

void SwayWorkspace::handle(quint32 type, const QJsonObject& payload) {
    if (type != SwayEvent::Window || observers_.empty() ||
        payload.value(QLatin1String("change")).toString() != QLatin1String("focus")) {
        return;
    }
    // The event may be older than the subscription, or already overtaken; what counts is the front now.
    const auto app = frontApplication();
    if (!app || (reported_ && sameApplication(*app, *reported_))) {
        return;
    }
    reported_ = app;
    observers_.notify(*app);
}

bool SwayWorkspace::activate(std::int32_t pid) {
    if (activator_) {
        return activator_(pid);
    }
    return pid > 0 && ipc_.runCommands(QStringLiteral("[pid=%1] focus").arg(pid));
}

bool SwayWorkspace::openUrl(const QUrl& url) {
    return url.isValid() && QDesktopServices::openUrl(url);
}

} // namespace tillory::platform::nix
