#include "platform/x11/x11_window_elements.h"

#include "platform/linux/native_pixels.h"
#include "platform/x11/x11_reply.h"

#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace tillory::platform::nix {
namespace {

// EWMH source indication: a pager or task list acting for the user.
constexpr std::uint32_t kSourcePager = 2;
// _NET_MOVERESIZE_WINDOW: NorthWest gravity (x, y are the frame's top-left), which fields are set, the source.
constexpr std::uint32_t kGravityNorthWest = 1;
constexpr std::uint32_t kMoveXY = (1u << 8) | (1u << 9);
constexpr std::uint32_t kResizeWH = (1u << 10) | (1u << 11);
// _NET_RESTACK_WINDOW detail: above every sibling.
constexpr std::uint32_t kStackAbove = 0;
// Processes whose last raised window is remembered; beyond that the memory starts afresh.
constexpr std::size_t kMaxRemembered = 256;
// ICCCM WM_CHANGE_STATE to IconicState.
constexpr std::uint32_t kIconicState = 3;
// _NET_WM_STATE action.
constexpr std::uint32_t kStateRemove = 0;
// How long a write waits for the window manager: to take a state away, to apply a frame. A window manager
// answers within a few milliseconds; one that does not must not hold the program up for longer.
constexpr int kStateWaitMs = 250;
constexpr int kFrameWaitMs = 100;
// How long a window manager gets to announce new frame extents after leaving the maximised state.
constexpr int kExtentsWaitMs = 80;
constexpr unsigned long kPollUs = 1000;

class AppElement final : public ElementHandle {
public:
    explicit AppElement(std::int32_t process) : pid(process) {}
    const std::int32_t pid;
};

class WindowElement final : public ElementHandle {
public:
    WindowElement(std::int32_t process, xcb_window_t id) : pid(process), window(id) {}
    const std::int32_t pid;
    const xcb_window_t window;
};

bool isApplicationWindow(const ClientWindow& w) {
    const bool kindFits = w.kind == ClientKind::Normal || w.kind == ClientKind::Dialog || w.kind == ClientKind::Utility;
    return kindFits && !w.withdrawn;
}

Rect whole(const Rect& r) {
    return {std::round(r.x), std::round(r.y), std::round(r.width), std::round(r.height)};
}

/// Polls `done` until it holds or `ms` have passed; answers `done`'s last word.
template <typename Done> bool waitUntil(int ms, Done done) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() >= ms) {
            return false;
        }
        QThread::usleep(kPollUs);
    }
    return true;
}

std::uint32_t toWord(double value) {
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(std::lround(std::clamp(value, -32768.0, 32767.0))));
}

} // namespace

X11WindowElements::X11WindowElements(X11Clients& clients) : clients_(clients) {}

bool X11WindowElements::owns(const Element& element) {
    return dynamic_cast<const AppElement*>(element.get()) || dynamic_cast<const WindowElement*>(element.get());
}

Element X11WindowElements::application(std::int32_t pid) {
    if (pid <= 0) {
        return nullptr;
    }
    const auto windows = clients_.read();
    const bool known =
        std::any_of(windows.begin(), windows.end(), [pid](const ClientWindow& w) { return w.pid == pid; });
    return known ? std::make_shared<AppElement>(pid) : nullptr;
}

AXValue X11WindowElements::attribute(const Element& element, const QString& name) {
    if (const auto* app = dynamic_cast<const AppElement*>(element.get())) {
        if (name != AXAttribute::Windows && name != AXAttribute::FocusedWindow) {
            return {};
        }
        std::vector<Element> mine;
        Element shown;
        Element active;
        const xcb_window_t activeId = clients_.activeWindow();
        for (const ClientWindow& w : clients_.read()) {
            if (w.pid != app->pid || !isApplicationWindow(w)) {
                continue;
            }
            auto window = std::make_shared<WindowElement>(w.pid, w.id);
            if (w.id == activeId) {
                active = window;
            }
            if (!shown && w.viewable && !w.hidden) {
                shown = window;
            }
            mine.push_back(std::move(window));
        }
        if (name == AXAttribute::Windows) {
            return mine;
        }
        const Element focused = active ? active : shown;
        return focused ? AXValue{focused} : AXValue{};
    }
    const auto* handle = dynamic_cast<const WindowElement*>(element.get());
    if (!handle) {
        return {};
    }
    const auto found = clients_.read(handle->window);
    if (found.empty()) {
        return {};
    }
    const ClientWindow& w = found.front();
    if (name == AXAttribute::Title) {
        return w.title;
    }
    if (name == AXAttribute::Role) {
        return AXRole::Window;
    }
    if (name == AXAttribute::Minimized) {
        return w.hidden;
    }
    if (name == AXAttribute::Position) {
        return logicalFromNative(w.visibleFrame()).origin();
    }
    if (name == AXAttribute::Size) {
        return logicalFromNative(w.visibleFrame()).size();
    }
    return {};
}

