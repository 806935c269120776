#include "platform/x11/x11_screens.h"

#include "platform/x11/x11_reply.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QSocketNotifier>
#include <QStyleHints>

#include <xcb/xcb.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <set>

namespace tillory::platform::nix {
namespace {

// A client list longer than this is garbage, not a desktop.
constexpr std::uint32_t kMaxClients = 4096;
constexpr std::uint32_t kPartialWords = 12;
constexpr std::uint32_t kPlainWords = 4;
// Four words for each of up to 64 workspaces.
constexpr std::uint32_t kMaxWorkAreaWords = 256;

class ConnectionSubscription final : public Subscription {
public:
    explicit ConnectionSubscription(std::unique_ptr<QObject> context) : context_(std::move(context)) {}

private:
    std::unique_ptr<QObject> context_; // destroying it drops every connection made with it
};

} // namespace

std::optional<Strut> parseStrut(const std::vector<std::uint32_t>& partial, const std::vector<std::uint32_t>& plain,
                                Size root) {
    // Left and right struts run along the root's height, top and bottom ones along its width.
    const std::array<double, 4> along{root.height, root.height, root.width, root.width};
    const std::array<double, 4> across{root.width, root.width, root.height, root.height};
    Strut strut;
    for (std::size_t side = 0; side < 4; ++side) {
        if (partial.size() >= kPartialWords) {
            strut.thickness[side] = partial[side];
            strut.span[side] = {double(partial[4 + 2 * side]), double(partial[5 + 2 * side])};
        } else if (plain.size() >= kPlainWords) {
            strut.thickness[side] = plain[side];
            strut.span[side] = {0, along[side] - 1};
        } else {
            return std::nullopt;
        }
        if (strut.thickness[side] > across[side] || strut.span[side][1] < strut.span[side][0]) {
            strut.thickness[side] = 0;
        }
    }
    const bool any = std::any_of(strut.thickness.begin(), strut.thickness.end(), [](double t) { return t > 0; });
    return any ? std::optional(strut) : std::nullopt;
}

std::optional<Strut> managerStrut(const std::vector<Strut>& struts, const Rect& workarea, Size root) {
    if (!(workarea.width > 0 && workarea.height > 0 && workarea.minX() >= 0 && workarea.minY() >= 0 &&
          workarea.maxX() <= root.width && workarea.maxY() <= root.height)) {
        return std::nullopt;
    }
    const std::array<double, 4> reserved{workarea.minX(), root.width - workarea.maxX(), workarea.minY(),
                                         root.height - workarea.maxY()};
    const std::array<double, 4> along{root.height, root.height, root.width, root.width};
    Strut strut;
    bool any = false;
    for (std::size_t side = 0; side < 4; ++side) {
        double clients = 0;
        for (const Strut& s : struts) {
            clients = std::max(clients, s.thickness[side]);
        }
        if (reserved[side] > clients) {
            strut.thickness[side] = reserved[side];
            strut.span[side] = {0, along[side] - 1};
            any = true;
        }
    }
    return any ? std::optional(strut) : std::nullopt;
}

Rect workArea(const Rect& monitor, const std::vector<Strut>& struts, Size root) {
    double minX = monitor.minX();
    double maxX = monitor.maxX();
    double minY = monitor.minY();
    double maxY = monitor.maxY();
    // Spans name their first and last pixel.
    const auto meets = [](const std::array<double, 2>& span, double from, double to) {
        return span[0] < to && span[1] >= from;
    };
    for (const Strut& s : struts) {
        const auto& t = s.thickness;
        if (t[0] > monitor.minX() && meets(s.span[0], monitor.minY(), monitor.maxY())) {
            minX = std::max(minX, t[0]);
        }
        if (t[1] > 0 && root.width - t[1] < monitor.maxX() && meets(s.span[1], monitor.minY(), monitor.maxY())) {
            maxX = std::min(maxX, root.width - t[1]);
        }
        if (t[2] > monitor.minY() && meets(s.span[2], monitor.minX(), monitor.maxX())) {
            minY = std::max(minY, t[2]);
        }
        if (t[3] > 0 && root.height - t[3] < monitor.maxY() && meets(s.span[3], monitor.minX(), monitor.maxX())) {
            maxY = std::min(maxY, root.height - t[3]);
        }
    }
    if (maxX <= minX || maxY <= minY) {
        return monitor;
    }
    return {minX, minY, maxX - minX, maxY - minY};
}


class X11Screens::Impl {
public:
    Impl() {
        c_ = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(c_)) {
            return;
        }
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
        root_ = screen->root;
        rootSize_ = {double(screen->width_in_pixels), double(screen->height_in_pixels)};
        const std::pair<xcb_atom_t*, const char*> names[] = {{&clientList_, "_NET_CLIENT_LIST"},
                                                             {&workArea_, "_NET_WORKAREA"},
                                                             {&desktop_, "_NET_CURRENT_DESKTOP"},
                                                             {&strut_, "_NET_WM_STRUT"},
                                                             {&partial_, "_NET_WM_STRUT_PARTIAL"}};
        for (const auto& [atom, name] : names) {
            const Reply<xcb_intern_atom_reply_t> reply(
                xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, std::uint16_t(std::strlen(name)), name), nullptr));
            *atom = reply ? reply->atom : XCB_NONE;
        }
        const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(c_, root_, XCB_CW_EVENT_MASK, &events);
        xcb_flush(c_);
        notifier_ = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(c_), QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] { drain(); });
        if (!qGuiApp) {
            return;
        }
        // Qt learns of monitors through its own connection.
        const auto changed = [this] { dirty_ = true; };
        const auto watch = [this, changed](QScreen* s) {
            QObject::connect(s, &QScreen::geometryChanged, &context_, changed);
            QObject::connect(s, &QScreen::availableGeometryChanged, &context_, changed);
        };
        for (QScreen* s : QGuiApplication::screens()) {
            watch(s);
        }
        QObject::connect(qGuiApp, &QGuiApplication::screenAdded, &context_, [watch, changed](QScreen* s) {
            watch(s);
            changed();
        });
        QObject::connect(qGuiApp, &QGuiApplication::screenRemoved, &context_, changed);
        QObject::connect(qGuiApp, &QGuiApplication::primaryScreenChanged, &context_, changed);
    }
    ~Impl() {
        notifier_.reset();
        if (c_) {
            xcb_disconnect(c_);
        }
    }

    void setNotchWidth(double width) {
        if (width != notchWidth_) {
            notchWidth_ = width;
            dirty_ = true;
        }
    }

    std::vector<ScreenInfo> screens() {
        drain();
        if (dirty_ || !connected()) {
            refresh();
        }
        return cache_;
    }
    double reference() {
        screens();
        return reference_;
    }

    /// The pointer in Qt's coordinates. Asked on this connection rather than Qt's: the island polls it several
    /// times a second, and a round trip here wakes no other thread.
    QPointF pointer() {
        if (!connected()) {
            return QCursor::pos();
        }
        const Reply<xcb_query_pointer_reply_t> reply(
            xcb_query_pointer_reply(c_, xcb_query_pointer(c_, root_), nullptr));
        if (!reply) {
            return QCursor::pos();
        }
        const QPointF native(reply->root_x, reply->root_y);
        // Qt keeps each screen's top-left and divides the rest by its ratio.
        for (QScreen* s : QGuiApplication::screens()) {
            const QRect g = s->geometry();
            const double ratio = s->devicePixelRatio() > 0 ? s->devicePixelRatio() : 1.0;
            const QRectF nativeFrame(g.topLeft(), QSizeF(g.size()) * ratio);
            if (nativeFrame.contains(native)) {
                return QPointF(g.topLeft()) + (native - QPointF(g.topLeft())) / ratio;
            }
        }
        return native;
    }

