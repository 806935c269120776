#pragma once

#include "platform/api/workspace.h"
#include "platform/linux/screen_layout.h"

#include <QVariant>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace tillory::platform::nix {

/// The strips of the root window a panel reserves (EWMH struts), in X root pixels: left, right, top, bottom, each
/// as a thickness from that edge of the root and the span along the edge it covers (first and last pixel).
struct Strut {
    std::array<double, 4> thickness{};
    std::array<std::array<double, 2>, 4> span{};
};

/// A strut from _NET_WM_STRUT_PARTIAL (12 words), else _NET_WM_STRUT (4 words, whole edges). Sides thicker than
/// the root or with a span that ends before it starts count as 0; nothing when no side is left.
std::optional<Strut> parseStrut(const std::vector<std::uint32_t>& partial, const std::vector<std::uint32_t>& plain,
                                Size root);

/// What the window manager reserves beyond its clients' struts (a panel of its own, such as icewm's taskbar, is no
/// client): each side of its work area (_NET_WORKAREA, X root pixels) that lies further in than every client's
/// strut on that side, as a strut along the whole edge. Nothing when there is no such side or the work area is
/// not inside the root.
std::optional<Strut> managerStrut(const std::vector<Strut>& struts, const Rect& workarea, Size root);

/// A monitor's work area: its rectangle without the struts that reach into it (X root pixels). A strut that would
/// leave nothing is ignored.
Rect workArea(const Rect& monitor, const std::vector<Strut>& struts, Size root);

/// Screens of an X11 desktop: Qt's monitors (RandR), each with its own work area from the struts of the window
/// manager's clients (Qt's work area is the whole desktop's _NET_WORKAREA cut to each monitor, which takes a
/// panel's strip from every monitor, also those it does not stand on). What the window manager reserves for
/// panels of its own is known only from _NET_WORKAREA, so it is taken from every monitor along that edge. Without
/// an EWMH window manager, Qt's work areas. The answer is kept until a monitor, the client list, the work area,
/// the workspace or a panel's struts change. Main thread.
class X11Screens final : public Screens {
public:
    X11Screens();
    ~X11Screens() override;
    X11Screens(const X11Screens&) = delete;
    X11Screens& operator=(const X11Screens&) = delete;

    std::vector<ScreenInfo> screens() override;
    Point mouseLocation() override;
    double doubleClickInterval() override;
    SubscriptionPtr observeChanges(std::function<void()> onChange) override;
    /// The notch area's width from now on (see notchAreaWidth).
    void setNotchWidth(double width);

    class Impl;

private:
    std::unique_ptr<Impl> d_;
};

} // namespace tillory::platform::nix
