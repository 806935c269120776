#include "platform/linux/x11_window_elements.h"

#include "platform/linux/native_pixels.h"

#include <algorithm>
#include <cmath>

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
        return logicalFromNative(w.frame()).origin();
    }
    if (name == AXAttribute::Size) {
        return logicalFromNative(w.frame()).size();
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
        } else {
            // ICCCM: mapping an iconic window asks for it back in the normal state.
            xcb_map_window(clients_.connection(), w.id);
            xcb_flush(clients_.connection());
        }
        return true;
    }
    const Rect frame = logicalFromNative(w.frame());
    const xcb_atom_t moveResize = clients_.atom("_NET_MOVERESIZE_WINDOW");
    const std::uint32_t flags = kGravityNorthWest | (kSourcePager << 12);
    if (const auto* point = std::get_if<Point>(&value); point && name == AXAttribute::Position) {
        const Rect target = nativeFromLogical(Rect{point->x, point->y, frame.width, frame.height});
        clients_.sendToWindowManager(w.id, moveResize, {flags | kMoveXY, toWord(target.x), toWord(target.y), 0, 0});
        return true;
    }
    if (const auto* size = std::get_if<Size>(&value); size && name == AXAttribute::Size) {
        const Rect target = nativeFromLogical(Rect{frame.x, frame.y, size->width, size->height});
        // The request names the client's size; the frame's decorations come on top of it.
        const double width = std::max(1.0, target.width - w.extents[0] - w.extents[1]);
        const double height = std::max(1.0, target.height - w.extents[2] - w.extents[3]);
        clients_.sendToWindowManager(w.id, moveResize, {flags | kResizeWH, 0, 0, toWord(width), toWord(height)});
        return true;
    }
    return false;
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
