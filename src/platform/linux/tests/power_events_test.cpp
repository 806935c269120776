// UPower's change signals, from python3-dbusmock's upower template on a private bus of the test's own, and the
// battery notices they lead to over a sysfs tree of the test's own.
#include "platform/linux/power_events.h"

#include "core/qt_scheduler.h"
#include "notch/battery_watcher.h"
#include "platform/linux/sysfs_power.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tillory::platform::nix {
namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");
const QString kUPower = QStringLiteral("org.freedesktop.UPower");
const QString kDaemon = QStringLiteral("/org/freedesktop/UPower");

/// Runs the event loop until `done`; false when it never came (a hung helper, not a measurement).
bool waitFor(const std::function<bool()>& done) {
    QDeadlineTimer deadline(20000);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    }
    return done();
}

QDBusMessage setOnBattery(bool onBattery) {
    QDBusMessage m = QDBusMessage::createMethodCall(kUPower, kDaemon, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                    QStringLiteral("Set"));
    m.setArguments({kUPower, QStringLiteral("OnBattery"), QVariant::fromValue(QDBusVariant(onBattery))});
    return m;
}

QDBusMessage setDisplayDevice(const char* property, const QVariant& value) {
    QDBusMessage m = QDBusMessage::createMethodCall(kUPower, kDaemon, QStringLiteral("org.freedesktop.DBus.Mock"),
                                                    QStringLiteral("SetDeviceProperties"));
    m.setArguments(
        {QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/freedesktop/UPower/devices/DisplayDevice"))),
         QVariantMap{{QString::fromLatin1(property), value}}});
    return m;
}

/// A private bus that also stands in for the system bus, with or without a fake UPower on it.
class FakeUPower : public ::testing::Test {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty() ||
            QProcess::execute(kPython, {QStringLiteral("-c"), QStringLiteral("import dbusmock")}) != 0) {
            GTEST_SKIP() << "needs dbus-daemon and python3-dbusmock (scripts/install-deps.sh)";
        }
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        ASSERT_TRUE(daemon_.waitForReadyRead(30000));
        address_ = QString::fromUtf8(daemon_.readLine().trimmed());
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", address_.toUtf8());
        bus_ = QDBusConnection::connectToBus(address_, QStringLiteral("upower-test"));
        ASSERT_TRUE(bus_.isConnected());
    }
    void startUPower() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), address_);
        upower_.setProcessEnvironment(env);
        upower_.start(kPython, {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--template"),
                                QStringLiteral("upower"), QStringLiteral("--system")});
        ASSERT_TRUE(waitFor([&] { return bus_.interface()->isServiceRegistered(kUPower).value(); }));
        QDBusMessage setup = QDBusMessage::createMethodCall(
            kUPower, kDaemon, QStringLiteral("org.freedesktop.DBus.Mock"), QStringLiteral("SetupDisplayDevice"));
        setup.setArguments({2u, 2u, 30.0, 30.0, 100.0, 10.0, qlonglong(1200), qlonglong(0), true,
                            QStringLiteral("battery-low-symbolic"), 1u});
        ASSERT_EQ(bus_.call(setup).type(), QDBusMessage::ReplyMessage);
    }
    void TearDown() override {
        for (QProcess* p : {&upower_, &daemon_}) {
            p->terminate();
            p->waitForFinished(5000);
        }
    }

    int argc_ = 1;
    char name_[18] = "power_events_test";
    char* argv_[2] = {name_, nullptr};
    QCoreApplication app_{argc_, argv_};
    QProcess daemon_;
    QProcess upower_;
    QString address_;
    QDBusConnection bus_{QString()};
};

