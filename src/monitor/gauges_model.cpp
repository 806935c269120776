#include "monitor/gauges_model.h"

#include "monitor/dashboard_rules.h"
#include "monitor/fmt.h"
#include "monitor/system_monitor.h"

#include <algorithm>
#include <cmath>

namespace tillory::monitor {
namespace {

QVariantMap ring(const char* label, const char* symbol, double value, const QString& centerText, const char* tint,
                 DashboardMetric metric) {
    return {{QStringLiteral("label"), QString::fromLatin1(label)},
            {QStringLiteral("symbol"), QString::fromLatin1(symbol)},
            {QStringLiteral("value"), std::clamp(finiteOr0(value), 0.0, 1.0)},
            {QStringLiteral("centerText"), centerText},
            {QStringLiteral("tint"), QString::fromLatin1(tint)},
            {QStringLiteral("metric"), int(metric)}};
}

QVariantMap cell(const QString& symbol, const QString& tint, const std::vector<std::pair<QString, QString>>& lines,
                 DashboardMetric metric) {
    QVariantList shown;
    for (const auto& [label, value] : lines) {
        shown.append(QVariantMap{{QStringLiteral("label"), label}, {QStringLiteral("value"), value}});
    }
    return {{QStringLiteral("symbol"), symbol},
            {QStringLiteral("tint"), tint},
            {QStringLiteral("lines"), shown},
            {QStringLiteral("metric"), int(metric)}};
}

} // namespace

QString tempText(double celsius) {
    celsius = finiteOr0(celsius);
    if (celsius <= 0) {
        return QStringLiteral("—");
    }
    // No sensor reads a thousand degrees; a reading that large is garbage and must not overflow the integer.
    return QString::number(static_cast<int>(std::round(std::min(celsius, 999.0)))) + QStringLiteral("°");
}

QString tempTint(double celsius) {
    celsius = finiteOr0(celsius);
    if (celsius >= 90) {
        return QStringLiteral("red");
    }
    return celsius >= 70 ? QStringLiteral("orange") : QStringLiteral("green");
}

std::vector<std::pair<QString, QString>> powerLines(const std::optional<PowerStats>& power) {
    if (!power || !power->isPresent) {
        return {{QString(), QStringLiteral("AC")}};
    }
    const double watts = finiteOr0(power->watts);
    return {{QString(), percentText(power->charge)},
            {QString(), watts > 0.1 ? QString::asprintf("%.1fW", watts) : QStringLiteral("—")}};
}

QString powerSymbol(const std::optional<PowerStats>& power) {
    if (!power || !power->isPresent) {
        return QStringLiteral("powerplug");
    }
    return power->isCharging ? QStringLiteral("battery.100.bolt") : QStringLiteral("bolt.fill");
}

GaugesModel::GaugesModel(SystemMonitor& monitor, QObject* parent) : QObject(parent), monitor_(monitor) {
    connect(&monitor_, &SystemMonitor::snapshotChanged, this, &GaugesModel::changed);
}

QVariantList GaugesModel::rings() const {
    const MetricsSnapshot& s = monitor_.snapshot();
    const double gpu = s.gpu ? s.gpu->utilization : 0;
    return {ring("CPU", "cpu", s.cpu.total, percentText(s.cpu.total), "accent", DashboardMetric::cpu),
            ring("GPU", "cpu.fill", gpu, s.gpu ? percentText(gpu) : QStringLiteral("—"), "green", DashboardMetric::gpu),
            ring("MEM", "memorychip", s.memory.used, percentText(s.memory.used), "purple", DashboardMetric::memory)};
}

QVariantList GaugesModel::cells() const {
    const MetricsSnapshot& s = monitor_.snapshot();
    const auto rate = [](double v) { return Fmt::compactRate(finiteOr0(v)); };
    return {cell(QStringLiteral("thermometer.medium"), tempTint(s.temperature), {{QString(), tempText(s.temperature)}},
                 DashboardMetric::cpu),
            cell(QStringLiteral("arrow.down.arrow.up"), QStringLiteral("orange"),
                 {{QStringLiteral("↓"), rate(s.network.downBytesPerSec)},
                  {QStringLiteral("↑"), rate(s.network.upBytesPerSec)}},
                 DashboardMetric::network),
            cell(QStringLiteral("internaldrive"), QStringLiteral("cyan"),
                 {{QStringLiteral("R"), rate(s.disk.readBytesPerSec)},
                  {QStringLiteral("W"), rate(s.disk.writeBytesPerSec)}},
                 DashboardMetric::disk),
            cell(powerSymbol(s.power), QStringLiteral("yellow"), powerLines(s.power), DashboardMetric::power)};
}

} // namespace tillory::monitor
