#include "monitor/fmt.h"

#include <array>
#include <cmath>

namespace tillory::monitor::Fmt {
namespace {

struct Scaled {
    double value;
    int unit; // index into the unit list, 0 = bytes
};

Scaled scale(double value) {
    // An infinite or NaN rate (a zero interval upstream) reads as nothing rather than "inf TB".
    Scaled scaled{value > 0 && std::isfinite(value) ? value : 0, 0};
    while (scaled.value >= 1024 && scaled.unit < 4) {
        scaled.value /= 1024;
        ++scaled.unit;
    }
    return scaled;
}

QString number(const Scaled& scaled) {
    const bool decimal = scaled.value < 10 && scaled.unit > 0;
    return QString::asprintf(decimal ? "%.1f" : "%.0f", scaled.value);
}

} // namespace

QString bytes(double value) {
    static const std::array<const char*, 5> units{"B", "KB", "MB", "GB", "TB"};
    const Scaled scaled = scale(value);
    return number(scaled) + QLatin1Char(' ') + QLatin1String(units[std::size_t(scaled.unit)]);
}

QString compactRate(double bytesPerSecond) {
    static const std::array<const char*, 5> units{"B", "K", "M", "G", "T"};
    const Scaled scaled = scale(bytesPerSecond);
    return number(scaled) + QLatin1String(units[std::size_t(scaled.unit)]) + QStringLiteral("/s");
}

QString minutes(int value) {
    // Estimates of 100 hours and more come from a near-zero current (or a "still calculating" marker), not from
    // the battery: they show as unknown.
    if (value < 1 || value >= kLongestMinutes) {
        return QStringLiteral("—");
    }
    if (value >= 60) {
        return QStringLiteral("%1h %2m").arg(value / 60).arg(value % 60);
    }
    return QStringLiteral("%1m").arg(value);
}

} // namespace tillory::monitor::Fmt
