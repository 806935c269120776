#include "switcher/window_catalogue.h"

#include <cmath>

namespace tillory::switcher {
namespace {

constexpr double kMinWidth = 80;  // strictly more is listed
constexpr double kMinHeight = 60; // strictly more is listed
constexpr double kFullScreenWidthSlack = 2;
constexpr double kFullScreenHeightSlack = 60;

bool bigEnough(const platform::Rect& bounds) {
    return bounds.width > kMinWidth && bounds.height > kMinHeight;
}

bool hasDisplaySize(const platform::Rect& bounds, const std::vector<platform::ScreenInfo>& screens) {
    for (const platform::ScreenInfo& screen : screens) {
        if (std::abs(screen.frame.width - bounds.width) < kFullScreenWidthSlack &&
            screen.frame.height - kFullScreenHeightSlack <= bounds.height) {
            return true;
        }
    }
    return false;
}

} // namespace

const QSet<QString>& excludedApps() {
    static const QSet<QString> apps{
        QStringLiteral("Dock"),
        QStringLiteral("Window Server"),
        QStringLiteral("Control Center"),
        QStringLiteral("Notification Center"),
        QStringLiteral("Spotlight"),
        QStringLiteral("Tillory"),
        QStringLiteral("Screenshot"),
        QStringLiteral("loginwindow"),
        QStringLiteral("Siri"),
        QStringLiteral("Open and Save Panel Service"),
        QStringLiteral("Universal Control"),
    };
    return apps;
}

const QSet<QString>& excludedTitles() {
    static const QSet<QString> titles{QStringLiteral("iCloud Mail Cleanup")};
    return titles;
}

std::optional<SwitcherWindow> catalogueEntry(const platform::WindowInfo& info,
                                             const std::vector<platform::ScreenInfo>& screens) {
    if (info.layer != 0 || info.number == 0 || !info.bounds.isFinite() || excludedApps().contains(info.ownerName)) {
        return std::nullopt;
    }
    if (info.alpha <= 0 || !bigEnough(info.bounds) || excludedTitles().contains(info.name)) {
        return std::nullopt;
    }
    // Windows off screen (other workspaces, minimised) are listed when titled; an untitled one only when it has a
    // display's size, as a full-screen window does, which keeps untitled helper windows out.
    if (!info.isOnscreen && info.name.isEmpty() && !hasDisplaySize(info.bounds, screens)) {
        return std::nullopt;
    }
    SwitcherWindow window;
    window.id = info.number;
    window.pid = info.ownerPid;
    window.appName = info.ownerName;
    window.title = info.name.isEmpty() ? info.ownerName : info.name;
    return window;
}

bool isStampable(const platform::WindowInfo& info) {
    return info.layer == 0 && info.number != 0 && bigEnough(info.bounds) && info.alpha > 0;
}

platform::Element matchElement(platform::Accessibility& accessibility, const SwitcherWindow& window,
                               const std::vector<platform::Element>& elements) {
    bool numbered = false;
    for (const platform::Element& element : elements) {
        const std::uint32_t number = accessibility.windowNumber(element);
        if (number == 0) {
            continue;
        }
        numbered = true;
        if (number == window.id) {
            return element;
        }
    }
    // A platform that numbers the elements has said this window is not among them.
    if (numbered) {
        return nullptr;
    }
    for (const platform::Element& element : elements) {
        const platform::AXValue title = accessibility.attribute(element, platform::AXAttribute::Title);
        if (const auto* text = std::get_if<QString>(&title); text && *text == window.title) {
            return element;
        }
    }
    return elements.size() == 1 ? elements.front() : nullptr;
}

} // namespace tillory::switcher