bool X11WindowElements::setAttribute(const Element& element, const QString& name, const AXValue& value) {
    const auto* handle = dynamic_cast<const WindowElement*>(element.get());
    if (!handle) {
        return false;
    }
    const auto found = clients_.read(handle->window);
    if (found.empty()) {
        return false;
    }
    const ClientWindow& w = found.front();
    if (const auto* minimized = std::get_if<bool>(&value); minimized && name == AXAttribute::Minimized) {
        if (*minimized) {
            clients_.sendToWindowManager(w.id, clients_.atom("WM_CHANGE_STATE"), {kIconicState, 0, 0, 0, 0});
        } else if (w.hidden) {
            // ICCCM: mapping an iconic window asks for it back in the normal state. A frame written next must
            // find the window shown, so wait for it.
            xcb_map_window(clients_.connection(), w.id);
            xcb_flush(clients_.connection());
            if (worthWaiting(w)) {
                waitOrRemember(w, kStateWaitMs, [&] {
                    const auto now = clients_.read(w.id);
                    return now.empty() || !now.front().hidden;
                });
            }
        }
        return true;
    }
    const auto* point = std::get_if<Point>(&value);
    const auto* size = std::get_if<Size>(&value);
    const auto* frame = std::get_if<Rect>(&value);
    const bool move = point && name == AXAttribute::Position;
    const bool resize = size && name == AXAttribute::Size;
    const bool both = frame && name == AXAttribute::Frame;
    if (!move && !resize && !both) {
        return false;
    }
    const auto window = restored(w);
    if (!window) {
        return false;
    }
    Rect target = logicalFromNative(window->visibleFrame());
    if (move) {
        target.x = point->x;
        target.y = point->y;
    } else if (resize) {
        target.width = size->width;
        target.height = size->height;
    } else {
        target = *frame;
    }
    moveResize(*window, nativeFromLogical(target), !move);
    return true;
}

bool X11WindowElements::managerRunning() {
    // A window manager that died leaves the root's property behind; its check window, which names itself, goes.
    const xcb_atom_t check = clients_.atom("_NET_SUPPORTING_WM_CHECK");
    const auto named = [&](xcb_window_t window) -> xcb_window_t {
        xcb_generic_error_t* error = nullptr;
        const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            clients_.connection(), xcb_get_property(clients_.connection(), 0, window, check, XCB_ATOM_WINDOW, 0, 1),
            &error));
        std::free(error);
        const auto found = words(reply.get());
        return found.empty() ? XCB_NONE : found.front();
    };
    const xcb_window_t supporting = named(clients_.root());
    return supporting != XCB_NONE && named(supporting) == supporting;
}

bool X11WindowElements::worthWaiting(const ClientWindow& w) {
    const auto silent = unanswered_.find(w.id);
    if (silent != unanswered_.end()) {
        if (whole(w.visibleFrame()) == silent->second) {
            return false;
        }
        unanswered_.erase(silent); // the window manager has acted on the window since: it answers again
    }
    return managerRunning();
}

template <typename Done> bool X11WindowElements::waitOrRemember(const ClientWindow& w, int ms, Done done) {
    if (waitUntil(ms, done)) {
        return true;
    }
    ++waitsRunOut_;
    if (unanswered_.size() >= kMaxRemembered) {
        unanswered_.clear();
    }
    unanswered_[w.id] = whole(w.visibleFrame());
    return false;
}

std::optional<ClientWindow> X11WindowElements::restored(const ClientWindow& w) {
    if (!w.maximized && !w.fullscreen) {
        return w;
    }
    const xcb_atom_t state = clients_.atom("_NET_WM_STATE");
    if (w.maximized) {
        clients_.sendToWindowManager(w.id, state,
                                     {kStateRemove, clients_.atom("_NET_WM_STATE_MAXIMIZED_VERT"),
                                      clients_.atom("_NET_WM_STATE_MAXIMIZED_HORZ"), kSourcePager, 0});
    }
    if (w.fullscreen) {
        clients_.sendToWindowManager(w.id, state,
                                     {kStateRemove, clients_.atom("_NET_WM_STATE_FULLSCREEN"), 0, kSourcePager, 0});
    }
    const auto read = [&] {
        const auto found = clients_.read(w.id);
        return found.empty() ? std::nullopt : std::optional(found.front());
    };
    if (!worthWaiting(w)) {
        return read();
    }
    // The frame's extents change with the state (openbox drops its borders while maximised), so the window is
    // read again once the state has gone.
    std::optional<ClientWindow> now;
    const bool left = waitOrRemember(w, kStateWaitMs, [&] {
        now = read();
        return !now || (!now->maximized && !now->fullscreen);
    });
    // Openbox announces the new extents a moment after the state: frames computed from the old ones come out a few
    // pixels too large. Managers that keep their extents (icewm) cost this short wait once.
    if (left && now && now->extents == w.extents) {
        waitUntil(kExtentsWaitMs, [&] {
            const auto found = clients_.read(w.id);
            now = found.empty() ? std::nullopt : std::optional(found.front());
            return !now || now->extents != w.extents;
        });
    }
    return now;
}

