// UPower's change signals, from python3-dbusmock's upower template on a private bus of the test's own.
#include "platform/linux/power_events.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace tillory::platform::nix {
namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");
const QString kUPower = QStringLiteral("org.freedesktop.UPower");
const QString kDisplay = QStringLiteral("/org/freedesktop/UPower/devices/DisplayDevice");

/// Runs the event loop until `done`; false when it never came (a hung helper, not a measurement).
bool waitFor(const std::function<bool()>& done) {
    QDeadlineTimer deadline(20000);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    }
    return done();
}

QDBusMessage call(const QString& path, const QString& interface, const QString& method, const QVariantList& args) {
    QDBusMessage message = QDBusMessage::createMethodCall(kUPower, path, interface, method);
    message.setArguments(args);
    return message;
}

TEST(PowerEvents, UPowerSignalsReachTheCallback) {
    int argc = 1;
    char name[] = "power_events_test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty() ||
        QProcess::execute(kPython, {QStringLiteral("-c"), QStringLiteral("import dbusmock")}) != 0) {
        GTEST_SKIP() << "needs dbus-daemon and python3-dbusmock (scripts/install-deps.sh)";
    }
    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    ASSERT_TRUE(daemon.waitForReadyRead(30000));
    const QString address = QString::fromUtf8(daemon.readLine().trimmed());
    QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("upower-test"));
    ASSERT_TRUE(bus.isConnected());

    int heard = 0;
    EXPECT_EQ(observeUPower(bus, [&heard] { ++heard; }), nullptr); // no UPower on the bus yet

    QProcess upower;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), address);
    upower.setProcessEnvironment(env);
    upower.start(kPython, {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--template"),
                           QStringLiteral("upower"), QStringLiteral("--system")});
    ASSERT_TRUE(waitFor([&] { return bus.interface()->isServiceRegistered(kUPower).value(); }));
    bus.call(call(QStringLiteral("/org/freedesktop/UPower"), QStringLiteral("org.freedesktop.DBus.Mock"),
                  QStringLiteral("SetupDisplayDevice"),
                  {2u, 2u, 30.0, 30.0, 100.0, 10.0, qlonglong(1200), qlonglong(0), true,
                   QStringLiteral("battery-low-symbolic"), 1u}));

    auto subscription = observeUPower(bus, [&heard] { ++heard; });
    ASSERT_NE(subscription, nullptr);
    int other = 0;
    const auto witness = observeUPower(bus, [&other] { ++other; });

    const auto setProperty = [](const char* property, const QVariant& value) {
        return call(QStringLiteral("/org/freedesktop/UPower"), QStringLiteral("org.freedesktop.DBus.Properties"),
                    QStringLiteral("Set"),
                    {kUPower, QString::fromLatin1(property), QVariant::fromValue(QDBusVariant(value))});
    };
    const auto setDevice = [](const char* property, const QVariant& value) {
        return call(
            QStringLiteral("/org/freedesktop/UPower"), QStringLiteral("org.freedesktop.DBus.Mock"),
            QStringLiteral("SetDeviceProperties"),
            {QVariant::fromValue(QDBusObjectPath(kDisplay)), QVariantMap{{QString::fromLatin1(property), value}}});
    };
    // Each step is followed by one change both listeners hear, so a step heard by nobody shows as exactly one
    // more call.
    const struct {
        const char* what;
        QDBusMessage change;
        int heardMore;
    } cases[] = {
        {"unplugged", setProperty("OnBattery", true), 2},
        {"a new percentage", setDevice("Percentage", 9.0), 2},
        {"a new time estimate only", setDevice("TimeToEmpty", qlonglong(300)), 1},
        {"plugged", setProperty("OnBattery", false), 2},
    };
    for (const auto& c : cases) {
        const int before = heard;
        const int otherBefore = other;
        EXPECT_EQ(bus.call(c.change).type(), QDBusMessage::ReplyMessage) << c.what;
        bus.call(setDevice("State", 1u));
        ASSERT_TRUE(waitFor([&] { return other >= otherBefore + c.heardMore; })) << c.what;
        EXPECT_EQ(heard - before, c.heardMore) << c.what;
    }

    subscription.reset();
    const int before = heard;
    const int otherBefore = other;
    bus.call(setProperty("OnBattery", true));
    ASSERT_TRUE(waitFor([&] { return other > otherBefore; }));
    EXPECT_EQ(heard, before);

    upower.terminate();
    upower.waitForFinished(5000);
    daemon.terminate();
    daemon.waitForFinished(5000);
}

} // namespace
} // namespace tillory::platform::nix
