#include "monitor/dashboard_rules.h"

#include "monitor/fmt.h"

#include <QVariantList>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace tillory::monitor {
namespace {

constexpr std::size_t kGroupedApps = 9;
constexpr std::size_t kInterfaceRows = 4;

QVariantMap entry(std::initializer_list<std::pair<const char*, QVariant>> fields) {
    QVariantMap map;
    for (const auto& [key, value] : fields) {
        map.insert(QLatin1String(key), value);
    }
    return map;
}

QString rateText(double bytesPerSecond) {
    return Fmt::bytes(finiteOr0(bytesPerSecond)) + QStringLiteral("/s");
}

QString thermalText(ThermalLevel level) {
    switch (level) {
    case ThermalLevel::nominal:
        return QStringLiteral("Normal");
    case ThermalLevel::fair:
        return QStringLiteral("Fair");
    case ThermalLevel::serious:
        return QStringLiteral("Serious");
    case ThermalLevel::critical:
        return QStringLiteral("Critical");
    }
    return QStringLiteral("Normal");
}

QString thermalTint(ThermalLevel level) {
    switch (level) {
    case ThermalLevel::nominal:
        return QStringLiteral("green");
    case ThermalLevel::fair:
        return QStringLiteral("yellow");
    case ThermalLevel::serious:
        return QStringLiteral("orange");
    case ThermalLevel::critical:
        return QStringLiteral("red");
    }
    return QStringLiteral("green");
}

QVariantMap chart(const std::vector<double>& history, const char* tint, bool autoScale) {
    QVariantList points;
    for (const QPointF& p : chartPoints(history, autoScale)) {
        points.append(QVariant::fromValue(QVariantList{p.x(), p.y()}));
    }
    return entry({{"tint", QString::fromLatin1(tint)},
                  {"autoScale", autoScale},
                  {"scale", chartScale(history, autoScale)},
                  {"collecting", history.size() < 2},
                  {"points", points}});
}

/// Segments of a breakdown bar; in gigabyte mode (`gigabyteScale` > 0) their legends read in GB.
QVariantList segments(const std::vector<std::pair<QString, double>>& parts, const std::vector<const char*>& tints,
                      double gigabyteScale) {
    std::vector<double> fractions;
    for (const auto& part : parts) {
        fractions.push_back(part.second);
    }
    const std::vector<int> percents = displayPercents(fractions);
    QVariantList list;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const double fraction = std::clamp(finiteOr0(parts[i].second), 0.0, 1.0);
        const QString text = gigabyteScale > 0 ? QString::asprintf("%.1f GB", fraction * gigabyteScale)
                                               : QString::number(percents[i]) + QLatin1Char('%');
        list.append(entry({{"label", parts[i].first},
                           {"fraction", fraction},
                           {"tint", QString::fromLatin1(tints[i])},
                           {"text", text}}));
    }
    return list;
}

QVariantMap stat(const QString& label, const QString& value, const char* tint) {
    return entry({{"label", label}, {"value", value}, {"tint", QString::fromLatin1(tint)}});
}

QVariantMap detail(const QString& label, const QString& value) {
    return entry({{"label", label}, {"value", value}});
}

} // namespace

QString rawValue(ListScope scope) {
    return scope == ListScope::apps ? QStringLiteral("Apps") : QStringLiteral("All");
}

double finiteOr0(double value) {
    return std::isfinite(value) ? value : 0.0;
}

double metricValue(const ProcessSample& sample, DashboardMetric metric) {
    switch (metric) {
    case DashboardMetric::memory:
        return finiteOr0(sample.memory);
    case DashboardMetric::disk:
        return finiteOr0(sample.disk);
    default:
        return finiteOr0(sample.cpu);
    }
}

double idleThreshold(DashboardMetric metric) {
    switch (metric) {
    case DashboardMetric::memory:
        return 0.3;
    case DashboardMetric::disk:
        return 50000;
    default:
        return 0.05;
    }
}

std::vector<ProcessSample> sortedByMetric(std::vector<ProcessSample> list, DashboardMetric metric) {
    std::stable_sort(list.begin(), list.end(), [metric](const ProcessSample& a, const ProcessSample& b) {
        return metricValue(a, metric) > metricValue(b, metric);
    });
    return list;
}