TEST_F(FakeUPower, SignalsReachTheCallback) {
    int heard = 0;
    EXPECT_EQ(observeUPower(bus_, [&heard] { ++heard; }), nullptr); // no UPower on the bus yet
    startUPower();
    auto subscription = observeUPower(bus_, [&heard] { ++heard; });
    ASSERT_NE(subscription, nullptr);
    int other = 0;
    const auto witness = observeUPower(bus_, [&other] { ++other; });

    // Each step is followed by one change both listeners hear, so a step heard by nobody shows as exactly one
    // more call.
    const struct {
        const char* what;
        QDBusMessage change;
        int heardMore;
    } cases[] = {
        {"unplugged", setOnBattery(true), 2},
        {"a new percentage", setDisplayDevice("Percentage", 9.0), 2},
        {"a new time estimate only", setDisplayDevice("TimeToEmpty", qlonglong(300)), 1},
        {"plugged", setOnBattery(false), 2},
    };
    for (const auto& c : cases) {
        const int before = heard;
        const int otherBefore = other;
        EXPECT_EQ(bus_.call(c.change).type(), QDBusMessage::ReplyMessage) << c.what;
        bus_.call(setDisplayDevice("State", 1u));
        ASSERT_TRUE(waitFor([&] { return other >= otherBefore + c.heardMore; })) << c.what;
        EXPECT_EQ(heard - before, c.heardMore) << c.what;
    }

    subscription.reset();
    const int before = heard;
    const int otherBefore = other;
    bus_.call(setOnBattery(true));
    ASSERT_TRUE(waitFor([&] { return other > otherBefore; }));
    EXPECT_EQ(heard, before);
}

TEST_F(FakeUPower, BatteryNoticesFromSysfsOnUPowerSignals) {
    startUPower();
    QTemporaryDir tree;
    const auto write = [&](const char* supply, const char* attribute, const QByteArray& value) {
        const QString folder = tree.path() + QStringLiteral("/class/power_supply/") + QLatin1String(supply);
        QDir().mkpath(folder);
        QFile file(folder + u'/' + QLatin1String(attribute));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(value);
    };
    const auto state = [&](const char* online, const char* status, const char* capacity) {
        write("AC", "type", "Mains");
        write("AC", "online", online);
        write("BAT0", "type", "Battery");
        write("BAT0", "status", status);
        write("BAT0", "capacity", capacity);
    };
    state("1", "Charging", "21");
    SysfsPowerSources sources(tree.path());
    core::QtScheduler scheduler;
    notch::BatteryWatcher watcher(sources, scheduler);
    QStringList labels;
    QObject::connect(&watcher, &notch::BatteryWatcher::batteryEvent,
                     [&labels](const notch::TransportHUD& hud) { labels << hud.label; });
    watcher.start();
    ASSERT_TRUE(watcher.isStarted());

    const struct {
        const char* online;
        const char* status;
        const char* capacity;
        QStringList expected;
    } steps[] = {
        {"0", "Discharging", "21", {QStringLiteral("On Battery \u00B7 21%")}},
        {"0", "Discharging", "20", {QStringLiteral("Battery 20%")}},
        {"0", "Discharging", "10", {QStringLiteral("Battery 10%")}},
        {"0", "Discharging", "9", {}},
        {"1", "Charging", "9", {QStringLiteral("Charging \u00B7 9%")}},
        {"1", "Full", "100", {}},
    };
    int signals = 0;
    // On the connection the watcher listens on, so it hears each signal in the same dispatch.
    const auto witness = observeUPower(QDBusConnection::systemBus(), [&signals] { ++signals; });
    for (const auto& s : steps) {
        labels.clear();
        state(s.online, s.status, s.capacity);
        const int before = signals;
        bus_.call(setDisplayDevice("Percentage", QByteArray(s.capacity).toDouble()));
        ASSERT_TRUE(waitFor([&] { return signals > before; }));
        // The watcher may hear the same signal just after the witness and then post its check: work posted two
        // hops later runs after that check.
        bool settled = false;
        scheduler.post([&] { scheduler.post([&settled] { settled = true; }); });
        ASSERT_TRUE(waitFor([&] { return settled; }));
        EXPECT_EQ(labels, s.expected) << s.capacity;
    }
}

} // namespace
} // namespace tillory::platform::nix
