#include "platform/x11/x11_workspace.h"

#include "platform/x11/x11_owner_pids.h"
#include "platform/x11/x11_reply.h"

#include <QByteArrayList>
#include <QDesktopServices>
#include <QSocketNotifier>

#include <xcb/res.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <utility>

namespace tillory::platform::nix {

namespace {

// 4 KiB per property: ample for class names and application ids, and a client list of 1024 windows.
constexpr std::uint32_t kPropertyWords = 1024;
// Guards against a client that rewrites its properties in a loop while we read them.
constexpr int kMaxRefreshRounds = 8;
// Focus can sit on a subwindow of a client; real clients are only a few levels deep.
constexpr int kMaxClimb = 32;

struct Atoms {
    xcb_atom_t activeWindow = XCB_NONE;
    xcb_atom_t clientList = XCB_NONE;
    xcb_atom_t supportingWmCheck = XCB_NONE;
    xcb_atom_t wmPid = XCB_NONE;
    xcb_atom_t gtkApplicationId = XCB_NONE;
    xcb_atom_t kdeDesktopFile = XCB_NONE;
};

QByteArray propertyBytes(const xcb_get_property_reply_t* reply) {
    if (!reply || reply->type == XCB_NONE || reply->format != 8) {
        return {};
    }
    const auto* data = static_cast<const char*>(xcb_get_property_value(reply));
    return QByteArray(data, xcb_get_property_value_length(reply));
}

std::vector<std::uint32_t> propertyWords(const xcb_get_property_reply_t* reply) {
    if (!reply || reply->type == XCB_NONE || reply->format != 32) {
        return {};
    }
    const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
    return {data, data + xcb_get_property_value_length(reply) / 4};
}

// A text property that may carry a trailing NUL (some toolkits write one).
QString propertyText(const xcb_get_property_reply_t* reply) {
    QByteArray bytes = propertyBytes(reply);
    while (bytes.endsWith('\0')) {
        bytes.chop(1);
    }
    return QString::fromUtf8(bytes);
}

// Two windows belong to the same application when they share a process; without a pid the identity is all we have.
bool sameApplication(const AppInfo& a, const AppInfo& b) {
    if (a.pid != 0 && b.pid != 0) {
        return a.pid == b.pid;
    }
    return a.pid == b.pid && a.bundleId == b.bundleId && a.name == b.name;
}

struct Observers {
    std::map<int, std::function<void(const AppInfo&)>> callbacks;
    int nextId = 0;
};

class ObserverSubscription final : public Subscription {
public:
    ObserverSubscription(std::weak_ptr<Observers> observers, int id) : observers_(std::move(observers)), id_(id) {}
    ~ObserverSubscription() override {
        if (auto observers = observers_.lock()) {
            observers->callbacks.erase(id_);
        }
    }

private:
    std::weak_ptr<Observers> observers_;
    int id_;
};

} // namespace

class X11Workspace::Impl {
public:
    Impl();
    ~Impl();
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    std::optional<AppInfo> front();
    std::vector<AppInfo> running();
    SubscriptionPtr observe(std::function<void(const AppInfo&)> onActivate);

private:
    bool alive() const { return c_ && xcb_connection_has_error(c_) == 0; }
    xcb_atom_t intern(const char* name);
    bool checkResourceExtension();
    xcb_get_property_cookie_t requestProperty(xcb_window_t window, xcb_atom_t atom, std::uint32_t words);
    std::optional<xcb_window_t> windowProperty(xcb_window_t window, xcb_atom_t atom);
    void drain();
    void handle(const xcb_generic_event_t* event);
    void refresh();
    void detectWindowManager();
    xcb_window_t activeClient();
    xcb_window_t focusedClient();
    void watch(xcb_window_t window);
    std::vector<AppInfo> describe(const std::vector<xcb_window_t>& windows);
    void resolvePids(const std::vector<xcb_window_t>& windows, std::vector<AppInfo>& apps);
    void settle();
    void notifyIfChanged();
    void postCheckIfChanged();

