#include "platform/x11/x11_clients.h"

#include "platform/x11/x11_owner_pids.h"
#include "platform/x11/x11_reply.h"

#include "platform/x11/compound_text.h"

#include <QByteArrayList>

#include <xcb/res.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <utility>

namespace tillory::platform::nix {
namespace {

// A client list longer than this is garbage, not a desktop.
constexpr std::uint32_t kMaxClients = 4096;
// Titles and class names beyond 4 KiB are cut; nobody reads that much in a tile.
constexpr std::uint32_t kTextWords = 1024;
constexpr std::uint32_t kListWords = 64;
// ICCCM WM_STATE values.
constexpr std::uint32_t kWithdrawnState = 0;
constexpr std::uint32_t kIconicState = 3;

QByteArray bytes(const xcb_get_property_reply_t* reply) {
    if (!reply || reply->type == XCB_NONE || reply->format != 8) {
        return {};
    }
    QByteArray data(static_cast<const char*>(xcb_get_property_value(reply)), xcb_get_property_value_length(reply));
    while (data.endsWith('\0')) {
        data.chop(1);
    }
    return data;
}

struct Pending {
    xcb_get_window_attributes_cookie_t attributes;
    xcb_get_geometry_cookie_t geometry;
    xcb_translate_coordinates_cookie_t position;
    xcb_get_property_cookie_t type, state, wmState, desktop, pid, netName, wmName, wmClass, gtkId, kdeFile, opacity,
        extents, gtkExtents, transient;
};

// A frame or a shadow wider than this is not one.
constexpr std::uint32_t kMaxExtent = 256;
constexpr double kMaxSize = 32767;
// WM_NORMAL_HINTS flags and word positions.
constexpr std::uint32_t kMinSizeFlag = 16;
constexpr std::uint32_t kMaxSizeFlag = 32;
constexpr std::uint32_t kIncrementFlag = 64;
constexpr std::uint32_t kBaseSizeFlag = 256;
constexpr std::size_t kHintWords = 18;

} // namespace

std::array<std::uint32_t, 4> saneExtents(const std::vector<std::uint32_t>& words, double width, double height) {
    std::array<std::uint32_t, 4> sides{};
    if (words.size() != 4) {
        return sides;
    }
    for (std::size_t i = 0; i < 4; ++i) {
        sides[i] = words[i] <= kMaxExtent ? words[i] : 0;
    }
    const bool inside = width > 0 || height > 0;
    if (inside && (sides[0] + sides[1] >= width || sides[2] + sides[3] >= height)) {
        return {};
    }
    return sides;
}

SizeHints parseSizeHints(const std::vector<std::uint32_t>& words) {
    SizeHints hints;
    if (words.size() < kHintWords) {
        return hints;
    }
    const auto size = [&words](std::size_t at) {
        const auto sane = [](std::uint32_t v) { return v <= kMaxSize ? double(v) : 0.0; };
        return Size{sane(words[at]), sane(words[at + 1])};
    };
    const std::uint32_t flags = words[0];
    hints.min = (flags & kMinSizeFlag) ? size(5) : Size{};
    hints.max = (flags & kMaxSizeFlag) ? size(7) : Size{};
    hints.increment = (flags & kIncrementFlag) ? size(9) : Size{};
    hints.base = (flags & kBaseSizeFlag) ? size(15) : Size{};
    if (hints.max.width < hints.min.width || hints.max.height < hints.min.height) {
        hints.max = {};
    }
    return hints;
}

Size constrainedSize(const SizeHints& hints, Size wanted) {
    const auto one = [](double value, double min, double max, double increment, double base) {
        value = std::max(value, min);
        if (max > 0) {
            value = std::min(value, max);
        }
        // ICCCM: steps count from the base size, or from the minimum when there is no base.
        const double from = base > 0 ? base : min;
        if (increment > 1 && value > from) {
            value = from + std::floor((value - from) / increment) * increment;
        }
        return std::max(value, 1.0);
    };
    return {one(wanted.width, hints.min.width, hints.max.width, hints.increment.width, hints.base.width),
            one(wanted.height, hints.min.height, hints.max.height, hints.increment.height, hints.base.height)};
}

X11Clients::X11Clients(const std::string& display) : display_(display) {
    int screenNumber = 0;
    c_ = xcb_connect(display.empty() ? nullptr : display.c_str(), &screenNumber);
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
    stamp_ = xcb_generate_id(c_);
    const std::uint32_t values[] = {1, XCB_EVENT_MASK_PROPERTY_CHANGE}; // override-redirect: never managed
    xcb_create_window(c_, XCB_COPY_FROM_PARENT, stamp_, root_, -1, -1, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(c_, &xcb_res_id);
    if (extension && extension->present != 0) {
        // Client ids arrived in version 1.2.
        const Reply<xcb_res_query_version_reply_t> version(
            xcb_res_query_version_reply(c_, xcb_res_query_version(c_, 1, 2), nullptr));
        haveResourceExtension_ =
            version && (version->server_major > 1 || (version->server_major == 1 && version->server_minor >= 2));
    }
}

X11Clients::~X11Clients() {
    if (c_) {
        xcb_disconnect(c_);
    }
}

bool X11Clients::alive() const {
    return c_ && xcb_connection_has_error(c_) == 0;
}

xcb_atom_t X11Clients::atom(const char* name) {
    const auto found = atoms_.find(name);
    if (found != atoms_.end()) {
        return found->second;
    }
    if (!alive()) {
        return XCB_NONE;
    }
    const auto cookie = xcb_intern_atom(c_, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
    const Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(c_, cookie, nullptr));
    const xcb_atom_t atom = reply ? reply->atom : XCB_NONE;
    if (atom != XCB_NONE) {
        atoms_.emplace(name, atom);
    }
    return atom;
}

void X11Clients::dropQueuedEvents() {
    // Errors of requests without replies land here; nobody needs them, and they must not pile up.
    while (xcb_generic_event_t* event = xcb_poll_for_event(c_)) {
        std::free(event);
    }
}

std::optional<std::uint32_t> X11Clients::currentDesktop() {
    if (!alive()) {
        return std::nullopt;
    }
    const auto cookie = xcb_get_property(c_, 0, root_, atom("_NET_CURRENT_DESKTOP"), XCB_ATOM_CARDINAL, 0, 1);
    const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c_, cookie, nullptr));
    const auto value = words(reply.get());
    return value.empty() ? std::nullopt : std::optional(value.front());
}

