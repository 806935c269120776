#include "monitor/process_sample.h"

namespace tillory::monitor {

QString ProcessSample::memoryText(std::uint64_t physicalMemoryBytes) const {
    constexpr double kGiB = 1024.0 * 1024.0 * 1024.0;
    constexpr double kMiB = 1024.0 * 1024.0;
    const double bytes = memory / 100.0 * static_cast<double>(physicalMemoryBytes);
    if (bytes / kGiB >= 1) {
        return QString::asprintf("%.1f GB", bytes / kGiB);
    }
    return QString::asprintf("%.0f MB", bytes / kMiB);
}

} // namespace tillory::monitor