std::vector<ProcessSample> activeApps(const std::vector<ProcessSample>& processes, DashboardMetric metric) {
    std::vector<ProcessSample> list;
    for (const ProcessSample& p : processes) {
        if (p.isApp && metricValue(p, metric) >= idleThreshold(metric)) {
            list.push_back(p);
        }
    }
    return sortedByMetric(std::move(list), metric);
}

std::vector<ProcessSample> daemons(const std::vector<ProcessSample>& processes, DashboardMetric metric) {
    std::vector<ProcessSample> list;
    std::copy_if(processes.begin(), processes.end(), std::back_inserter(list), [](const auto& p) { return !p.isApp; });
    return sortedByMetric(std::move(list), metric);
}

std::vector<ProcessSample> searchResults(const std::vector<ProcessSample>& processes, const QString& query,
                                         DashboardMetric metric) {
    std::vector<ProcessSample> list;
    for (const ProcessSample& p : processes) {
        if (p.name.contains(query, Qt::CaseInsensitive)) {
            list.push_back(p);
        }
    }
    return sortedByMetric(std::move(list), metric);
}

std::vector<GroupedRow> groupedRows(const std::vector<ProcessSample>& active, const std::vector<ProcessSample>& daemons,
                                    DashboardMetric metric) {
    // Ordered by index rather than by moving rows: GCC 12 at -O2 misreads moves of an optional sample
    // inside the sort as uses of an uninitialised pid.
    const std::size_t apps = std::min(kGroupedApps, active.size());
    std::vector<double> values;
    for (std::size_t i = 0; i < apps; ++i) {
        values.push_back(metricValue(active[i], metric));
    }
    double system = 0;
    for (const ProcessSample& d : daemons) {
        system += metricValue(d, metric);
    }
    values.push_back(system);
    std::vector<std::size_t> order(values.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&values](std::size_t a, std::size_t b) { return values[a] > values[b]; });
    std::vector<GroupedRow> rows;
    rows.reserve(order.size());
    for (std::size_t i : order) {
        if (i == apps) {
            rows.push_back({true, std::nullopt, system});
        } else {
            rows.push_back({false, active[i], values[i]});
        }
    }
    return rows;
}

OtherApps otherApps(const std::vector<ProcessSample>& processes, const std::vector<ProcessSample>& active,
                    DashboardMetric metric) {
    std::vector<std::int32_t> shown;
    for (std::size_t i = 0; i < std::min(kGroupedApps, active.size()); ++i) {
        shown.push_back(active[i].pid);
    }
    OtherApps others;
    for (const ProcessSample& p : processes) {
        if (p.isApp && std::find(shown.begin(), shown.end(), p.pid) == shown.end()) {
            ++others.count;
            others.sum += metricValue(p, metric);
        }
    }
    others.shown = others.count > 0 && others.sum >= idleThreshold(metric);
    return others;
}

QString valueText(const ProcessSample& sample, DashboardMetric metric, std::uint64_t physicalMemoryBytes) {
    switch (metric) {
    case DashboardMetric::disk:
        return rateText(sample.disk);
    case DashboardMetric::memory: {
        ProcessSample clean = sample;
        clean.memory = std::max(0.0, finiteOr0(sample.memory));
        return clean.memoryText(physicalMemoryBytes);
    }
    default:
        return QString::asprintf("%.1f%%", finiteOr0(sample.cpu));
    }
}

QString aggregateText(double value, DashboardMetric metric, double totalMemoryGB) {
    value = finiteOr0(value);
    switch (metric) {
    case DashboardMetric::disk:
        return rateText(value);
    case DashboardMetric::memory:
        return QString::asprintf("%.1f GB", value / 100.0 * finiteOr0(totalMemoryGB));
    default:
        return QString::asprintf("%.1f%%", value);
    }
}

QString percentText(double fraction) {
    const double clamped = std::clamp(finiteOr0(fraction), 0.0, 1.0);
    return QString::number(static_cast<int>(std::round(clamped * 100))) + QLatin1Char('%');
}