    xcb_connection_t* c_ = nullptr;
    xcb_window_t root_ = XCB_NONE;
    Atoms atoms_;
    bool haveResourceExtension_ = false;
    bool wmDirty_ = true;
    bool frontDirty_ = true;
    xcb_window_t wmCheck_ = XCB_NONE; // the EWMH supporting window; none without an EWMH window manager
    xcb_window_t watched_ = XCB_NONE;
    std::optional<AppInfo> front_;
    std::optional<AppInfo> reported_;
    std::shared_ptr<Observers> observers_ = std::make_shared<Observers>();
    std::unique_ptr<QSocketNotifier> notifier_;
};

X11Workspace::Impl::Impl() {
    int screenNumber = 0;
    c_ = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c_) != 0) {
        xcb_disconnect(c_);
        c_ = nullptr;
        return;
    }
    auto screens = xcb_setup_roots_iterator(xcb_get_setup(c_));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
        xcb_screen_next(&screens);
    }
    root_ = screens.data->root;
    atoms_.activeWindow = intern("_NET_ACTIVE_WINDOW");
    atoms_.clientList = intern("_NET_CLIENT_LIST");
    atoms_.supportingWmCheck = intern("_NET_SUPPORTING_WM_CHECK");
    atoms_.wmPid = intern("_NET_WM_PID");
    atoms_.gtkApplicationId = intern("_GTK_APPLICATION_ID");
    atoms_.kdeDesktopFile = intern("_KDE_NET_WM_DESKTOP_FILE");
    haveResourceExtension_ = checkResourceExtension();
    // Focus events on the root cover the moments without a focused client when no window manager runs.
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_FOCUS_CHANGE;
    xcb_change_window_attributes(c_, root_, XCB_CW_EVENT_MASK, &mask);
    refresh();
}

X11Workspace::Impl::~Impl() {
    notifier_.reset();
    if (c_) {
        xcb_disconnect(c_);
    }
}

xcb_atom_t X11Workspace::Impl::intern(const char* name) {
    // Interned even when absent so that a property set later by another client is still recognised.
    const auto cookie = xcb_intern_atom(c_, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
    const Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(c_, cookie, nullptr));
    return reply ? reply->atom : XCB_NONE;
}

bool X11Workspace::Impl::checkResourceExtension() {
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(c_, &xcb_res_id);
    if (!extension || extension->present == 0) {
        return false;
    }
    // Client ids arrived in version 1.2.
    const Reply<xcb_res_query_version_reply_t> version(
        xcb_res_query_version_reply(c_, xcb_res_query_version(c_, 1, 2), nullptr));
    return version && (version->server_major > 1 || (version->server_major == 1 && version->server_minor >= 2));
}

xcb_get_property_cookie_t X11Workspace::Impl::requestProperty(xcb_window_t window, xcb_atom_t atom,
                                                              std::uint32_t words) {
    return xcb_get_property(c_, 0, window, atom, XCB_GET_PROPERTY_TYPE_ANY, 0, words);
}

std::optional<xcb_window_t> X11Workspace::Impl::windowProperty(xcb_window_t window, xcb_atom_t atom) {
    const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c_, requestProperty(window, atom, 1), nullptr));
    const auto words = propertyWords(reply.get());
    if (words.empty()) {
        return std::nullopt;
    }
    return words.front();
}

std::optional<AppInfo> X11Workspace::Impl::front() {
    if (!alive()) {
        return std::nullopt;
    }
    // Reading what already arrived costs no round trip; only a change makes us ask the server again.
    drain();
    refresh();
    postCheckIfChanged();
    return front_;
}

void X11Workspace::Impl::drain() {
    while (xcb_generic_event_t* event = xcb_poll_for_event(c_)) {
        handle(event);
        std::free(event);
    }
}

void X11Workspace::Impl::handle(const xcb_generic_event_t* event) {
    switch (event->response_type & ~0x80) {
    case XCB_PROPERTY_NOTIFY: {
        const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
        if (notify->window == root_) {
            if (notify->atom == atoms_.supportingWmCheck) {
                wmDirty_ = true;
                frontDirty_ = true;
            } else if (notify->atom == atoms_.activeWindow) {
                frontDirty_ = true;
            }
        } else if (notify->window == watched_) {
            const xcb_atom_t atom = notify->atom;
            frontDirty_ = frontDirty_ || atom == XCB_ATOM_WM_CLASS || atom == atoms_.wmPid ||
                          atom == atoms_.gtkApplicationId || atom == atoms_.kdeDesktopFile;
        }
        break;
    }
    case XCB_FOCUS_IN:
    case XCB_FOCUS_OUT:
        frontDirty_ = frontDirty_ || wmCheck_ == XCB_NONE;
        break;
    case XCB_DESTROY_NOTIFY:
        if (reinterpret_cast<const xcb_destroy_notify_event_t*>(event)->window == wmCheck_) {
            wmDirty_ = true;
            frontDirty_ = true;
        }
        break;
    default: // errors about windows that went away while we looked at them, and events we do not use
        break;
    }
}