xcb_window_t X11Clients::activeWindow() {
    if (!alive()) {
        return XCB_NONE;
    }
    const auto cookie = xcb_get_property(c_, 0, root_, atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 0, 1);
    const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c_, cookie, nullptr));
    const auto value = words(reply.get());
    return value.empty() ? XCB_NONE : value.front();
}

SizeHints X11Clients::sizeHints(xcb_window_t window) {
    if (!alive()) {
        return {};
    }
    const auto cookie =
        xcb_get_property(c_, 0, window, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 0, kHintWords);
    const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c_, cookie, nullptr));
    return parseSizeHints(words(reply.get()));
}

std::vector<std::uint32_t> X11Clients::stackedByServer(std::vector<std::uint32_t> ids) {
    // Each client's top-level ancestor (its frame), found level by level with every query of a level sent before
    // the first reply is read; frames sit at most a few levels down.
    constexpr int kMaxDepth = 6;
    const auto rootCookie = xcb_query_tree(c_, root_);
    std::vector<xcb_window_t> top(ids.begin(), ids.end());
    std::vector<bool> done(ids.size(), false);
    for (int depth = 0; depth < kMaxDepth; ++depth) {
        std::vector<std::pair<std::size_t, xcb_query_tree_cookie_t>> asked;
        for (std::size_t i = 0; i < ids.size(); ++i) {
            if (!done[i]) {
                asked.emplace_back(i, xcb_query_tree(c_, top[i]));
            }
        }
        if (asked.empty()) {
            break;
        }
        for (const auto& [i, cookie] : asked) {
            const Reply<xcb_query_tree_reply_t> reply(xcb_query_tree_reply(c_, cookie, nullptr));
            if (!reply || reply->parent == root_ || reply->parent == XCB_NONE) {
                done[i] = true; // a window gone meanwhile keeps its own id and sorts as unknown
            } else {
                top[i] = reply->parent;
            }
        }
    }
    const Reply<xcb_query_tree_reply_t> rootTree(xcb_query_tree_reply(c_, rootCookie, nullptr));
    if (!rootTree) {
        return ids;
    }
    const xcb_window_t* children = xcb_query_tree_children(rootTree.get());
    const int count = xcb_query_tree_children_length(rootTree.get());
    std::map<xcb_window_t, int> level;
    for (int i = 0; i < count; ++i) {
        level[children[i]] = i;
    }
    // Bottom to top like the lists; a window whose frame is not found keeps its place below the others.
    std::vector<std::pair<int, std::uint32_t>> keyed;
    keyed.reserve(ids.size());
    for (std::size_t i = 0; i < ids.size(); ++i) {
        const auto found = level.find(top[i]);
        keyed.emplace_back(found == level.end() ? -1 : found->second, ids[i]);
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 0; i < ids.size(); ++i) {
        ids[i] = keyed[i].second;
    }
    return ids;
}