std::vector<int> displayPercents(const std::vector<double>& fractions) {
    std::vector<double> p;
    for (double f : fractions) {
        p.push_back(std::clamp(finiteOr0(f), 0.0, 1.0) * 100.0);
    }
    // std::round rounds halves away from zero.
    int remainder = static_cast<int>(std::round(std::accumulate(p.begin(), p.end(), 0.0)));
    std::vector<int> base;
    for (double v : p) {
        base.push_back(static_cast<int>(std::trunc(v)));
        remainder -= base.back();
    }
    std::vector<std::size_t> order(p.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return p[a] - base[a] > p[b] - base[b]; });
    for (std::size_t i : order) {
        if (remainder <= 0) {
            break;
        }
        ++base[i];
        --remainder;
    }
    return base;
}

Level coreLevel(double value) {
    value = finiteOr0(value);
    if (value >= 0.85) {
        return Level::high;
    }
    return value >= 0.5 ? Level::raised : Level::low;
}

double usedShare(const VolumeSpace& volume) {
    // In floating point: free space over the total (a volume that shrank under a stale reading) must not wrap.
    const double total = static_cast<double>(volume.totalBytes);
    if (total <= 0) {
        return 0;
    }
    return std::clamp((total - static_cast<double>(volume.freeBytes)) / total, 0.0, 1.0);
}

double fanFraction(const FanStats& fan) {
    const double span = double(fan.maxRPM) - double(fan.minRPM);
    if (span < 1) {
        return 0;
    }
    return std::clamp((double(fan.rpm) - double(fan.minRPM)) / span, 0.0, 1.0);
}

double chartScale(const std::vector<double>& history, bool autoScale) {
    if (!autoScale) {
        return 1;
    }
    double largest = 0;
    for (double v : history) {
        largest = std::max(largest, finiteOr0(v));
    }
    return largest <= 1 ? 1.15 : 1.15 * largest;
}

std::vector<QPointF> chartPoints(const std::vector<double>& history, bool autoScale, int capacity) {
    std::vector<QPointF> points;
    if (history.size() < 2 || capacity < 2) {
        return points;
    }
    const std::size_t n = std::min(history.size(), std::size_t(capacity));
    const std::vector<double> shown(history.end() - std::ptrdiff_t(n), history.end());
    const double scale = chartScale(shown, autoScale);
    const double step = 1.0 / double(capacity - 1);
    for (std::size_t k = 0; k < n; ++k) {
        const double x = 1.0 - step * double(n - 1 - k);
        const double y = 1.0 - std::clamp(finiteOr0(shown[k]) / scale, 0.0, 1.0);
        points.emplace_back(x, y);
    }
    return points;
}

