#pragma once

#include <cstdint>

namespace tillory::core {

/// Seconds between the Unix epoch and 2001-01-01 00:00:00 UTC, the origin of every stored date.
inline constexpr double kReferenceDateOffset = 978307200.0;

/// Converts milliseconds since the Unix epoch to seconds since 2001-01-01 UTC.
inline double dateFromUnixMilliseconds(std::int64_t ms) {
    return static_cast<double>(ms) / 1000.0 - kReferenceDateOffset;
}

/// Converts seconds since 2001-01-01 UTC to seconds since the Unix epoch.
inline double unixSecondsFromDate(double date) { return date + kReferenceDateOffset; }

} // namespace tillory::core
