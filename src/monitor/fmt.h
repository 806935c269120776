#pragma once

#include <QString>

namespace tillory::monitor {

/// Number formatting shared by the monitor's views.
namespace Fmt {
/// Bytes with a binary unit: "512 B", "1.5 KB", "12 MB", "3.2 GB" (one decimal below 10, up to TB).
QString bytes(double value);
/// The same scaling with one-letter units and "/s": "1.2M/s", "640K/s", "0B/s".
QString compactRate(double bytesPerSecond);
/// Time estimates from this long on are not believable.
inline constexpr int kLongestMinutes = 100 * 60;
/// "—" under a minute and from 100 hours on, else "45m" or "1h 5m".
QString minutes(int minutes);
} // namespace Fmt

} // namespace tillory::monitor
