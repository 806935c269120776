#include "platform/linux/power_events.h"

#include <QDBusConnectionInterface>
#include <QFileInfo>
#include <QObject>
#include <QSocketNotifier>
#include <QStringList>
#include <QVariantMap>

#include <libudev.h>

#include <memory>

namespace tillory::platform::nix {
namespace {

const QString kService = QStringLiteral("org.freedesktop.UPower");
const QString kDaemonPath = QStringLiteral("/org/freedesktop/UPower");
const QString kDisplayDevicePath = QStringLiteral("/org/freedesktop/UPower/devices/DisplayDevice");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kChanged = QStringLiteral("PropertiesChanged");

/// Listens to PropertiesChanged of the daemon (OnBattery) and of the display device, which aggregates the
/// machine's batteries. UPower itself re-reads sysfs on every uevent, so by the time it signals, sysfs is current.
class UPowerListener final : public QObject, public Subscription {
    Q_OBJECT
public:
    UPowerListener(const QDBusConnection& bus, std::function<void()> onChange)
        : bus_(bus), onChange_(std::move(onChange)) {}

    ~UPowerListener() override {
        for (const QString& path : {kDaemonPath, kDisplayDevicePath}) {
            bus_.disconnect(kService, path, kProperties, kChanged, this,
                            SLOT(changed(QString, QVariantMap, QStringList)));
        }
    }

    bool listen() {
        bool all = true;
        for (const QString& path : {kDaemonPath, kDisplayDevicePath}) {
            all = bus_.connect(kService, path, kProperties, kChanged, this,
                               SLOT(changed(QString, QVariantMap, QStringList))) &&
                  all;
        }
        return all;
    }

private Q_SLOTS:
    void changed(const QString& interface, const QVariantMap& values, const QStringList& invalidated) {
        // The daemon sends one signal with several properties, some servers one per property; the time
        // estimates and update stamps change constantly and say nothing the notices use.
        static const QStringList kRelevant = {QStringLiteral("OnBattery"), QStringLiteral("Percentage"),
                                              QStringLiteral("State"), QStringLiteral("IsPresent")};
        (void)interface;
        bool relevant = !invalidated.isEmpty();
        for (const QString& key : kRelevant) {
            relevant = relevant || values.contains(key);
        }
        if (relevant) {
            onChange_();
        }
    }

private:
    QDBusConnection bus_;
    std::function<void()> onChange_;
};

class UeventListener final : public Subscription {
public:
    UeventListener(udev* context, udev_monitor* monitor, std::function<void()> onChange)
        : context_(context), monitor_(monitor), onChange_(std::move(onChange)),
          notifier_(udev_monitor_get_fd(monitor), QSocketNotifier::Read) {
        QObject::connect(&notifier_, &QSocketNotifier::activated, [this] { drain(); });
    }
    ~UeventListener() override {
        notifier_.setEnabled(false);
        udev_monitor_unref(monitor_);
        udev_unref(context_);
    }

private:
    void drain() {
        // A plug often comes as several supplies' events at once: one check covers them all.
        bool any = false;
        while (udev_device* device = udev_monitor_receive_device(monitor_)) {
            udev_device_unref(device);
            any = true;
        }
        if (any) {
            onChange_();
        }
    }

    udev* context_;
    udev_monitor* monitor_;
    std::function<void()> onChange_;
    QSocketNotifier notifier_;
};

} // namespace

SubscriptionPtr observeUPower(const QDBusConnection& bus, std::function<void()> onChange) {
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(kService).value()) {
        return nullptr;
    }
    auto listener = std::make_unique<UPowerListener>(bus, std::move(onChange));
    if (!listener->listen()) {
        return nullptr;
    }
    return listener;
}

SubscriptionPtr observePowerSupplyUevents(std::function<void()> onChange) {
    udev* context = udev_new();
    if (!context) {
        return nullptr;
    }
    // udev's own events follow its rules; without a udev daemon (containers, minimal systems) its monitor never
    // hears anything, and the kernel's events say the same for this purpose: sysfs is current when they come.
    const bool udevRuns = QFileInfo::exists(QStringLiteral("/run/udev/control"));
    udev_monitor* monitor = udev_monitor_new_from_netlink(context, udevRuns ? "udev" : "kernel");
    if (!monitor || udev_monitor_filter_add_match_subsystem_devtype(monitor, "power_supply", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor) < 0 || udev_monitor_get_fd(monitor) < 0) {
        if (monitor) {
            udev_monitor_unref(monitor);
        }
        udev_unref(context);
        return nullptr;
    }
    return std::make_unique<UeventListener>(context, monitor, std::move(onChange));
}

PowerChanges observePowerEvents(std::function<void()> onChange) {
    // UPower polls the batteries itself and signals each new level.
    if (auto upower = observeUPower(QDBusConnection::systemBus(), onChange)) {
        return {std::move(upower), true};
    }
    return {observePowerSupplyUevents(std::move(onChange)), false};
}

} // namespace tillory::platform::nix

#include "power_events.moc"