std::vector<ClientWindow> X11Clients::read(xcb_window_t only) {
    if (!alive()) {
        return {};
    }
    dropQueuedEvents();
    const xcb_atom_t netState = atom("_NET_WM_STATE");
    const xcb_atom_t types[] = {atom("_NET_WM_WINDOW_TYPE"),
                                atom("_NET_WM_DESKTOP"),
                                atom("_NET_WM_PID"),
                                atom("_NET_WM_NAME"),
                                atom("WM_STATE"),
                                atom("_GTK_APPLICATION_ID"),
                                atom("_KDE_NET_WM_DESKTOP_FILE"),
                                atom("_NET_WM_WINDOW_OPACITY"),
                                atom("_NET_FRAME_EXTENTS"),
                                atom("_GTK_FRAME_EXTENTS")};
    const auto property = [this](xcb_window_t w, xcb_atom_t a, std::uint32_t length) {
        return xcb_get_property(c_, 0, w, a, XCB_GET_PROPERTY_TYPE_ANY, 0, length);
    };
    std::vector<Pending> pending;
    const auto request = [&](xcb_window_t w) {
        pending.push_back(
            {xcb_get_window_attributes(c_, w), xcb_get_geometry(c_, w), xcb_translate_coordinates(c_, w, root_, 0, 0),
             property(w, types[0], kListWords), property(w, netState, kListWords), property(w, types[4], 2),
             property(w, types[1], 1), property(w, types[2], 1), property(w, types[3], kTextWords),
             property(w, XCB_ATOM_WM_NAME, kTextWords), property(w, XCB_ATOM_WM_CLASS, kTextWords),
             property(w, types[5], kTextWords), property(w, types[6], kTextWords), property(w, types[7], 1),
             property(w, types[8], 4), property(w, types[9], 4), property(w, XCB_ATOM_WM_TRANSIENT_FOR, 1)});
    };
    // One window is asked about together with the lists, which then say whether it is a client: one round trip.
    if (only != XCB_NONE) {
        request(only);
    }
    const auto stackingCookie =
        xcb_get_property(c_, 0, root_, atom("_NET_CLIENT_LIST_STACKING"), XCB_ATOM_WINDOW, 0, kMaxClients);
    const auto listCookie = xcb_get_property(c_, 0, root_, atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW, 0, kMaxClients);
    const Reply<xcb_get_property_reply_t> stacking(xcb_get_property_reply(c_, stackingCookie, nullptr));
    const Reply<xcb_get_property_reply_t> list(xcb_get_property_reply(c_, listCookie, nullptr));
    // Both lists run bottom to top (the mapping order stands in for the stacking when a manager keeps no stack).
    std::vector<std::uint32_t> ids = words(stacking.get());
    const std::vector<std::uint32_t> mapped = words(list.get());
    if (ids.empty()) {
        ids = mapped;
    }
    // A manager may keep its stacking list in mapping order whatever is raised (fluxbox does): when the two lists
    // agree, the server's own stacking of the top-level frames says what is in front.
    if (only == XCB_NONE && ids.size() > 1 && ids == mapped) {
        ids = stackedByServer(std::move(ids));
    }
    std::reverse(ids.begin(), ids.end());
    std::set<std::uint32_t> seen;
    std::erase_if(ids, [&seen, only](std::uint32_t id) {
        return id == XCB_NONE || (only != XCB_NONE && id != only) || !seen.insert(id).second;
    });
    const bool listed = only == XCB_NONE || !ids.empty();
    if (only != XCB_NONE) {
        ids = {only};
    } else {
        // Every request goes out before the first reply is awaited: one round trip for the whole list.
        pending.reserve(ids.size());
        for (const xcb_window_t w : ids) {
            request(w);
        }
    }
    const std::map<xcb_atom_t, ClientKind> kinds = {
        {atom("_NET_WM_WINDOW_TYPE_NORMAL"), ClientKind::Normal},
        {atom("_NET_WM_WINDOW_TYPE_DIALOG"), ClientKind::Dialog},
        {atom("_NET_WM_WINDOW_TYPE_UTILITY"), ClientKind::Utility},
        {atom("_NET_WM_WINDOW_TYPE_TOOLBAR"), ClientKind::Utility},
        {atom("_NET_WM_WINDOW_TYPE_DOCK"), ClientKind::Dock},
        {atom("_NET_WM_WINDOW_TYPE_DESKTOP"), ClientKind::Desktop},
        {atom("_NET_WM_WINDOW_TYPE_SPLASH"), ClientKind::Splash},
        {atom("_NET_WM_WINDOW_TYPE_NOTIFICATION"), ClientKind::Notification},
        {atom("_NET_WM_WINDOW_TYPE_MENU"), ClientKind::Menu},
        {atom("_NET_WM_WINDOW_TYPE_DROPDOWN_MENU"), ClientKind::Menu},
        {atom("_NET_WM_WINDOW_TYPE_POPUP_MENU"), ClientKind::Menu},
        {atom("_NET_WM_WINDOW_TYPE_COMBO"), ClientKind::Menu},
        {atom("_NET_WM_WINDOW_TYPE_DND"), ClientKind::Menu},
        {atom("_NET_WM_WINDOW_TYPE_TOOLTIP"), ClientKind::Tooltip},
    };
    const xcb_atom_t hiddenState = atom("_NET_WM_STATE_HIDDEN");
    const xcb_atom_t maximizedStates[] = {atom("_NET_WM_STATE_MAXIMIZED_VERT"), atom("_NET_WM_STATE_MAXIMIZED_HORZ")};
    const xcb_atom_t fullscreenState = atom("_NET_WM_STATE_FULLSCREEN");
    const xcb_atom_t skipStates[] = {atom("_NET_WM_STATE_SKIP_TASKBAR"), atom("_NET_WM_STATE_SKIP_PAGER")};

    std::vector<ClientWindow> windows;
    windows.reserve(ids.size());
    for (std::size_t i = 0; i < ids.size(); ++i) {
        const Pending& p = pending[i];
        // Every reply is collected, also of a window already known to be gone, so none is left queued.
        const Reply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(c_, p.attributes, nullptr));
        const Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c_, p.geometry, nullptr));
        const Reply<xcb_translate_coordinates_reply_t> position(
            xcb_translate_coordinates_reply(c_, p.position, nullptr));
        const auto take = [this](xcb_get_property_cookie_t cookie) {
            return Reply<xcb_get_property_reply_t>(xcb_get_property_reply(c_, cookie, nullptr));
        };
        const auto type = take(p.type), state = take(p.state), wmState = take(p.wmState), desktop = take(p.desktop),
                   pid = take(p.pid), netName = take(p.netName), wmName = take(p.wmName), wmClass = take(p.wmClass),
                   gtkId = take(p.gtkId), kdeFile = take(p.kdeFile), opacity = take(p.opacity),
                   extents = take(p.extents), gtkExtents = take(p.gtkExtents), transient = take(p.transient);
        if (!listed || !attributes || !geometry || !position) {
            continue; // not a client, or gone between the list and the read
        }
        ClientWindow w;
        w.id = ids[i];
        w.viewable = attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        w.bounds =
            Rect{double(position->dst_x), double(position->dst_y), double(geometry->width), double(geometry->height)};
        const auto kindWords = words(type.get());
        const auto known =
            std::find_if(kindWords.begin(), kindWords.end(), [&kinds](std::uint32_t a) { return kinds.count(a) != 0; });
        if (known != kindWords.end()) {
            w.kind = kinds.at(*known);
        } else if (!words(transient.get()).empty()) {
            w.kind = ClientKind::Dialog; // EWMH: an untyped transient is a dialog
        }
        for (const std::uint32_t a : words(state.get())) {
            w.hidden = w.hidden || a == hiddenState;
            w.maximized = w.maximized || a == maximizedStates[0] || a == maximizedStates[1];
            w.fullscreen = w.fullscreen || a == fullscreenState;
            w.skipTaskbar = w.skipTaskbar || a == skipStates[0] || a == skipStates[1];
        }
        const auto icccm = words(wmState.get());
        if (!icccm.empty()) {
            w.hidden = w.hidden || icccm.front() == kIconicState;
            w.withdrawn = icccm.front() == kWithdrawnState;
        }
        if (const auto d = words(desktop.get()); !d.empty()) {
            w.desktop = d.front();
        }
        if (const auto value = words(pid.get()); !value.empty() && value.front() <= 0x7FFFFFFF) {
            w.pid = static_cast<std::int32_t>(value.front());
        }
        // A legacy title is Latin-1 (STRING), compound text (xterm's, with anything beyond Latin-1) or UTF-8.
        const QByteArray utf8 = bytes(netName.get());
        const xcb_atom_t legacyType = wmName ? wmName->type : XCB_NONE;
        w.title = !utf8.isEmpty()                       ? QString::fromUtf8(utf8)
                  : legacyType == atom("UTF8_STRING")   ? QString::fromUtf8(bytes(wmName.get()))
                  : legacyType == atom("COMPOUND_TEXT") ? decodeCompoundText(bytes(wmName.get()))
                                                        : QString::fromLatin1(bytes(wmName.get()));
        const QByteArrayList classParts = bytes(wmClass.get()).split('\0');
        w.instance = QString::fromLatin1(classParts.value(0));
        w.className = QString::fromLatin1(classParts.value(1));
        const QString gtk = QString::fromUtf8(bytes(gtkId.get()));
        w.appId = !gtk.isEmpty() ? gtk : QString::fromUtf8(bytes(kdeFile.get()));
        if (const auto value = words(opacity.get()); !value.empty()) {
            w.alpha = double(value.front()) / double(0xFFFFFFFFu);
        }
        w.extents = saneExtents(words(extents.get()));
        w.gtkExtents = saneExtents(words(gtkExtents.get()), w.bounds.width, w.bounds.height);
        windows.push_back(std::move(w));
    }
    resolvePids(windows);
    return windows;
}

