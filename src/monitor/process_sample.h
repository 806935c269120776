#pragma once

#include <QString>

#include <cstdint>
#include <unordered_map>

namespace tillory::monitor {

/// A running application as the workspace knows it.
struct AppInfo {
    QString name;       ///< localized name; empty when it has none
    bool isApp = false; ///< a regular application (one the user switches to), not a background agent
    friend bool operator==(const AppInfo&, const AppInfo&) = default;
};

/// Running applications by process id.
using AppMap = std::unordered_map<std::int32_t, AppInfo>;

/// One process over the last sampling interval.
struct ProcessSample {
    std::int32_t pid = 0;
    QString name;      ///< never empty
    double cpu = 0;    ///< percent of the whole machine (100 = every core busy)
    double memory = 0; ///< physical footprint as a percent of physical memory
    double disk = 0;   ///< bytes read plus written per second
    bool isApp = false;
    QString commandLine{}; ///< how it was started; empty when unknown

    /// The footprint as "1.5 GB" (from one GiB up) or "340 MB", given the physical memory size in bytes.
    QString memoryText(std::uint64_t physicalMemoryBytes) const;

    friend bool operator==(const ProcessSample&, const ProcessSample&) = default;
};

} // namespace tillory::monitor