private:
    bool connected() const { return c_ && !xcb_connection_has_error(c_); }

    void drain() {
        if (!connected()) {
            return;
        }
        while (xcb_generic_event_t* raw = xcb_poll_for_event(c_)) {
            const Reply<xcb_generic_event_t> event(raw);
            switch (raw->response_type & 0x7f) {
            case XCB_PROPERTY_NOTIFY: {
                const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(raw);
                const xcb_atom_t a = notify->atom;
                dirty_ = dirty_ || a == clientList_ || a == workArea_ || a == desktop_ || a == strut_ || a == partial_;
                break;
            }
            case XCB_MAP_NOTIFY:
            case XCB_UNMAP_NOTIFY:
            case XCB_DESTROY_NOTIFY:
                dirty_ = true; // only panels are watched for these
                break;
            default:
                break;
            }
        }
    }

    void refresh() {
        dirty_ = false;
        std::vector<Monitor> monitors;
        const auto struts = readStruts();
        for (QScreen* s : QGuiApplication::screens()) {
            Monitor m;
            const QRect g = s->geometry();
            m.frame = Rect{double(g.x()), double(g.y()), double(g.width()), double(g.height())};
            m.primary = s == QGuiApplication::primaryScreen();
            if (struts) {
                // Struts are X pixels; Qt keeps each screen's top-left and divides the rest by its ratio.
                const double ratio = s->devicePixelRatio() > 0 ? s->devicePixelRatio() : 1.0;
                const Rect native{m.frame.x, m.frame.y, m.frame.width * ratio, m.frame.height * ratio};
                const Rect area = workArea(native, *struts, rootSize_);
                m.available = Rect{m.frame.x + (area.x - m.frame.x) / ratio, m.frame.y + (area.y - m.frame.y) / ratio,
                                   area.width / ratio, area.height / ratio};
            } else {
                const QRect a = s->availableGeometry();
                m.available = Rect{double(a.x()), double(a.y()), double(a.width()), double(a.height())};
            }
            monitors.push_back(m);
        }
        cache_ = screenSpace(monitors, &reference_, notchWidth_);
    }

    /// The struts of the shown clients; nothing without a window manager's client list.
    std::optional<std::vector<Strut>> readStruts() {
        if (!connected()) {
            return std::nullopt;
        }
        const auto listCookie = xcb_get_property(c_, 0, root_, clientList_, XCB_ATOM_WINDOW, 0, kMaxClients);
        const auto areaCookie = xcb_get_property(c_, 0, root_, workArea_, XCB_ATOM_CARDINAL, 0, kMaxWorkAreaWords);
        const auto desktopCookie = xcb_get_property(c_, 0, root_, desktop_, XCB_ATOM_CARDINAL, 0, 1);
        const Reply<xcb_get_property_reply_t> list(xcb_get_property_reply(c_, listCookie, nullptr));
        const Reply<xcb_get_property_reply_t> area(xcb_get_property_reply(c_, areaCookie, nullptr));
        const Reply<xcb_get_property_reply_t> desktop(xcb_get_property_reply(c_, desktopCookie, nullptr));
        if (!list || list->type == XCB_NONE) {
            return std::nullopt;
        }
        const std::vector<std::uint32_t> ids = words(list.get());
        struct Pending {
            xcb_get_property_cookie_t partial, plain;
            xcb_get_window_attributes_cookie_t attributes;
        };
        std::vector<Pending> pending;
        pending.reserve(ids.size());
        for (const xcb_window_t w : ids) {
            pending.push_back({xcb_get_property(c_, 0, w, partial_, XCB_ATOM_CARDINAL, 0, kPartialWords),
                               xcb_get_property(c_, 0, w, strut_, XCB_ATOM_CARDINAL, 0, kPlainWords),
                               xcb_get_window_attributes(c_, w)});
        }
        std::vector<Strut> struts;
        std::set<xcb_window_t> panels;
        for (std::size_t i = 0; i < ids.size(); ++i) {
            const Reply<xcb_get_property_reply_t> partial(xcb_get_property_reply(c_, pending[i].partial, nullptr));
            const Reply<xcb_get_property_reply_t> plain(xcb_get_property_reply(c_, pending[i].plain, nullptr));
            const Reply<xcb_get_window_attributes_reply_t> attributes(
                xcb_get_window_attributes_reply(c_, pending[i].attributes, nullptr));
            const auto strut = parseStrut(words(partial.get()), words(plain.get()), rootSize_);
            if (!attributes || !strut) {
                continue;
            }
            panels.insert(ids[i]);
            if (attributes->map_state == XCB_MAP_STATE_VIEWABLE) {
                struts.push_back(*strut);
            }
        }
        // A panel changing its struts or coming and going is heard of on its own window.
        const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        for (const xcb_window_t w : panels) {
            if (!panels_.count(w)) {
                xcb_change_window_attributes(c_, w, XCB_CW_EVENT_MASK, &events);
            }
        }
        xcb_flush(c_);
        panels_ = std::move(panels);
        // One rectangle of four words per workspace.
        const std::vector<std::uint32_t> areas = words(area.get());
        const std::vector<std::uint32_t> current = words(desktop.get());
        const std::size_t at = 4 * std::size_t(current.empty() ? 0 : current.front());
        if (at + 4 <= areas.size()) {
            const Rect workarea{double(areas[at]), double(areas[at + 1]), double(areas[at + 2]), double(areas[at + 3])};
            if (const auto own = managerStrut(struts, workarea, rootSize_)) {
                struts.push_back(*own);
            }
        }
        return struts;
    }

    xcb_connection_t* c_ = nullptr;
    xcb_window_t root_ = XCB_NONE;
    Size rootSize_;
    xcb_atom_t clientList_ = XCB_NONE, workArea_ = XCB_NONE, desktop_ = XCB_NONE, strut_ = XCB_NONE,
               partial_ = XCB_NONE;
    std::unique_ptr<QSocketNotifier> notifier_;
    QObject context_;
    std::set<xcb_window_t> panels_;
    bool dirty_ = true;
    double notchWidth_ = 200;
    std::vector<ScreenInfo> cache_;
    double reference_ = 0;
};