void X11Clients::resolvePids(std::vector<ClientWindow>& windows) {
    if (!haveResourceExtension_) {
        return;
    }
    std::vector<std::size_t> unknown;
    std::vector<xcb_window_t> ids;
    for (std::size_t i = 0; i < windows.size(); ++i) {
        if (windows[i].pid == 0) {
            unknown.push_back(i);
            ids.push_back(windows[i].id);
        }
    }
    const std::vector<std::int32_t> pids = ownerPids(c_, ids);
    for (std::size_t k = 0; k < unknown.size(); ++k) {
        windows[unknown[k]].pid = pids[k];
    }
}

xcb_timestamp_t X11Clients::serverTime() {
    if (!alive()) {
        return XCB_CURRENT_TIME;
    }
    dropQueuedEvents();
    // An empty append changes nothing but still makes the server send a PropertyNotify with its time.
    const xcb_atom_t stampAtom = atom("_TILLORY_TIMESTAMP");
    xcb_change_property(c_, XCB_PROP_MODE_APPEND, stamp_, stampAtom, XCB_ATOM_CARDINAL, 32, 0, nullptr);
    xcb_flush(c_);
    while (xcb_generic_event_t* event = xcb_wait_for_event(c_)) {
        const std::unique_ptr<xcb_generic_event_t, FreeDeleter> owned(event);
        if ((event->response_type & ~0x80) == XCB_PROPERTY_NOTIFY) {
            const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
            if (notify->window == stamp_ && notify->atom == stampAtom) {
                return notify->time;
            }
        }
    }
    return XCB_CURRENT_TIME;
}

void X11Clients::sendToWindowManager(xcb_window_t window, xcb_atom_t type, const std::array<std::uint32_t, 5>& data) {
    if (!alive()) {
        return;
    }
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = type;
    std::copy(data.begin(), data.end(), message.data.data32);
    xcb_send_event(c_, 0, root_, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(c_);
}

void X11Clients::sync() {
    if (alive()) {
        std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
    }
}

} // namespace tillory::platform::nix
