#include "notch/battery_watcher.h"

#include "notch/notch_controller.h"

#include <QPointer>

#include <algorithm>
#include <limits>

namespace tillory::notch {
namespace {

/// An integer-valued description entry; nothing for any other kind (a string, a double, a bool).
std::optional<qint64> integer(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
        return value.toLongLong();
    case QMetaType::ULongLong:
        if (value.toULongLong() <= quint64(std::numeric_limits<qint64>::max())) {
            return value.toLongLong();
        }
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

/// current × 100 / maximum, truncated, in 0–100; the product is taken in 128 bits so no capacity overflows it.
qint64 percentOf(qint64 current, qint64 maximum) {
    __extension__ using Wide = __int128;
    const Wide percent = Wide(current) * 100 / Wide(maximum);
    return qint64(std::clamp<Wide>(percent, 0, 100));
}

/// On external power: the source's own power state where it reports one ("Is Charging" is false for a full
/// battery on its charger), else whether it charges.
bool onExternalPower(const QVariantMap& description) {
    const QVariant state = description.value(QStringLiteral("Power Source State"));
    if (state.typeId() == QMetaType::QString) {
        if (state.toString() == QLatin1String("AC Power")) {
            return true;
        }
        if (state.toString() == QLatin1String("Battery Power")) {
            return false;
        }
    }
    const QVariant charging = description.value(QStringLiteral("Is Charging"));
    return charging.typeId() == QMetaType::Bool && charging.toBool();
}

QString withPercent(const char* prefix, qint64 percent) {
    return QString::fromUtf8(prefix) + QString::number(percent) + QLatin1Char('%');
}

} // namespace

BatteryWatcher::BatteryWatcher(platform::PowerSources& power, core::Scheduler& scheduler, QObject* parent)
    : QObject(parent), power_(power), scheduler_(scheduler) {}

BatteryWatcher::~BatteryWatcher() = default;

void BatteryWatcher::start() {
    if (started_) {
        return;
    }
    started_ = true;
    QPointer<BatteryWatcher> self(this);
    auto changes = power_.observeChanges([this, self] {
        scheduler_.post([self] {
            if (self) {
                self->check(true);
            }
        });
    });
    runLoopSource_ = std::move(changes.subscription);
    hearsLevels_ = runLoopSource_ && changes.levels;
    check(false);
    updatePolling();
}

void BatteryWatcher::stop() {
    started_ = false;
    runLoopSource_.reset();
    pollTimer_.reset();
    laterNotice_.reset();
}

void BatteryWatcher::updatePolling() {
    // Unheard levels are read on battery; unheard plugging on the charger too, or unplugging would go unnoticed.
    const bool wanted = started_ && !hearsLevels_ && lastCharging_ && (!*lastCharging_ || !runLoopSource_);
    if (!wanted) {
        pollTimer_.reset();
    } else if (!pollTimer_) {
        pollTimer_ = scheduler_.every(kPollInterval, [this] { check(true); });
    }
}

std::optional<BatteryWatcher::Reading> BatteryWatcher::read(platform::PowerSources& power) {
    const auto sources = power.powerSources();
    if (!sources) {
        return std::nullopt;
    }
    for (const auto& description : *sources) {
        // Only the machine's own battery: a UPS or a wireless mouse with capacities of its own is not it.
        if (!description || description->value(QStringLiteral("Type")).toString() != QLatin1String("InternalBattery")) {
            continue;
        }
        const auto current = integer(description->value(QStringLiteral("Current Capacity")));
        const auto maximum = integer(description->value(QStringLiteral("Max Capacity")));
        if (!current || !maximum || *maximum < 1) {
            continue;
        }
        return Reading{percentOf(*current, *maximum), onExternalPower(*description)};
    }
    return std::nullopt;
}

void BatteryWatcher::check(bool announceChanges) {
    const auto reading = read(power_);
    if (!reading) {
        return;
    }
    const bool charging = reading->charging;
    std::optional<TransportHUD> plugNotice;
    if (announceChanges && lastCharging_ && *lastCharging_ != charging) {
        plugNotice = charging
                         ? TransportHUD{QStringLiteral("bolt.fill"), withPercent("Charging \u00B7 ", reading->percent)}
                         : TransportHUD{QStringLiteral("battery.50percent"),
                                        withPercent("On Battery \u00B7 ", reading->percent)};
    }
    lastCharging_ = charging;
    updatePolling();
    std::optional<TransportHUD> warning;
    if (charging) {
        warnedAt20_ = false;
        warnedAt10_ = false;
    } else if (announceChanges && reading->percent <= 10 && !warnedAt10_) {
        // Reaching 10 % spends the 20 % warning too: it would only repeat the news.
        warnedAt10_ = true;
        warnedAt20_ = true;
        warning = TransportHUD{QStringLiteral("battery.25percent"), withPercent("Battery ", reading->percent)};
    } else if (announceChanges && reading->percent <= 20 && !warnedAt20_) {
        warnedAt20_ = true;
        warning = TransportHUD{QStringLiteral("battery.25percent"), withPercent("Battery ", reading->percent)};
    }
    if (!plugNotice && !warning) {
        return;
    }
    // A waiting warning is stale once anything newer is said.
    laterNotice_.reset();
    if (plugNotice && warning) {
        // The notch shows one notice at a time and a newer one replaces it at once: the warning waits its turn.
        Q_EMIT batteryEvent(*plugNotice);
        laterNotice_ = scheduler_.after(NotchController::kHudDuration, [this, hud = *warning] {
            laterNotice_.reset();
            Q_EMIT batteryEvent(hud);
        });
        return;
    }
    Q_EMIT batteryEvent(plugNotice ? *plugNotice : *warning);
}

} // namespace tillory::notch
