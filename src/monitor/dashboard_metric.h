#pragma once

#include <QString>

#include <array>

namespace tillory::monitor {

/// The metric the dashboard shows, in the order of its chips.
enum class DashboardMetric { cpu, gpu, memory, disk, network, power };

inline constexpr std::array<DashboardMetric, 6> kDashboardMetrics{DashboardMetric::cpu,     DashboardMetric::gpu,
                                                                  DashboardMetric::memory,  DashboardMetric::disk,
                                                                  DashboardMetric::network, DashboardMetric::power};

/// The chip label, also the stored and shown name: "CPU", "GPU", "Memory", "Disk", "Network", "Power".
inline QString rawValue(DashboardMetric metric) {
    switch (metric) {
    case DashboardMetric::cpu:
        return QStringLiteral("CPU");
    case DashboardMetric::gpu:
        return QStringLiteral("GPU");
    case DashboardMetric::memory:
        return QStringLiteral("Memory");
    case DashboardMetric::disk:
        return QStringLiteral("Disk");
    case DashboardMetric::network:
        return QStringLiteral("Network");
    case DashboardMetric::power:
        return QStringLiteral("Power");
    }
    return {};
}

/// Only these metrics are driven by processes, so only they list them.
inline bool hasProcessList(DashboardMetric metric) {
    return metric == DashboardMetric::cpu || metric == DashboardMetric::memory || metric == DashboardMetric::disk;
}

} // namespace tillory::monitor