void X11WindowElements::moveResize(const ClientWindow& w, const Rect& target, bool resize) {
    const Rect before = whole(w.visibleFrame());
    // Between the visible frame and the client: the window manager's frame outside, drawn shadows inside.
    const double left = double(w.gtkExtents[0]);
    const double top = double(w.gtkExtents[2]);
    const Size outside{before.width - w.bounds.width, before.height - w.bounds.height};
    const Rect wanted = whole(target);
    Size client = w.bounds.size();
    if (resize) {
        // Asked for as the client allows it: some managers (icewm) let a pager make a window smaller than its
        // minimum, which the application never agreed to.
        client = constrainedSize(clients_.sizeHints(w.id), {std::max(1.0, wanted.width - outside.width),
                                                            std::max(1.0, wanted.height - outside.height)});
    }
    const Rect expected{wanted.x, wanted.y, client.width + outside.width, client.height + outside.height};
    if (expected == before) {
        return; // nothing the window manager would change
    }
    // NorthWest gravity: x, y are the top-left of the window manager's frame, which holds the shadows too. Every
    // field is given, also for a move: fluxbox makes up a height for a request without one.
    const std::uint32_t flags = kGravityNorthWest | (kSourcePager << 12) | kMoveXY | kResizeWH;
    clients_.sendToWindowManager(
        w.id, clients_.atom("_NET_MOVERESIZE_WINDOW"),
        {flags, toWord(wanted.x - left), toWord(wanted.y - top), toWord(client.width), toWord(client.height)});
    if (!worthWaiting(w)) {
        return;
    }
    // Done when the frame is what the hints allow, or has changed and stays put (a manager with rules of its
    // own); a request that is refused or never answered runs into the bound.
    std::optional<Rect> last;
    waitOrRemember(w, kFrameWaitMs, [&] {
        const auto found = clients_.read(w.id);
        if (found.empty()) {
            return true;
        }
        const Rect seen = whole(found.front().visibleFrame());
        const bool settled = seen != before && last == seen;
        last = seen;
        return seen == expected || settled;
    });
}

bool X11WindowElements::performAction(const Element& element, const QString& action) {
    const auto* handle = dynamic_cast<const WindowElement*>(element.get());
    if (!handle || action != kAXRaiseAction) {
        return false;
    }
    const auto found = clients_.read(handle->window);
    if (found.empty()) {
        return false;
    }
    raise(found.front());
    return true;
}

void X11WindowElements::raise(const ClientWindow& w) {
    const xcb_timestamp_t time = clients_.serverTime();
    const auto current = clients_.currentDesktop();
    if (w.desktop != kAllDesktops && current && w.desktop != *current) {
        clients_.sendToWindowManager(clients_.root(), clients_.atom("_NET_CURRENT_DESKTOP"),
                                     {w.desktop, time, 0, 0, 0});
    }
    // Some window managers (icewm) give a pager's activation the focus but leave the window where it is in the
    // stack; asking for the restack first brings it to the front everywhere.
    clients_.sendToWindowManager(w.id, clients_.atom("_NET_RESTACK_WINDOW"),
                                 {kSourcePager, XCB_NONE, kStackAbove, 0, 0});
    clients_.sendToWindowManager(w.id, clients_.atom("_NET_ACTIVE_WINDOW"), {kSourcePager, time, XCB_NONE, 0, 0});
    if (lastRaised_.size() >= kMaxRemembered) {
        lastRaised_.clear();
    }
    lastRaised_[w.pid] = w.id;
}

bool X11WindowElements::activateApplication(std::int32_t pid) {
    if (pid <= 0) {
        return false;
    }
    const auto windows = clients_.read();
    const auto remembered = lastRaised_.find(pid);
    const auto mine = [pid](const ClientWindow& w) { return w.pid == pid && isApplicationWindow(w); };
    auto chosen = std::find_if(windows.begin(), windows.end(), [&](const ClientWindow& w) {
        return mine(w) && remembered != lastRaised_.end() && w.id == remembered->second;
    });
    if (chosen == windows.end()) {
        chosen = std::find_if(windows.begin(), windows.end(), mine);
    }
    if (chosen == windows.end()) {
        return false;
    }
    raise(*chosen);
    return true;
}

std::uint32_t X11WindowElements::windowNumber(const Element& element) {
    const auto* handle = dynamic_cast<const WindowElement*>(element.get());
    return handle ? handle->window : 0;
}

} // namespace tillory::platform::nix
