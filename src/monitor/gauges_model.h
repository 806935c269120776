#pragma once

#include "monitor/dashboard_metric.h"
#include "monitor/metrics_sampler.h"

#include <QObject>
#include <QVariantList>

#include <optional>
#include <utility>
#include <vector>

namespace tillory::monitor {

class SystemMonitor;

/// "52°" from a rounded reading; "—" without one (0 or less, or not a number).
QString tempText(double celsius);
/// Colour name of the reading, unrounded: green below 70 °C (and without a reading), orange below 90, red above.
QString tempTint(double celsius);
/// The power cell's lines (label, value): with a battery its charge and draw ("12.3W", "—" up to 0.1 W), else "AC".
std::vector<std::pair<QString, QString>> powerLines(const std::optional<PowerStats>& power);
/// Plug without a battery, a bolt on battery, a charging battery while charging.
QString powerSymbol(const std::optional<PowerStats>& power);

/// The home page's gauges: CPU, GPU and memory rings and the temperature, network, disk and power cells, each
/// opening the dashboard on its metric. Follows the monitor's snapshot. Main thread.
class GaugesModel : public QObject {
    Q_OBJECT
    /// [{label, symbol, value, centerText, tint, metric}]
    Q_PROPERTY(QVariantList rings READ rings NOTIFY changed)
    /// [{symbol, tint, lines: [{label, value}], metric}]
    Q_PROPERTY(QVariantList cells READ cells NOTIFY changed)

public:
    explicit GaugesModel(SystemMonitor& monitor, QObject* parent = nullptr);

    QVariantList rings() const;
    QVariantList cells() const;

    /// A ring or cell was tapped.
    Q_INVOKABLE void open(int metric) { Q_EMIT openDashboard(metric); }

Q_SIGNALS:
    void changed();
    void openDashboard(int metric);

private:
    SystemMonitor& monitor_;
};

} // namespace tillory::monitor