void X11Workspace::Impl::refresh() {
    for (int round = 0; frontDirty_ && round < kMaxRefreshRounds && alive(); ++round) {
        frontDirty_ = false;
        if (wmDirty_) {
            detectWindowManager();
        }
        const xcb_window_t client = wmCheck_ != XCB_NONE ? activeClient() : focusedClient();
        watch(client);
        front_ = client != XCB_NONE ? std::optional(describe({client}).front()) : std::nullopt;
        // The round trips above may have queued events that the socket notifier will never announce.
        drain();
    }
}

void X11Workspace::Impl::detectWindowManager() {
    wmDirty_ = false;
    wmCheck_ = XCB_NONE;
    const auto check = windowProperty(root_, atoms_.supportingWmCheck);
    if (!check || *check == XCB_NONE) {
        return;
    }
    // A window manager that died leaves the root property behind; its check window goes with it.
    const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(c_, *check, XCB_CW_EVENT_MASK, &mask);
    if (windowProperty(*check, atoms_.supportingWmCheck) == check) {
        wmCheck_ = *check;
    }
}

xcb_window_t X11Workspace::Impl::activeClient() {
    const auto active = windowProperty(root_, atoms_.activeWindow);
    return active ? *active : focusedClient();
}

xcb_window_t X11Workspace::Impl::focusedClient() {
    const Reply<xcb_get_input_focus_reply_t> focus(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
    if (!focus || focus->focus == XCB_NONE || focus->focus == XCB_INPUT_FOCUS_POINTER_ROOT) {
        return XCB_NONE;
    }
    xcb_window_t window = focus->focus;
    for (int depth = 0; window != XCB_NONE && window != root_ && depth < kMaxClimb; ++depth) {
        const Reply<xcb_get_property_reply_t> wmClass(
            xcb_get_property_reply(c_, requestProperty(window, XCB_ATOM_WM_CLASS, 0), nullptr));
        if (wmClass && wmClass->type != XCB_NONE) {
            return window;
        }
        const Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c_, xcb_query_tree(c_, window), nullptr));
        window = tree ? tree->parent : XCB_NONE;
    }
    return XCB_NONE;
}

void X11Workspace::Impl::watch(xcb_window_t window) {
    if (window == watched_) {
        return;
    }
    // Without a window manager the focus leaving this window is the only news of a switch.
    const std::uint32_t none = XCB_EVENT_MASK_NO_EVENT;
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_FOCUS_CHANGE;
    if (watched_ != XCB_NONE) {
        xcb_change_window_attributes(c_, watched_, XCB_CW_EVENT_MASK, &none);
    }
    if (window != XCB_NONE) {
        xcb_change_window_attributes(c_, window, XCB_CW_EVENT_MASK, &mask);
    }
    watched_ = window;
}

std::vector<AppInfo> X11Workspace::Impl::describe(const std::vector<xcb_window_t>& windows) {
    struct Pending {
        xcb_get_property_cookie_t wmClass, pid, gtkId, kdeFile;
    };
    // Every request goes out before the first reply is awaited: one round trip for the whole list.
    std::vector<Pending> pending;
    pending.reserve(windows.size());
    for (const xcb_window_t window : windows) {
        pending.push_back({requestProperty(window, XCB_ATOM_WM_CLASS, kPropertyWords),
                           requestProperty(window, atoms_.wmPid, 1),
                           requestProperty(window, atoms_.gtkApplicationId, kPropertyWords),
                           requestProperty(window, atoms_.kdeDesktopFile, kPropertyWords)});
    }
    const auto take = [this](xcb_get_property_cookie_t cookie) {
        return Reply<xcb_get_property_reply_t>(xcb_get_property_reply(c_, cookie, nullptr));
    };
    std::vector<AppInfo> apps(windows.size());
    for (std::size_t i = 0; i < windows.size(); ++i) {
        // WM_CLASS is two NUL-terminated Latin-1 strings: the instance, then the class.
        const QByteArrayList wmClass = propertyBytes(take(pending[i].wmClass).get()).split('\0');
        const QString instance = QString::fromLatin1(wmClass.value(0));
        const QString className = QString::fromLatin1(wmClass.value(1));
        const auto pid = propertyWords(take(pending[i].pid).get());
        const QString gtkId = propertyText(take(pending[i].gtkId).get());
        const QString kdeFile = propertyText(take(pending[i].kdeFile).get());
        apps[i].pid = pid.empty() ? 0 : static_cast<std::int32_t>(pid.front());
        apps[i].bundleId = !gtkId.isEmpty() ? gtkId : !kdeFile.isEmpty() ? kdeFile : instance;
        apps[i].name = !className.isEmpty() ? className : instance;
    }
    resolvePids(windows, apps);
    return apps;
}