QVariantMap summaryCard(DashboardMetric metric, const MetricsSnapshot& s, const std::vector<double>& history,
                        int coreCount, double totalMemoryGB) {
    QVariantMap card;
    QVariantList stats, details;
    switch (metric) {
    case DashboardMetric::cpu: {
        card[QStringLiteral("headline")] = percentText(s.cpu.total);
        card[QStringLiteral("caption")] = QStringLiteral("of %1 cores").arg(coreCount);
        card[QStringLiteral("segments")] = segments(
            {{QStringLiteral("User"), s.cpu.user}, {QStringLiteral("System"), s.cpu.system}}, {"accent", "orange"}, 0);
        QVariantList cores;
        for (double c : s.cpu.perCore) {
            const double v = std::clamp(finiteOr0(c), 0.0, 1.0);
            cores.append(entry({{"value", v}, {"level", int(coreLevel(v))}}));
        }
        card[QStringLiteral("cores")] = cores;
        card[QStringLiteral("chart")] = chart(history, "accent", false);
        break;
    }
    case DashboardMetric::gpu:
        if (s.gpu) {
            card[QStringLiteral("headline")] = percentText(s.gpu->utilization);
            card[QStringLiteral("caption")] = Fmt::bytes(double(s.gpu->vramInUseBytes)) + QStringLiteral(" in use");
            card[QStringLiteral("chart")] = chart(history, "green", false);
        } else {
            card[QStringLiteral("unavailable")] = QStringLiteral("No GPU statistics available");
        }
        break;
    case DashboardMetric::memory: {
        const double gb = finiteOr0(totalMemoryGB);
        card[QStringLiteral("headline")] = percentText(s.memory.used);
        card[QStringLiteral("caption")] =
            QString::asprintf("%.1f of %.0f GB", std::clamp(finiteOr0(s.memory.used), 0.0, 1.0) * gb, gb);
        card[QStringLiteral("segments")] = segments({{QStringLiteral("App"), s.memory.app},
                                                     {QStringLiteral("Wired"), s.memory.wired},
                                                     {QStringLiteral("Compressed"), s.memory.compressed}},
                                                    {"accent", "purple", "orange"}, gb);
        if (s.memory.swapTotal != 0) {
            details.append(detail(QStringLiteral("Swap used"), Fmt::bytes(double(s.memory.swapUsed))));
        }
        card[QStringLiteral("chart")] = chart(history, "purple", false);
        break;
    }
    case DashboardMetric::disk: {
        stats = {stat(QStringLiteral("Read"), rateText(s.disk.readBytesPerSec), "cyan"),
                 stat(QStringLiteral("Write"), rateText(s.disk.writeBytesPerSec), "blue")};
        card[QStringLiteral("chart")] = chart(history, "cyan", true);
        QVariantList volumes;
        for (const VolumeSpace& v : s.disk.volumes) {
            volumes.append(entry({{"name", v.name},
                                  {"text", Fmt::bytes(double(v.freeBytes)) + QStringLiteral(" free")},
                                  {"share", usedShare(v)}}));
        }
        card[QStringLiteral("volumes")] = volumes;
        break;
    }
    case DashboardMetric::network: {
        stats = {stat(QStringLiteral("Down"), rateText(s.network.downBytesPerSec), "green"),
                 stat(QStringLiteral("Up"), rateText(s.network.upBytesPerSec), "orange")};
        card[QStringLiteral("chart")] = chart(history, "orange", true);
        QVariantList interfaces;
        for (std::size_t i = 0; i < std::min(kInterfaceRows, s.network.perInterface.size()); ++i) {
            const IfaceRate& r = s.network.perInterface[i];
            interfaces.append(entry({{"name", r.name},
                                     {"down", QStringLiteral("↓ ") + Fmt::compactRate(finiteOr0(r.downBytesPerSec))},
                                     {"up", QStringLiteral("↑ ") + Fmt::compactRate(finiteOr0(r.upBytesPerSec))}}));
        }
        if (interfaces.isEmpty()) {
            details.append(detail(QStringLiteral("Interfaces"), QStringLiteral("idle")));
        }
        card[QStringLiteral("interfaces")] = interfaces;
        break;
    }
    case DashboardMetric::power: {
        const bool battery = s.power && s.power->isPresent;
        const bool charging = s.power && s.power->isCharging;
        if (battery) {
            card[QStringLiteral("headline")] = percentText(s.power->charge);
            card[QStringLiteral("caption")] =
                charging
                    ? QStringLiteral("Charging · ") + Fmt::minutes(s.power->timeRemaining) + QStringLiteral(" to full")
                    : Fmt::minutes(s.power->timeRemaining) + QStringLiteral(" remaining");
        } else {
            card[QStringLiteral("headline")] = QStringLiteral("AC");
            card[QStringLiteral("caption")] = QStringLiteral("Running on wall power");
        }
        const double watts = s.power ? finiteOr0(s.power->watts) : 0;
        stats = {stat(charging ? QStringLiteral("Charging") : QStringLiteral("Draw"),
                      watts > 0.1 ? QString::asprintf("%.1f W", watts) : QStringLiteral("—"), "yellow")};
        const ThermalLevel level = s.power ? s.power->thermal : ThermalLevel::nominal;
        card[QStringLiteral("thermal")] = entry({{"text", thermalText(level)}, {"tint", thermalTint(level)}});
        QVariantList fans;
        for (std::size_t i = 0; i < s.fans.size(); ++i) {
            const FanStats& f = s.fans[i];
            fans.append(entry({{"title", QStringLiteral("Fan %1").arg(i + 1)},
                               {"text", QStringLiteral("%1 rpm").arg(f.rpm)},
                               {"fraction", fanFraction(f)}}));
        }
        card[QStringLiteral("fans")] = fans;
        card[QStringLiteral("showsFans")] = true;
        break;
    }
    }
    card[QStringLiteral("stats")] = stats;
    card[QStringLiteral("details")] = details;
    return card;
}

} // namespace tillory::monitor
