#include "platform/sim/sim_desktop.h"

#include "platform/sim/sim_accessibility.h"
#include "platform/sim/sim_desktop_internal.h"
#include "platform/sim/sim_event_taps.h"
#include "platform/sim/sim_login_item.h"
#include "platform/sim/sim_pasteboard.h"
#include "platform/sim/sim_power.h"
#include "platform/sim/sim_process_runner.h"
#include "platform/sim/sim_screens.h"
#include "platform/sim/sim_window_capture.h"
#include "platform/sim/sim_window_list.h"
#include "platform/sim/sim_workspace.h"

#include <algorithm>

namespace tillory::platform::sim {

SimDesktop::SimDesktop(core::Scheduler& scheduler)
    : scheduler_(scheduler), alive_(std::make_shared<bool>(true)),
      accessibility_(std::make_unique<SimAccessibility>(*this)), eventTaps_(std::make_unique<SimEventTaps>(*this)),
      windowList_(std::make_unique<SimWindowList>(*this)), screenCapture_(std::make_unique<SimScreenCapture>(*this)),
      windowCapture_(std::make_unique<SimWindowCapture>(*this)), appIconsService_(std::make_unique<SimAppIcons>(*this)),
      pasteboard_(std::make_unique<SimPasteboard>(*this)), workspace_(std::make_unique<SimWorkspace>(*this)),
      screensService_(std::make_unique<SimScreens>(*this)), loginItem_(std::make_unique<SimLoginItem>(*this)),
      processRunner_(std::make_unique<SimProcessRunner>(*this)),
      powerSources_(std::make_unique<SimPowerSources>(*this)), smc_(std::make_unique<SimSmc>()) {
    screens_.push_back({Rect{0, 0, 1440, 900}, Rect{0, 0, 1440, 875}});
    players_ = std::make_unique<SimScriptRunner>(scheduler);
    downloads_ = std::make_unique<SimUrlFetcher>(scheduler);
    pictures_ = std::make_unique<SimImageDecoder>(scheduler);
}

SimDesktop::~SimDesktop() {
    alive_.reset();
}

Platform SimDesktop::platform() {
    Platform p;
    p.accessibility = accessibility_.get();
    p.eventTaps = eventTaps_.get();
    p.windowList = windowList_.get();
    p.screenCapture = screenCapture_.get();
    p.windowCapture = windowCapture_.get();
    p.appIcons = appIconsService_.get();
    p.pasteboard = pasteboard_.get();
    p.workspace = workspace_.get();
    p.screens = screensService_.get();
    p.loginItem = loginItem_.get();
    p.processRunner = processRunner_.get();
    p.systemCounters = &counters_;
    p.powerSources = powerSources_.get();
    p.smc = smc_.get();
    p.scriptRunner = players_.get();
    p.urlFetcher = downloads_.get();
    p.imageDecoder = pictures_.get();
    p.bundleIdentifier = QStringLiteral("app.tillory.Tillory");
    return p;
}

SimDesktop::App* SimDesktop::findApp(std::int32_t pid) {
    for (auto& app : apps_) {
        if (app->info.pid == pid) {
            return app.get();
        }
    }
    return nullptr;
}

const SimDesktop::App* SimDesktop::findApp(std::int32_t pid) const {
    return const_cast<SimDesktop*>(this)->findApp(pid);
}

std::int32_t SimDesktop::launchApp(const QString& bundleId, const QString& name) {
    auto app = std::make_unique<App>();
    app->info = AppInfo{nextPid_++, bundleId, name};
    const auto pid = app->info.pid;
    apps_.push_back(std::move(app));
    if (!front_) {
        front_ = pid;
    }
    return pid;
}

void SimDesktop::quitApp(std::int32_t pid) {
    for (auto it = windows_.begin(); it != windows_.end();) {
        if (it->second->pid == pid) {
            std::erase(zOrder_, it->first);
            it = windows_.erase(it);
        } else {
            ++it;
        }
    }
    std::erase_if(elements_, [pid](const auto& item) { return item.second->pid == pid; });
    std::erase_if(apps_, [pid](const auto& app) { return app->info.pid == pid; });
    if (front_ == pid) {
        front_.reset();
    }
}

void SimDesktop::activate(std::int32_t pid) {
    App* app = findApp(pid);
    if (!app) {
        return;
    }
    front_ = pid;
    // The application's windows come to the front together, keeping their own order.
    std::stable_partition(zOrder_.begin(), zOrder_.end(),
                          [this, pid](std::uint32_t n) { return windows_.at(n)->pid == pid; });
    notifyActivation(app->info);
    reportActiveWindow();
}

void SimDesktop::notifyActivation(const AppInfo& app) {
    auto observers = activationObservers_;
    for (auto& [id, observer] : observers) {
        if (activationObservers_.count(id)) {
            observer(app);
        }
    }
}

void SimDesktop::focusWindow(std::uint32_t number, bool raise) {
    auto found = windows_.find(number);
    if (found == windows_.end()) {
        return;
    }
    const std::int32_t pid = found->second->pid;
    if (raise) {
        std::erase(zOrder_, number);
        zOrder_.insert(zOrder_.begin(), number);
        std::stable_partition(zOrder_.begin(), zOrder_.end(),
                              [this, pid](std::uint32_t n) { return windows_.at(n)->pid == pid; });
    }
    const bool changed = front_ != pid;
    front_ = pid;
    reportActiveWindow(number);
    if (const App* app = findApp(pid); changed && app) {
        notifyActivation(app->info);
    }
}

void SimDesktop::reportActiveWindow(std::uint32_t number) {
    if (number == 0) {
        const auto front = std::find_if(zOrder_.begin(), zOrder_.end(), [this](std::uint32_t n) {
            const Window& w = *windows_.at(n);
            return w.pid == front_ && !w.minimized && !w.offscreen;
        });
        number = front == zOrder_.end() ? 0 : *front;
    }
    if (number == 0 || number == reportedActive_) {
        return;
    }
    reportedActive_ = number;
    auto observers = activeWindowObservers_;
    for (auto& [id, observer] : observers) {
        if (activeWindowObservers_.count(id)) {
            observer(number);
        }
    }
}

std::optional<AppInfo> SimDesktop::frontApp() const {
    if (!front_) {
        return std::nullopt;
    }
    const App* app = findApp(*front_);
    return app ? std::optional<AppInfo>(app->info) : std::nullopt;
}

std::uint32_t SimDesktop::openWindow(std::int32_t pid, const QString& title, Rect bounds) {
    const auto number = nextWindow_++;
    auto w = std::make_unique<Window>();
    w->pid = pid;
    w->title = title;
    w->bounds = bounds;
    windows_[number] = std::move(w);
    zOrder_.insert(zOrder_.begin(), number);
    return number;
}

void SimDesktop::closeWindow(std::uint32_t number) {
    windows_.erase(number);
    std::erase(zOrder_, number);
}

void SimDesktop::setWindowBounds(std::uint32_t number, Rect bounds) {
    if (auto found = windows_.find(number); found != windows_.end()) {
        found->second->bounds = bounds;
    }
}

void SimDesktop::setWindowSizeLimits(std::uint32_t number, Size minimum, Size maximum) {
    if (auto found = windows_.find(number); found != windows_.end()) {
        found->second->minimum = minimum;
        found->second->maximum = maximum;
    }
}

void SimDesktop::setWindowFrozen(std::uint32_t number, bool frozen) {
    if (auto found = windows_.find(number); found != windows_.end()) {
        found->second->frozen = frozen;
    }
}

std::vector<std::pair<QString, AXValue>> SimDesktop::frameWrites(std::uint32_t number) const {
    auto found = windows_.find(number);
    return found == windows_.end() ? std::vector<std::pair<QString, AXValue>>{} : found->second->frameWrites;
}

void SimDesktop::setWindowMinimized(std::uint32_t number, bool minimized) {
    if (auto found = windows_.find(number); found != windows_.end()) {
        found->second->minimized = minimized;
    }
}

std::optional<WindowInfo> SimDesktop::window(std::uint32_t number) const {
    auto found = windows_.find(number);
    if (found == windows_.end()) {
        return std::nullopt;
    }
    const Window& w = *found->second;
    const App* app = findApp(w.pid);
    WindowInfo info;
    info.number = number;
    info.ownerPid = w.pid;
    info.ownerName = app ? app->info.name : QString();
    info.name = w.title;
    info.bounds = w.bounds;
    info.layer = w.layer;
    info.alpha = w.alpha;
    info.isOnscreen = !w.minimized && !w.offscreen;
    return info;
}

void SimDesktop::setWindowLayer(std::uint32_t number, int layer) {
    if (auto found = windows_.find(number); found != windows_.end()) {
        found->second->layer = layer;
    }
}

void SimDesktop::setWindowAlpha(std::uint32_t number, double alpha) {
    if (auto found = windows_.find(number); found != windows_.end()) {
        found->second->alpha = alpha;
    }
}

void SimDesktop::setWindowOffscreen(std::uint32_t number, bool offscreen) {
    if (auto found = windows_.find(number); found != windows_.end()) {
        found->second->offscreen = offscreen;
    }
}

void SimDesktop::setWindowAccessible(std::uint32_t number, bool accessible) {
    if (auto found = windows_.find(number); found != windows_.end()) {
        found->second->accessible = accessible;
    }
}

const std::vector<Event>& SimDesktop::receivedEvents(std::int32_t pid) const {
    static const std::vector<Event> none;
    const App* app = findApp(pid);
    return app ? app->received : none;
}

} // namespace tillory::platform::sim
