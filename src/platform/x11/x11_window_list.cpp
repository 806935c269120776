#include "platform/x11/x11_window_list.h"

#include "platform/linux/native_pixels.h"
#include "platform/x11/x11_reply.h"

#include <QSocketNotifier>

#include <cstring>
#include <map>

namespace tillory::platform::nix {
namespace {

// EWMH: requests from a pager (a program acting for the user) and stacking above all siblings.
constexpr std::uint32_t kSourcePager = 2;
constexpr std::uint32_t kStackAbove = 0;

int layerOf(const ClientWindow& window) {
    switch (window.kind) {
    case ClientKind::Normal:
    case ClientKind::Dialog:
        return window.skipTaskbar ? X11Layer::Auxiliary : X11Layer::Normal;
    case ClientKind::Utility:
        return X11Layer::Auxiliary;
    case ClientKind::Dock:
        return X11Layer::Dock;
    case ClientKind::Desktop:
        return X11Layer::Desktop;
    case ClientKind::Splash:
        return X11Layer::Splash;
    case ClientKind::Notification:
        return X11Layer::Notification;
    case ClientKind::Menu:
        return X11Layer::Menu;
    case ClientKind::Tooltip:
        return X11Layer::Tooltip;
    }
    return X11Layer::Auxiliary;
}

} // namespace

std::optional<WindowInfo> listedWindow(const ClientWindow& window, const ListingContext& context,
                                       const QString& appName) {
    if ((context.ownPid != 0 && window.pid == context.ownPid) || window.withdrawn) {
        return std::nullopt;
    }
    const bool elsewhere =
        window.desktop != kAllDesktops && context.currentDesktop && window.desktop != *context.currentDesktop;
    // An unmapped window that is neither minimised nor on another workspace is on its way in or out.
    if (!window.viewable && !window.hidden && !elsewhere) {
        return std::nullopt;
    }
    WindowInfo info;
    info.number = window.id;
    info.ownerPid = window.pid;
    info.ownerName = appName;
    info.name = window.title;
    info.layer = layerOf(window);
    info.alpha = window.alpha;
    info.bounds = window.visibleFrame();
    info.isOnscreen = window.viewable && !window.hidden && !elsewhere;
    return info;
}

/// Follows _NET_ACTIVE_WINDOW on a connection of its own, so that its events are never taken by the reads of the
/// shared one.
class X11WindowList::ActiveWatch {
public:
    explicit ActiveWatch(const std::string& display) {
        int screenNumber = 0;
        c_ = xcb_connect(display.empty() ? nullptr : display.c_str(), &screenNumber);
        if (xcb_connection_has_error(c_) != 0) {
            return;
        }
        auto screens = xcb_setup_roots_iterator(xcb_get_setup(c_));
        for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
            xcb_screen_next(&screens);
        }
        root_ = screens.data->root;
        static const char kName[] = "_NET_ACTIVE_WINDOW";
        const Reply<xcb_intern_atom_reply_t> atom(
            xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, sizeof kName - 1, kName), nullptr));
        active_ = atom ? atom->atom : XCB_NONE;
        // Selected before the first read, so that no change falls between the two.
        const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(c_, root_, XCB_CW_EVENT_MASK, &mask);
        reported_ = read();
        notifier_ = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(c_), QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] { settle(); });
    }
    ~ActiveWatch() {
        notifier_.reset();
        if (c_) {
            xcb_disconnect(c_);
        }
    }
    ActiveWatch(const ActiveWatch&) = delete;
    ActiveWatch& operator=(const ActiveWatch&) = delete;

    static SubscriptionPtr subscribe(const std::shared_ptr<ActiveWatch>& watch,
                                     std::function<void(std::uint32_t)> onChange) {
        class Ending final : public Subscription {
        public:
            Ending(std::weak_ptr<ActiveWatch> watch, int id) : watch_(std::move(watch)), id_(id) {}
            ~Ending() override {
                if (auto watch = watch_.lock()) {
                    watch->observers_.erase(id_);
                }
            }

        private:
            std::weak_ptr<ActiveWatch> watch_;
            int id_;
        };
        const int id = watch->next_++;
        watch->observers_.emplace(id, std::move(onChange));
        return std::make_unique<Ending>(watch, id);
    }

