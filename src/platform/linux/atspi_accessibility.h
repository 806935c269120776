#pragma once

#include "platform/api/accessibility.h"

#include <functional>
#include <memory>
#include <optional>

namespace tillory::platform::nix {

/// Other applications' focused text elements, read over AT-SPI: roles, carets, selections and their screen bounds.
/// Windows come from X11 (X11WindowElements; LinuxAccessibility joins both), so `application`, writes and actions
/// do nothing here. Main thread only: the focus listener is dispatched by the GLib main context that Qt's event
/// loop runs.
class AtspiAccessibility final : public Accessibility {
public:
    /// `trusted` answers whether the program may act for the user (on Linux: whether it controls the keyboard).
    /// `frontProcess` (optional) answers the process of the application in front, 0 when unknown: the focused
    /// element is then looked for in that application only. `keyboardHeldByUs` (optional) answers whether this
    /// program holds the keyboard right now: toolkits then drop their focus state, and the element that last had
    /// the focus in the application in front is answered instead.
    explicit AtspiAccessibility(std::function<bool()> trusted, std::function<std::int32_t()> frontProcess = {},
                                std::function<bool()> keyboardHeldByUs = {});
    ~AtspiAccessibility() override;
    AtspiAccessibility(const AtspiAccessibility&) = delete;
    AtspiAccessibility& operator=(const AtspiAccessibility&) = delete;

    /// False when no session or accessibility bus answered at start-up; every read then answers nothing.
    bool available() const;
    /// For desktops that give applications no global positions (Wayland): positions are then asked relative to
    /// the element's window, and `windowOrigin` answers where the surface of that process's focused window (else
    /// its front-most one) starts, in global logical coordinates; nothing when unknown, and so is the position.
    void setWindowOrigin(std::function<std::optional<Point>(std::int32_t pid)> windowOrigin);

    bool isTrusted() const override;
    /// Linux shows no permission prompt; same answer as `isTrusted`.
    bool isTrustedPrompting() override { return isTrusted(); }

    /// Stands for the whole desktop; only "AXFocusedUIElement" is read from it.
    Element systemWide() override { return systemWide_; }
    /// Always nothing: application and window elements come from the X11 window list.
    Element application(std::int32_t) override { return nullptr; }

    /// "AXFocusedUIElement" on `systemWide()`; "AXRole" (QString), "AXSelectedTextRange" (TextRange, character
    /// offsets), "AXPosition" (Point) and "AXSize" (Size) on an element. Positions are in the global top-left
    /// space of logical points (X root pixels divided by the screen's scale; on Wayland, see `setWindowOrigin`). Nothing for other names, foreign elements, missing interfaces, a vanished
    /// application, or one that did not answer within half a second (then skipped for a few seconds).
    AXValue attribute(const Element& element, const QString& name) override;
    /// "AXBoundsForRange" with a TextRange: a Rect in the same space; a caret (length 0) gives a zero-width rect
    /// with the line's height. Nothing otherwise.
    AXValue parameterizedAttribute(const Element& element, const QString& name, const AXValue& parameter) override;
    /// Always false.
    bool setAttribute(const Element&, const QString&, const AXValue&) override { return false; }
    /// Always false.
    bool performAction(const Element&, const QString&) override { return false; }
    /// Always 0.
    std::uint32_t windowNumber(const Element&) override { return 0; }

private:
    class Session;

    std::optional<Rect> toGlobal(const Rect& rect, std::int32_t pid) const;

    std::function<bool()> trusted_;
    std::function<std::optional<Point>(std::int32_t)> windowOrigin_;
    std::unique_ptr<Session> session_;
    Element systemWide_;
};

} // namespace tillory::platform::nix
