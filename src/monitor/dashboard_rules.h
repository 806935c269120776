#pragma once

#include "monitor/dashboard_metric.h"
#include "monitor/metrics_sampler.h"
#include "monitor/process_sample.h"

#include <QPointF>
#include <QString>
#include <QVariantMap>

#include <optional>
#include <vector>

// What the dashboard shows, as plain functions of the monitor's readings: the process list's filtering, grouping
// and texts, the summary card's figures, and the chart's geometry. Nothing here keeps state.
namespace tillory::monitor {

/// Which processes the list shows; the raw values label the two-segment control.
enum class ListScope { apps, all };
QString rawValue(ListScope scope);

/// One row of the Apps view: an application, or the System group (no sample) summing every non-application.
struct GroupedRow {
    bool isSystem = false;
    std::optional<ProcessSample> sample;
    double value = 0;
    friend bool operator==(const GroupedRow&, const GroupedRow&) = default;
};

/// The Other apps row: applications beyond the first nine or below the threshold.
struct OtherApps {
    int count = 0;
    double sum = 0;
    bool shown = false; ///< only when their sum reaches the threshold
};

/// Levels the views colour: the core grid's bars and the temperature readout.
enum class Level { low, raised, high };

/// NaN and infinities read as 0, so a broken reading cannot poison sorting, sums or integer conversion.
double finiteOr0(double value);

/// The figure of a process for the metric: memory for Memory, disk for Disk, CPU for the rest.
double metricValue(const ProcessSample& sample, DashboardMetric metric);
/// Below this a process or group counts as idle: CPU 0.05 %, Memory 0.3 %, Disk 50000 B/s.
double idleThreshold(DashboardMetric metric);

/// Stable sort by the metric's figure, largest first.
std::vector<ProcessSample> sortedByMetric(std::vector<ProcessSample> list, DashboardMetric metric);
std::vector<ProcessSample> activeApps(const std::vector<ProcessSample>& processes, DashboardMetric metric);
std::vector<ProcessSample> daemons(const std::vector<ProcessSample>& processes, DashboardMetric metric);
/// Names containing `query` regardless of case, sorted; the scope plays no part.
std::vector<ProcessSample> searchResults(const std::vector<ProcessSample>& processes, const QString& query,
                                         DashboardMetric metric);
/// The first nine active applications and the System row, by value (System after apps of equal value).
std::vector<GroupedRow> groupedRows(const std::vector<ProcessSample>& active, const std::vector<ProcessSample>& daemons,
                                    DashboardMetric metric);
OtherApps otherApps(const std::vector<ProcessSample>& processes, const std::vector<ProcessSample>& active,
                    DashboardMetric metric);

/// A process's figure: "1.2 MB/s" for Disk, its footprint for Memory, "12.5%" otherwise.
QString valueText(const ProcessSample& sample, DashboardMetric metric, std::uint64_t physicalMemoryBytes);
/// A group's figure: "1.2 MB/s" for Disk, "%.1f GB" of the share of memory for Memory, "12.5%" otherwise.
QString aggregateText(double value, DashboardMetric metric, double totalMemoryGB);

/// A fraction as a rounded whole percentage: "42%".
QString percentText(double fraction);
/// Whole percentages of the segments that add up to the rounded total (largest remainders get the spare points).
std::vector<int> displayPercents(const std::vector<double>& fractions);
/// Accent below 0.5, orange up to 0.85, red from there.
Level coreLevel(double value);
/// The used share of a volume, 0...1; 0 for a volume of no size. Free space over the total counts as empty.
double usedShare(const VolumeSpace& volume);
/// How far the fan runs between its slowest and fastest, 0...1; 0 when that span is under 1 rpm.
double fanFraction(const FanStats& fan);

/// Values the chart keeps.
inline constexpr int kChartCapacity = 60;
/// The value the chart's top edge stands for: 1, or with `autoScale` 1.15 × the largest value (at least 1.15).
double chartScale(const std::vector<double>& history, bool autoScale);
/// The line's points in a unit square (x to the right, y down), newest on the right edge; to be multiplied by the
/// chart's width and height. Empty under two values ("Collecting…").
std::vector<QPointF> chartPoints(const std::vector<double>& history, bool autoScale, int capacity = kChartCapacity);

/// The summary card for the metric, as the view reads it: `headline`, `caption`, `unavailable`, `stats`
/// ([{label, value, tint}]), `details` ([{label, value}]), `interfaces` ([{name, down, up}]), `segments`
/// ([{label, fraction, tint, text}]), `cores` ([{value, level}]), `volumes` ([{name, text, share}]), `fans`
/// ([{title, text, fraction}]), `showsFans`, `thermal` ({text, tint}), `chart` ({tint, autoScale, scale,
/// collecting, points}). Tints are colour names: accent, orange, purple, green, cyan, blue, yellow, red.
QVariantMap summaryCard(DashboardMetric metric, const MetricsSnapshot& snapshot, const std::vector<double>& history,
                        int coreCount, double totalMemoryGB);

} // namespace tillory::monitor