private:
    xcb_window_t read() {
        const auto cookie = xcb_get_property(c_, 0, root_, active_, XCB_ATOM_WINDOW, 0, 1);
        const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c_, cookie, nullptr));
        const auto value = words(reply.get());
        return value.empty() ? XCB_NONE : value.front();
    }

    /// Takes every queued event; true when one was a change of the active window.
    bool drainChanges() {
        bool changed = false;
        while (xcb_generic_event_t* event = xcb_poll_for_event(c_)) {
            const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
            changed = changed || ((event->response_type & ~0x80) == XCB_PROPERTY_NOTIFY && notify->atom == active_);
            std::free(event);
        }
        return changed;
    }

    void settle() {
        if (!c_ || xcb_connection_has_error(c_) != 0) {
            notifier_->setEnabled(false); // a dead connection stays readable forever
            return;
        }
        // A change that lands while the property is read is queued by that read, and the socket will not
        // announce it again: drain until nothing is left.
        while (drainChanges()) {
            // Some window managers clear the property between two activations and repeat themselves.
            const xcb_window_t now = read();
            if (now != XCB_NONE && now != reported_) {
                reported_ = now;
                notify(now);
            }
        }
    }

    void notify(xcb_window_t window) {
        // A callback may end its own or another subscription: look each one up afresh.
        std::vector<int> ids;
        for (const auto& item : observers_) {
            ids.push_back(item.first);
        }
        for (const int id : ids) {
            if (const auto found = observers_.find(id); found != observers_.end()) {
                const auto callback = found->second;
                callback(window);
            }
        }
    }

    xcb_connection_t* c_ = nullptr;
    xcb_window_t root_ = XCB_NONE;
    xcb_atom_t active_ = XCB_NONE;
    xcb_window_t reported_ = XCB_NONE;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::map<int, std::function<void(std::uint32_t)>> observers_;
    int next_ = 0;
};

X11WindowList::X11WindowList(X11Clients& clients, std::int32_t ownPid, DesktopEntryIndex* entries)
    : clients_(clients), ownPid_(ownPid), entries_(entries ? entries : &ownEntries_) {}

X11WindowList::~X11WindowList() = default;

SubscriptionPtr X11WindowList::observeActiveWindow(std::function<void(std::uint32_t)> onChange) {
    if (!clients_.alive()) {
        return std::make_unique<Subscription>();
    }
    if (!watch_) {
        watch_ = std::make_shared<ActiveWatch>(clients_.display());
    }
    return ActiveWatch::subscribe(watch_, std::move(onChange));
}

bool X11WindowList::activateWindow(std::uint32_t window) {
    const std::vector<ClientWindow> found = clients_.read(window);
    if (found.empty() || window == XCB_NONE) {
        return false;
    }
    const ClientWindow& w = found.front();
    const xcb_timestamp_t time = clients_.serverTime();
    const auto current = clients_.currentDesktop();
    if (w.desktop != kAllDesktops && current && w.desktop != *current) {
        clients_.sendToWindowManager(clients_.root(), clients_.atom("_NET_CURRENT_DESKTOP"),
                                     {w.desktop, time, 0, 0, 0});
    }
    // Restacked first: a window manager may give a pager's activation the focus but leave the stacking alone.
    clients_.sendToWindowManager(w.id, clients_.atom("_NET_RESTACK_WINDOW"),
                                 {kSourcePager, XCB_NONE, kStackAbove, 0, 0});
    clients_.sendToWindowManager(w.id, clients_.atom("_NET_ACTIVE_WINDOW"), {kSourcePager, time, XCB_NONE, 0, 0});
    return true;
}

QString X11WindowList::applicationName(const ClientWindow& window) {
    const QString entry = entries_->nameFor(window.appId, window.instance, window.className);
    return !entry.isEmpty() ? entry : !window.className.isEmpty() ? window.className : window.instance;
}

std::vector<WindowInfo> X11WindowList::windows(unsigned options) {
    const bool onScreenOnly = (options & static_cast<unsigned>(WindowListOption::OnScreenOnly)) != 0;
    const bool noDesktop = (options & static_cast<unsigned>(WindowListOption::ExcludeDesktopElements)) != 0;
    const ListingContext context{ownPid_, clients_.currentDesktop()};
    std::vector<WindowInfo> list;
    for (const ClientWindow& window : clients_.read()) {
        if (noDesktop && window.kind == ClientKind::Desktop) {
            continue;
        }
        auto info = listedWindow(window, context, applicationName(window));
        if (!info || (onScreenOnly && !info->isOnscreen)) {
            continue;
        }
        info->bounds = logicalFromNative(info->bounds);
        list.push_back(std::move(*info));
    }
    return list;
}

} // namespace tillory::platform::nix