void X11Workspace::Impl::resolvePids(const std::vector<xcb_window_t>& windows, std::vector<AppInfo>& apps) {
    if (!haveResourceExtension_) {
        return;
    }
    std::vector<std::size_t> unknown;
    std::vector<xcb_window_t> ids;
    for (std::size_t i = 0; i < windows.size(); ++i) {
        if (apps[i].pid == 0) {
            unknown.push_back(i);
            ids.push_back(windows[i]);
        }
    }
    const std::vector<std::int32_t> pids = ownerPids(c_, ids);
    for (std::size_t k = 0; k < unknown.size(); ++k) {
        apps[unknown[k]].pid = pids[k];
    }
}

std::vector<AppInfo> X11Workspace::Impl::running() {
    if (!alive()) {
        return {};
    }
    const Reply<xcb_get_property_reply_t> list(
        xcb_get_property_reply(c_, requestProperty(root_, atoms_.clientList, kPropertyWords), nullptr));
    const auto words = propertyWords(list.get());
    const std::vector<AppInfo> apps = describe({words.begin(), words.end()});
    std::vector<AppInfo> distinct;
    std::set<std::int32_t> pids;
    for (const AppInfo& app : apps) {
        const bool seen = app.pid != 0 ? !pids.insert(app.pid).second
                                       : std::any_of(distinct.begin(), distinct.end(), [&app](const AppInfo& other) {
                                             return sameApplication(app, other);
                                         });
        if (!seen) {
            distinct.push_back(app);
        }
    }
    drain();
    postCheckIfChanged();
    return distinct;
}

SubscriptionPtr X11Workspace::Impl::observe(std::function<void(const AppInfo&)> onActivate) {
    if (!alive()) {
        return std::make_unique<Subscription>();
    }
    if (!notifier_) {
        notifier_ = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(c_), QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] { settle(); });
    }
    if (observers_->callbacks.empty()) {
        // Changes before the first subscriber are history; report only what comes to the front from now on.
        drain();
        refresh();
        reported_ = front_;
    }
    const int id = observers_->nextId++;
    observers_->callbacks.emplace(id, std::move(onActivate));
    return std::make_unique<ObserverSubscription>(observers_, id);
}

void X11Workspace::Impl::settle() {
    if (!alive()) {
        // A dead connection stays readable forever; stop listening rather than spin.
        notifier_->setEnabled(false);
        front_.reset();
        return;
    }
    drain();
    refresh();
    notifyIfChanged();
}

void X11Workspace::Impl::notifyIfChanged() {
    if (!front_ || (reported_ && sameApplication(*front_, *reported_))) {
        return;
    }
    reported_ = front_;
    const AppInfo app = *front_;
    std::vector<int> ids;
    for (const auto& entry : observers_->callbacks) {
        ids.push_back(entry.first);
    }
    // A callback may end its own or another subscription; look each one up afresh.
    const std::weak_ptr<Observers> observers = observers_;
    for (const int id : ids) {
        const auto current = observers.lock();
        if (!current) {
            return;
        }
        const auto callback = current->callbacks.find(id);
        if (callback != current->callbacks.end()) {
            const auto copy = callback->second;
            copy(app);
        }
    }
}

void X11Workspace::Impl::postCheckIfChanged() {
    // Events we drained outside the notifier will not wake it, so the observers hear about them on the next turn
    // of the event loop rather than from inside this call.
    if (!notifier_ || observers_->callbacks.empty() || !front_ || (reported_ && sameApplication(*front_, *reported_))) {
        return;
    }
    QMetaObject::invokeMethod(
        notifier_.get(), [this] { settle(); }, Qt::QueuedConnection);
}

X11Workspace::X11Workspace() : impl_(std::make_unique<Impl>()) {}

X11Workspace::~X11Workspace() = default;

std::optional<AppInfo> X11Workspace::frontApplication() {
    return impl_->front();
}

std::vector<AppInfo> X11Workspace::runningApplications() {
    return impl_->running();
}

SubscriptionPtr X11Workspace::observeActivations(std::function<void(const AppInfo&)> onActivate) {
    return impl_->observe(std::move(onActivate));
}

bool X11Workspace::activate(std::int32_t pid) {
    return activator_ && activator_(pid);
}

bool X11Workspace::openUrl(const QUrl& url) {
    return url.isValid() && QDesktopServices::openUrl(url);
}

} // namespace tillory::platform::nix