X11Screens::X11Screens() : d_(std::make_unique<Impl>()) {}

X11Screens::~X11Screens() = default;

std::vector<ScreenInfo> X11Screens::screens() {
    return d_->screens();
}

Point X11Screens::mouseLocation() {
    const QPointF p = d_->pointer();
    return {p.x(), d_->reference() - p.y()};
}

double X11Screens::doubleClickInterval() {
    return QGuiApplication::styleHints()->mouseDoubleClickInterval() / 1000.0;
}

void X11Screens::setNotchWidth(double width) {
    d_->setNotchWidth(width);
}

SubscriptionPtr X11Screens::observeChanges(std::function<void()> onChange) {
    auto context = std::make_unique<QObject>();
    auto notify = [onChange] { onChange(); };
    auto watch = [context = context.get(), notify](QScreen* screen) {
        QObject::connect(screen, &QScreen::geometryChanged, context, notify);
        QObject::connect(screen, &QScreen::availableGeometryChanged, context, notify);
    };
    for (QScreen* screen : QGuiApplication::screens()) {
        watch(screen);
    }
    auto* app = qGuiApp;
    QObject::connect(app, &QGuiApplication::screenAdded, context.get(), [watch, notify](QScreen* screen) {
        watch(screen);
        notify();
    });
    QObject::connect(app, &QGuiApplication::screenRemoved, context.get(), notify);
    QObject::connect(app, &QGuiApplication::primaryScreenChanged, context.get(), notify);
    return std::make_unique<ConnectionSubscription>(std::move(context));
}

} // namespace tillory::platform::nix
