#pragma once

#include "platform/api/geometry.h"

#include <QString>

#include <xcb/xcb.h>

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tillory::platform::nix {

/// What a managed window is, from the first type in its _NET_WM_WINDOW_TYPE this program knows.
enum class ClientKind { Normal, Dialog, Utility, Dock, Desktop, Splash, Notification, Menu, Tooltip };

/// _NET_WM_DESKTOP of a window shown on every workspace (and of one that does not say).
constexpr std::uint32_t kAllDesktops = 0xFFFFFFFF;

/// One window of the window manager's client list, as the server and the window manager describe it.
/// Coordinates are X root pixels.
struct ClientWindow {
    xcb_window_t id = XCB_NONE;
    /// _NET_WM_PID, else the X-Resource owner of the window; 0 when unknown.
    std::int32_t pid = 0;
    /// _NET_WM_NAME (UTF-8), else WM_NAME; empty when the window has none.
    QString title;
    /// WM_CLASS: instance and class.
    QString instance;
    QString className;
    /// _GTK_APPLICATION_ID, else _KDE_NET_WM_DESKTOP_FILE; may be empty.
    QString appId;
    ClientKind kind = ClientKind::Normal;
    /// _NET_WM_STATE_SKIP_TASKBAR or _SKIP_PAGER.
    bool skipTaskbar = false;
    /// Minimised: _NET_WM_STATE_HIDDEN or ICCCM WM_STATE Iconic.
    bool hidden = false;
    /// ICCCM WM_STATE Withdrawn: the client has taken the window back.
    bool withdrawn = false;
    /// Mapped, with every ancestor mapped.
    bool viewable = false;
    std::uint32_t desktop = kAllDesktops;
    /// _NET_WM_WINDOW_OPACITY as a fraction; 1 when absent.
    double alpha = 1.0;
    /// The client area, without the window manager's frame.
    Rect bounds;
    /// _NET_WM_STATE_MAXIMIZED_VERT or _HORZ; _NET_WM_STATE_FULLSCREEN.
    bool maximized = false;
    bool fullscreen = false;
    /// _NET_FRAME_EXTENTS: the window manager's decorations around the client (left, right, top, bottom).
    std::array<std::uint32_t, 4> extents{};
    /// _GTK_FRAME_EXTENTS: the shadows a client that draws its own decorations keeps inside its window.
    std::array<std::uint32_t, 4> gtkExtents{};
    /// What the user sees as the window: the client with the window manager's frame and without drawn shadows.
    Rect visibleFrame() const {
        const double left = double(extents[0]) - gtkExtents[0];
        const double top = double(extents[2]) - gtkExtents[2];
        return {bounds.x - left, bounds.y - top, bounds.width + left + double(extents[1]) - gtkExtents[1],
                bounds.height + top + double(extents[3]) - gtkExtents[3]};
    }
};

/// Frame or shadow extents as another program wrote them, with nonsense dropped: a side over 256 pixels (or
/// negative, written as a huge cardinal) counts as 0, and so do all four when the property is not four words or,
/// for shadows drawn inside a `width` x `height` window, when they would leave nothing of it.
std::array<std::uint32_t, 4> saneExtents(const std::vector<std::uint32_t>& words, double width = 0, double height = 0);

/// The sizes of WM_NORMAL_HINTS (ICCCM); 0 where the client gives none.
struct SizeHints {
    Size min;
    Size max;
    Size increment;
    Size base;
};
/// Nonsense (maxima below minima, sizes beyond 32767) is dropped as if absent.
SizeHints parseSizeHints(const std::vector<std::uint32_t>& words);
/// The client size a window manager that honours the hints gives a request for `wanted`.
Size constrainedSize(const SizeHints& hints, Size wanted);

/// An own xcb connection to an X display with the reads and requests that windows need. Construction never
/// fails: without a server every read answers nothing and requests do nothing. One thread at a time.
class X11Clients {
public:
    /// `display` as for XOpenDisplay; empty means $DISPLAY.
    explicit X11Clients(const std::string& display = {});
    ~X11Clients();
    X11Clients(const X11Clients&) = delete;
    X11Clients& operator=(const X11Clients&) = delete;

    bool alive() const;
    /// The display this connects to, as given; empty for $DISPLAY.
    const std::string& display() const { return display_; }
    xcb_connection_t* connection() const { return c_; }
    xcb_window_t root() const { return root_; }
    /// Interned once per name, also when no window carries it yet.
    xcb_atom_t atom(const char* name);

    /// Every window of the client list, front to back (_NET_CLIENT_LIST_STACKING, else _NET_CLIENT_LIST).
    /// A window that vanishes while it is read, or whose geometry cannot be read, is left out; a property of the
    /// wrong type or format counts as absent. Empty without an EWMH window manager. With `only`, just that
    /// window, when it is in the client list.
    std::vector<ClientWindow> read(xcb_window_t only = XCB_NONE);
    /// _NET_CURRENT_DESKTOP; nothing when the window manager does not say.
    std::optional<std::uint32_t> currentDesktop();
    /// _NET_ACTIVE_WINDOW; XCB_NONE when none.
    xcb_window_t activeWindow();
    /// WM_NORMAL_HINTS of a window; all 0 when it has none or is gone.
    SizeHints sizeHints(xcb_window_t window);

    /// A server timestamp for requests that want one: the time of a property change on a window of our own.
    /// XCB_CURRENT_TIME without a server.
    xcb_timestamp_t serverTime();
    /// A client message to the window manager through the root window (EWMH requests).
    void sendToWindowManager(xcb_window_t window, xcb_atom_t type, const std::array<std::uint32_t, 5>& data);
    /// Waits until the server has handled every request sent so far.
    void sync();

private:
    void dropQueuedEvents();
    void resolvePids(std::vector<ClientWindow>& windows);
    /// `ids`, bottom to top, put in the order the server stacks their top-level frames.
    std::vector<std::uint32_t> stackedByServer(std::vector<std::uint32_t> ids);

    std::string display_;
    xcb_connection_t* c_ = nullptr;
    xcb_window_t root_ = XCB_NONE;
    xcb_window_t stamp_ = XCB_NONE; // our own unmapped window for timestamps
    bool haveResourceExtension_ = false;
    std::map<std::string, xcb_atom_t> atoms_;
};

} // namespace tillory::platform::nix
