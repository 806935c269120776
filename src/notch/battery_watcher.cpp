#include "notch/battery_watcher.h"

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
    if (runLoopSource_) {
        return;
    }
    QPointer<BatteryWatcher> self(this);
    runLoopSource_ = power_.observeChanges([this, self] {
        scheduler_.post([self] {
            if (self) {
                self->check(true);
            }
        });
    });
    if (!runLoopSource_) {
        return;
    }
    check(false);
}

void BatteryWatcher::stop() {
    runLoopSource_.reset();
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
    if (announceChanges && lastCharging_ && *lastCharging_ != charging) {
        Q_EMIT batteryEvent(
            charging ? TransportHUD{QStringLiteral("bolt.fill"), withPercent("Charging \u00B7 ", reading->percent)}
                     : TransportHUD{QStringLiteral("battery.50percent"),
                                    withPercent("On Battery \u00B7 ", reading->percent)});
    }
    lastCharging_ = charging;
    if (charging) {
        warnedAt20_ = false;
        warnedAt10_ = false;
        return;
    }
    if (!announceChanges) {
        return;
    }
    // At most one warning per check: a first reading under 10 % gives the 10 % one now and the 20 % one next.
    if (reading->percent <= 10 && !warnedAt10_) {
        warnedAt10_ = true;
    } else if (reading->percent <= 20 && !warnedAt20_) {
        warnedAt20_ = true;
    } else {
        return;
    }
    Q_EMIT batteryEvent(TransportHUD{QStringLiteral("battery.25percent"), withPercent("Battery ", reading->percent)});
}

} // namespace tillory::notch
