#pragma once

#include <algorithm>
#include <cmath>

namespace tillory::platform {

/// A point in points. Which space (screen space, y up; or global top-left space, y down) is stated by each user.
struct Point {
    double x = 0;
    double y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    double width = 0;
    double height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    double minX() const { return x; }
    double minY() const { return y; }
    double maxX() const { return x + width; }
    double maxY() const { return y + height; }
    double midX() const { return x + width / 2; }
    double midY() const { return y + height / 2; }
    Point origin() const { return {x, y}; }
    Size size() const { return {width, height}; }
    bool isFinite() const {
        return std::isfinite(x) && std::isfinite(y) && std::isfinite(width) && std::isfinite(height);
    }
    /// Half-open on the far edges, as the platform's own containment test.
    bool contains(Point p) const { return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY(); }
    friend bool operator==(const Rect&, const Rect&) = default;
};

/// A run of characters in a text: start and length, in UTF-16 code units as the accessibility interface counts.
struct TextRange {
    long long location = 0;
    long long length = 0;
    friend bool operator==(const TextRange&, const TextRange&) = default;
};

} // namespace tillory::platform
