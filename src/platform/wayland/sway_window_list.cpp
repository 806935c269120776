#include "platform/wayland/sway_window_list.h"

#include "platform/linux/desktop_entries.h"

#include <algorithm>

namespace tillory::platform::nix {

namespace {

// Far more windows than anyone keeps open; older entries fall off rather than grow without bound.
constexpr std::size_t kMaxHistory = 1024;

/// The window a "window" event is about, with its change ("focus", "close", ...); nothing for other events.
std::optional<std::pair<QString, std::uint32_t>> windowChange(quint32 type, const QJsonObject& payload) {
    if (type != SwayEvent::Window) {
        return std::nullopt;
    }
    const auto w = swayView(payload.value(QLatin1String("container")).toObject());
    if (!w) {
        return std::nullopt;
    }
    return std::pair{payload.value(QLatin1String("change")).toString(), w->id};
}

} // namespace

SwayFocusHistory::SwayFocusHistory(SwayIpc& ipc) {
    QObject::connect(&ipc, &SwayIpc::eventReceived, &context_,
                     [this](quint32 type, const QJsonObject& payload) { handle(type, payload); });
    ipc.subscribe({QStringLiteral("window")});
}

void SwayFocusHistory::noteFocus(std::uint32_t window) {
    std::erase(recent_, window);
    recent_.insert(recent_.begin(), window);
    if (recent_.size() > kMaxHistory) {
        recent_.pop_back();
    }
}

void SwayFocusHistory::handle(quint32 type, const QJsonObject& payload) {
    const auto change = windowChange(type, payload);
    if (!change) {
        return;
    }
    if (change->first == QLatin1String("focus")) {
        noteFocus(change->second);
    } else if (change->first == QLatin1String("close")) {
        std::erase(recent_, change->second);
    }
}

std::vector<SwayWindow> SwayFocusHistory::windows(const QJsonObject& tree) const {
    return byRecency(swayWindows(tree), recent_);
}

SwayWindowList::SwayWindowList(SwayIpc& ipc, SwayFocusHistory& history, std::int32_t ownPid, DesktopEntryIndex* entries)
    : ipc_(ipc), history_(history), ownPid_(ownPid), entries_(entries) {
    QObject::connect(&ipc_, &SwayIpc::eventReceived, &context_,
                     [this](quint32 type, const QJsonObject& payload) { handle(type, payload); });
}

SwayWindowList::~SwayWindowList() = default;

QString SwayWindowList::applicationName(const SwayWindow& window) const {
    if (entries_) {
        const QString entry =
            entries_->nameFor(window.isX11() ? QString() : window.appId, window.x11Instance, window.x11Class);
        if (!entry.isEmpty()) {
            return entry;
        }
    }
    return window.appId;
}

std::vector<WindowInfo> SwayWindowList::windows(unsigned options) {
    const bool onScreenOnly = (options & static_cast<unsigned>(WindowListOption::OnScreenOnly)) != 0;
    std::vector<WindowInfo> list;
    for (const SwayWindow& w : history_.windows(ipc_.tree())) {
        if ((ownPid_ != 0 && w.pid == ownPid_) || (onScreenOnly && !w.visible)) {
            continue;
        }
        WindowInfo info;
        info.number = w.id;
        info.ownerPid = w.pid;
        info.ownerName = applicationName(w);
        info.name = w.title;
        info.bounds = w.frame;
        info.isOnscreen = w.visible;
        list.push_back(std::move(info));
    }
    return list;
}

std::uint32_t SwayWindowList::focusedWindow() {
    const auto windows = swayWindows(ipc_.tree());
    const auto focused = std::find_if(windows.begin(), windows.end(), [](const SwayWindow& w) { return w.focused; });
    return focused != windows.end() ? focused->id : 0;
}

SubscriptionPtr SwayWindowList::observeActiveWindow(std::function<void(std::uint32_t)> onChange) {
    if (!ipc_.subscribe({QStringLiteral("window")})) {
        return std::make_unique<Subscription>();
    }
    if (observers_.empty()) {
        // What had the focus before the first subscriber is history, not a change.
        reported_ = focusedWindow();
    }
    return observers_.add([callback = std::move(onChange)](const std::uint32_t& window) { callback(window); });
}

void SwayWindowList::handle(quint32 type, const QJsonObject& payload) {
    const auto change = windowChange(type, payload);
    if (!change || change->first != QLatin1String("focus") || observers_.empty()) {
        return;
    }
    // The event may be older than the subscription, or already overtaken; what counts is the focus now.
    const std::uint32_t now = focusedWindow();
    if (now == 0 || now == reported_) {
        return;
    }
    reported_ = now;
    observers_.notify(now);
}

bool SwayWindowList::activateWindow(std::uint32_t window) {
    // Only numbers go into the command: criteria built from titles or app ids could be made to say anything.
    if (window == 0 || !ipc_.runCommands(QStringLiteral("[con_id=%1] focus").arg(window))) {
        return false;
    }
    history_.noteFocus(window);
    return true;
}

} // namespace tillory::platform::nix
