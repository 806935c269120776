#include "platform/wayland/sway_tree.h"

#include <QJsonArray>
#include <QJsonValue>

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>

namespace tillory::platform::nix {

namespace {

// sway nests a view a few levels below its workspace; a tree deeper than this is not sway's.
constexpr int kMaxDepth = 256;
// Layout coordinates beyond this are nonsense; keeping them bounded keeps the arithmetic finite.
constexpr double kMaxCoordinate = 1 << 24;

QString text(const QJsonObject& object, QLatin1String key) {
    const QJsonValue value = object.value(key);
    return value.isString() ? value.toString() : QString();
}

double number(const QJsonObject& object, QLatin1String key) {
    const double value = object.value(key).toDouble(0);
    return std::isfinite(value) ? std::clamp(value, -kMaxCoordinate, kMaxCoordinate) : 0;
}

/// A whole number within [low, high]; nothing otherwise.
std::optional<qint64> integer(const QJsonValue& value, qint64 low, qint64 high) {
    if (!value.isDouble()) {
        return std::nullopt;
    }
    const double d = value.toDouble();
    if (!(d >= double(low) && d <= double(high)) || std::floor(d) != d) {
        return std::nullopt;
    }
    return static_cast<qint64>(d);
}

Rect rectOf(const QJsonValue& value) {
    const QJsonObject r = value.toObject();
    return {number(r, QLatin1String("x")), number(r, QLatin1String("y")),
            std::max(0.0, number(r, QLatin1String("width"))), std::max(0.0, number(r, QLatin1String("height")))};
}

struct Place {
    QString workspace;
    /// The parent's layout and how many children it has: a stacked parent draws every child's title bar above
    /// each of them.
    bool stacked = false;
    qsizetype siblings = 1;
};

std::optional<SwayWindow> view(const QJsonObject& node, const Place& place) {
    const QString type = text(node, QLatin1String("type"));
    const bool floating = type == QLatin1String("floating_con");
    if (!floating && type != QLatin1String("con")) {
        return std::nullopt;
    }
    const QJsonObject properties = node.value(QLatin1String("window_properties")).toObject();
    const QString appId = text(node, QLatin1String("app_id"));
    const bool hasPid = node.value(QLatin1String("pid")).isDouble();
    // Split containers carry none of these; every view carries at least its pid.
    if (!hasPid && appId.isEmpty() && properties.isEmpty()) {
        return std::nullopt;
    }
    const auto id = integer(node.value(QLatin1String("id")), 1, std::numeric_limits<std::uint32_t>::max());
    if (!id) {
        return std::nullopt;
    }
    SwayWindow w;
    w.id = static_cast<std::uint32_t>(*id);
    w.pid = static_cast<std::int32_t>(
        integer(node.value(QLatin1String("pid")), 0, std::numeric_limits<std::int32_t>::max()).value_or(0));
    w.x11Instance = text(properties, QLatin1String("instance"));
    w.x11Class = text(properties, QLatin1String("class"));
    w.appId = !appId.isEmpty() ? appId : !w.x11Class.isEmpty() ? w.x11Class : w.x11Instance;
    w.title = text(node, QLatin1String("name"));
    w.visible = node.value(QLatin1String("visible")).toBool(false);
    w.focused = node.value(QLatin1String("focused")).toBool(false);
    w.floating = floating;
    w.fullscreen = node.value(QLatin1String("fullscreen_mode")).toDouble(0) != 0;
    w.workspace = place.workspace;
    // "rect" leaves out the title bar, which "deco_rect" gives the height of; a stacked parent shows one title bar
    // per child above each child's content.
    const Rect content = rectOf(node.value(QLatin1String("rect")));
    const double bar = rectOf(node.value(QLatin1String("deco_rect"))).height;
    const double bars = bar * double(place.stacked && !floating ? std::clamp<qsizetype>(place.siblings, 1, 1024) : 1);
    w.frame = {content.x, content.y - bars, content.width, content.height + bars};
    // "window_rect" counts from "rect" and leaves out the borders; without it the whole content is the surface.
    const QJsonValue inner = node.value(QLatin1String("window_rect"));
    if (inner.isObject()) {
        const Rect r = rectOf(inner);
        w.surface = {content.x + r.x, content.y + r.y, r.width, r.height};
    } else {
        w.surface = content;
    }
    return w;
}

void walk(const QJsonObject& node, const Place& place, int depth, std::vector<SwayWindow>& out) {
    if (auto w = view(node, place)) {
        out.push_back(std::move(*w));
    }
    if (depth >= kMaxDepth) {
        return;
    }
    Place inner = place;
    if (text(node, QLatin1String("type")) == QLatin1String("workspace")) {
        inner.workspace = text(node, QLatin1String("name"));
    }
    const QJsonArray tiled = node.value(QLatin1String("nodes")).toArray();
    const QJsonArray floating = node.value(QLatin1String("floating_nodes")).toArray();
    std::vector<QJsonObject> children;
    children.reserve(std::size_t(tiled.size() + floating.size()));
    for (const QJsonArray* list : {&tiled, &floating}) {
        for (const QJsonValue& child : *list) {
            if (child.isObject()) {
                children.push_back(child.toObject());
            }
        }
    }
    // Children by id, each taken once even when a hostile tree repeats ids or focus entries.
    std::unordered_map<qint64, std::vector<std::size_t>> byId;
    for (std::size_t i = children.size(); i-- > 0;) {
        if (const auto id = integer(children[i].value(QLatin1String("id")), std::numeric_limits<qint64>::min() / 2,
                                    std::numeric_limits<qint64>::max() / 2)) {
            byId[*id].push_back(i);
        }
    }
    std::vector<std::size_t> order;
    std::vector<bool> taken(children.size(), false);
    const QJsonArray focus = node.value(QLatin1String("focus")).toArray();
    for (const QJsonValue& entry : focus) {
        const auto id = integer(entry, std::numeric_limits<qint64>::min() / 2, std::numeric_limits<qint64>::max() / 2);
        const auto found = id ? byId.find(*id) : byId.end();
        if (found != byId.end() && !found->second.empty()) {
            order.push_back(found->second.back());
            taken[found->second.back()] = true;
            found->second.pop_back();
        }
    }
    for (std::size_t i = 0; i < children.size(); ++i) {
        if (!taken[i]) {
            order.push_back(i);
        }
    }
    inner.stacked = text(node, QLatin1String("layout")) == QLatin1String("stacked");
    inner.siblings = tiled.size();
    for (const std::size_t i : order) {
        walk(children[i], inner, depth + 1, out);
    }
}

} // namespace

std::vector<SwayWindow> swayWindows(const QJsonObject& tree) {
    std::vector<SwayWindow> windows;
    walk(tree, Place{}, 0, windows);
    return windows;
}

std::optional<SwayWindow> swayView(const QJsonObject& container) {
    return view(container, Place{});
}

std::optional<Point> surfaceOrigin(const std::vector<SwayWindow>& windows, std::int32_t pid) {
    const SwayWindow* found = nullptr;
    for (const SwayWindow& w : windows) {
        if (w.pid != pid || pid <= 0 || !w.visible) {
            continue;
        }
        if (w.focused) {
            return w.surface.origin();
        }
        found = found ? found : &w;
    }
    return found ? std::optional(found->surface.origin()) : std::nullopt;
}

std::vector<SwayWindow> byRecency(std::vector<SwayWindow> windows, const std::vector<std::uint32_t>& recent) {
    std::unordered_map<std::uint32_t, std::size_t> rank;
    for (std::size_t i = 0; i < recent.size(); ++i) {
        rank.emplace(recent[i], i);
    }
    const auto key = [&rank](const SwayWindow& w) -> std::pair<int, std::size_t> {
        if (w.focused) {
            return {0, 0};
        }
        const auto found = rank.find(w.id);
        return found != rank.end() ? std::pair<int, std::size_t>{1, found->second} : std::pair<int, std::size_t>{2, 0};
    };
    std::stable_sort(windows.begin(), windows.end(),
                     [&key](const SwayWindow& a, const SwayWindow& b) { return key(a) < key(b); });
    return windows;
}

} // namespace tillory::platform::nix
