#include "platform/wayland/sway_window_elements.h"

#include <algorithm>
#include <cmath>

namespace tillory::platform::nix {

namespace {

// Processes whose last raised window is remembered; beyond that the memory starts afresh.
constexpr std::size_t kMaxRemembered = 256;
// Far beyond any layout; keeps a wild request from turning into a number sway would misread.
constexpr double kMaxCoordinate = 1 << 20;

class AppElement final : public ElementHandle {
public:
    explicit AppElement(std::int32_t process) : pid(process) {}
    const std::int32_t pid;
};

class WindowElement final : public ElementHandle {
public:
    WindowElement(std::int32_t process, std::uint32_t id) : pid(process), window(id) {}
    const std::int32_t pid;
    const std::uint32_t window;
};

long whole(double value, double low) {
    return std::lround(std::clamp(value, low, kMaxCoordinate));
}

} // namespace

SwayWindowElements::SwayWindowElements(SwayIpc& ipc, SwayFocusHistory& history) : ipc_(ipc), history_(history) {}

bool SwayWindowElements::owns(const Element& element) {
    return dynamic_cast<const AppElement*>(element.get()) || dynamic_cast<const WindowElement*>(element.get());
}

Element SwayWindowElements::application(std::int32_t pid) {
    if (pid <= 0) {
        return nullptr;
    }
    const auto windows = swayWindows(ipc_.tree());
    const bool known = std::any_of(windows.begin(), windows.end(), [pid](const SwayWindow& w) { return w.pid == pid; });
    return known ? std::make_shared<AppElement>(pid) : nullptr;
}

std::optional<SwayWindow> SwayWindowElements::find(std::uint32_t window) {
    for (SwayWindow& w : swayWindows(ipc_.tree())) {
        if (w.id == window) {
            return std::move(w);
        }
    }
    return std::nullopt;
}

AXValue SwayWindowElements::attribute(const Element& element, const QString& name) {
    if (const auto* app = dynamic_cast<const AppElement*>(element.get())) {
        if (name != AXAttribute::Windows && name != AXAttribute::FocusedWindow) {
            return {};
        }
        std::vector<Element> mine;
        Element focused;
        Element shown;
        for (const SwayWindow& w : history_.windows(ipc_.tree())) {
            if (w.pid != app->pid) {
                continue;
            }
            auto window = std::make_shared<WindowElement>(w.pid, w.id);
            if (w.focused) {
                focused = window;
            }
            if (!shown && w.visible) {
                shown = window;
            }
            mine.push_back(std::move(window));
        }
        if (name == AXAttribute::Windows) {
            return mine;
        }
        const Element chosen = focused ? focused : shown;
        return chosen ? AXValue{chosen} : AXValue{};
    }
    const auto* handle = dynamic_cast<const WindowElement*>(element.get());
    const auto w = handle ? find(handle->window) : std::nullopt;
    if (!w) {
        return {};
    }
    if (name == AXAttribute::Title) {
        return w->title;
    }
    if (name == AXAttribute::Role) {
        return AXRole::Window;
    }
    if (name == AXAttribute::Minimized) {
        return w->workspace == kSwayScratchpad;
    }
    if (name == AXAttribute::Position) {
        return w->frame.origin();
    }
    if (name == AXAttribute::Size) {
        return w->frame.size();
    }
    return {};
}

bool SwayWindowElements::setAttribute(const Element& element, const QString& name, const AXValue& value) {
    const auto* handle = dynamic_cast<const WindowElement*>(element.get());
    const auto w = handle ? find(handle->window) : std::nullopt;
    if (!w) {
        return false;
    }
    // Only numbers go into commands: criteria built from titles or app ids could be made to say anything.
    const QString criteria = QStringLiteral("[con_id=%1] ").arg(w->id);
    if (const auto* minimized = std::get_if<bool>(&value); minimized && name == AXAttribute::Minimized) {
        const bool hidden = w->workspace == kSwayScratchpad;
        if (*minimized == hidden) {
            return true; // "scratchpad show" on a shown scratchpad window would hide it again
        }
        return ipc_.runCommands(criteria +
                                (*minimized ? QStringLiteral("move scratchpad") : QStringLiteral("scratchpad show")));
    }
    const auto* point = std::get_if<Point>(&value);
    const auto* size = std::get_if<Size>(&value);
    const auto* frame = std::get_if<Rect>(&value);
    Rect target = w->frame;
    if (point && name == AXAttribute::Position) {
        target.x = point->x;
        target.y = point->y;
    } else if (size && name == AXAttribute::Size) {
        target.width = size->width;
        target.height = size->height;
    } else if (frame && name == AXAttribute::Frame) {
        target = *frame;
    } else {
        return false;
    }
    if (!target.isFinite()) {
        return false;
    }
    // Only a floating window takes an absolute position; a tiled one is lifted out of its layout.
    const QString command = criteria + (w->fullscreen ? QStringLiteral("fullscreen disable, ") : QString()) +
                            QStringLiteral("floating enable, resize set %1 %2, move absolute position %3 %4")
                                .arg(whole(target.width, 1))
                                .arg(whole(target.height, 1))
                                .arg(whole(target.x, -kMaxCoordinate))
                                .arg(whole(target.y, -kMaxCoordinate));
    return ipc_.runCommands(command);
}

bool SwayWindowElements::performAction(const Element& element, const QString& action) {
    const auto* handle = dynamic_cast<const WindowElement*>(element.get());
    if (!handle || action != kAXRaiseAction) {
        return false;
    }
    const auto w = find(handle->window);
    return w && raise(*w);
}

bool SwayWindowElements::raise(const SwayWindow& window) {
    if (!ipc_.runCommands(QStringLiteral("[con_id=%1] focus").arg(window.id))) {
        return false;
    }
    history_.noteFocus(window.id);
    if (lastRaised_.size() >= kMaxRemembered) {
        lastRaised_.clear();
    }
    lastRaised_[window.pid] = window.id;
    return true;
}

bool SwayWindowElements::activateApplication(std::int32_t pid) {
    if (pid <= 0) {
        return false;
    }
    const auto windows = history_.windows(ipc_.tree());
    const auto remembered = lastRaised_.find(pid);
    auto chosen = std::find_if(windows.begin(), windows.end(), [&](const SwayWindow& w) {
        return w.pid == pid && remembered != lastRaised_.end() && w.id == remembered->second;
    });
    if (chosen == windows.end()) {
        chosen = std::find_if(windows.begin(), windows.end(), [pid](const SwayWindow& w) { return w.pid == pid; });
    }
    return chosen != windows.end() && raise(*chosen);
}

std::uint32_t SwayWindowElements::windowNumber(const Element& element) {
    const auto* handle = dynamic_cast<const WindowElement*>(element.get());
    return handle ? handle->window : 0;
}

} // namespace tillory::platform::nix
