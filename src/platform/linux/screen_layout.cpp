#include "platform/linux/screen_layout.h"

#include <algorithm>
#include <cmath>

namespace tillory::platform::nix {

double notchAreaWidth(const QVariant& setting) {
    bool ok = false;
    const double width = setting.toDouble(&ok);
    if (!ok || !std::isfinite(width)) {
        return 200;
    }
    return std::clamp(width, 120.0, 400.0);
}

void addNotchArea(ScreenInfo& screen, double width) {
    constexpr double kHeightWithoutPanel = 32;
    const Rect& f = screen.frame;
    if (!(f.width > width && f.height > 0)) {
        return;
    }
    const double reserved = f.maxY() - screen.visibleFrame.maxY();
    const double height = reserved > 0 && reserved < f.height ? reserved : kHeightWithoutPanel;
    const double left = f.midX() - width / 2;
    const double y = f.maxY() - height;
    screen.safeAreaTop = height;
    screen.auxiliaryTopLeftArea = Rect{f.minX(), y, left - f.minX(), height};
    screen.auxiliaryTopRightArea = Rect{left + width, y, f.maxX() - left - width, height};
}

std::vector<ScreenInfo> screenSpace(const std::vector<Monitor>& monitors, double* reference, double notchWidth) {
    if (reference) {
        *reference = 0;
    }
    if (monitors.empty()) {
        return {};
    }
    // Whatever the reference, points keep the X coordinates only if its top is the root's top.
    double top = monitors.front().frame.y;
    for (const Monitor& m : monitors) {
        top = std::min(top, m.frame.y);
    }
    auto first = std::find_if(monitors.begin(), monitors.end(), [](const Monitor& m) {
        return m.frame.contains(Point{0, 0});
    });
    if (first == monitors.end()) {
        first = std::find_if(monitors.begin(), monitors.end(),
                             [top](const Monitor& m) { return m.primary && m.frame.y == top; });
    }
    if (first == monitors.end()) {
        first = std::find_if(monitors.begin(), monitors.end(), [top](const Monitor& m) { return m.frame.y == top; });
    }
    const double height = first->frame.maxY();
    if (reference) {
        *reference = height;
    }
    const auto flip = [height](const Rect& r) { return Rect{r.x, height - r.maxY(), r.width, r.height}; };
    const auto info = [&flip, notchWidth](const Monitor& m) {
        ScreenInfo screen{flip(m.frame), flip(m.available)};
        if (m.primary) {
            addNotchArea(screen, notchWidth);
        }
        return screen;
    };
    std::vector<ScreenInfo> list{info(*first)};
    for (auto it = monitors.begin(); it != monitors.end(); ++it) {
        if (it != first) {
            list.push_back(info(*it));
        }
    }
    return list;
}

} // namespace tillory::platform::nix
