#include "notch/battery_watcher.h"

#include "core/manual_scheduler.h"
#include "platform/sim/sim_desktop.h"

#include <gtest/gtest.h>

#include <memory>

namespace tillory::notch {
namespace {

using Sources = std::vector<std::optional<QVariantMap>>;

QVariantMap source(const char* type, QVariant current, QVariant maximum, std::optional<bool> charging,
                   const char* powerState = nullptr) {
    QVariantMap d{{QStringLiteral("Type"), QString::fromLatin1(type)},
                  {QStringLiteral("Current Capacity"), current},
                  {QStringLiteral("Max Capacity"), maximum}};
    if (charging) {
        d.insert(QStringLiteral("Is Charging"), *charging);
    }
    if (powerState) {
        d.insert(QStringLiteral("Power Source State"), QString::fromLatin1(powerState));
    }
    return d;
}

Sources battery(qint64 current, bool charging, qint64 maximum = 100) {
    return {source("InternalBattery", current, maximum, charging)};
}

Sources onPower(qint64 current, bool charging, const char* powerState) {
    return {source("InternalBattery", current, 100, charging, powerState)};
}

TransportHUD plug(const char* percent) {
    return {QStringLiteral("bolt.fill"), QStringLiteral("Charging \u00B7 ") + QLatin1String(percent)};
}
TransportHUD unplug(const char* percent) {
    return {QStringLiteral("battery.50percent"), QStringLiteral("On Battery \u00B7 ") + QLatin1String(percent)};
}
TransportHUD low(const char* percent) {
    return {QStringLiteral("battery.25percent"), QStringLiteral("Battery ") + QLatin1String(percent)};
}

struct Fixture {
    core::ManualScheduler scheduler;
    platform::sim::SimDesktop desktop{scheduler};
    std::unique_ptr<BatteryWatcher> watcher =
        std::make_unique<BatteryWatcher>(*desktop.platform().powerSources, scheduler);
    std::vector<TransportHUD> events;

    explicit Fixture(std::optional<Sources> initial) {
        desktop.setPowerSources(std::move(initial));
        QObject::connect(watcher.get(), &BatteryWatcher::batteryEvent,
                         [this](const TransportHUD& hud) { events.push_back(hud); });
        watcher->start();
        scheduler.runPosted();
    }
    std::vector<TransportHUD> change(std::optional<Sources> sources) {
        events.clear();
        desktop.setPowerSources(std::move(sources));
        scheduler.runPosted();
        return events;
    }
};

struct Step {
    std::optional<Sources> sources;
    std::vector<TransportHUD> expected;
};

TEST(BatteryWatcher, NoticesForEachChange) {
    constexpr qint64 kHuge = 9223372036854775807;
    const auto ups = [](qint64 current, bool charging) { return source("UPS", current, 100, charging); };
    const QVariantMap mouse = source("Battery", 3, 100, false);
    const struct {
        const char* what;
        Sources initial;
        std::vector<Step> steps;
    } cases[] = {
        {"unplug at 73, plug at 74",
         battery(73, true),
         {{battery(73, false), {unplug("73%")}}, {battery(74, true), {plug("74%")}}}},
        {"21 down to 9",
         battery(21, false),
         {{battery(20, false), {low("20%")}},
          {battery(19, false), {}},
          {battery(11, false), {}},
          {battery(10, false), {low("10%")}},
          {battery(9, false), {}},
          {battery(0, false), {}}}},
        {"first reading already at 8",
         battery(50, false),
         {{battery(8, false), {low("8%")}}, {battery(8, false), {low("8%")}}, {battery(7, false), {}}}},
        {"a moment on the charger clears both warnings",
         battery(21, false),
         {{battery(20, false), {low("20%")}},
          {battery(10, false), {low("10%")}},
          {battery(10, true), {plug("10%")}},
          {battery(10, false), {unplug("10%"), low("10%")}},
          {battery(9, false), {low("9%")}}}},
        {"4500 of 5000 is 90", battery(4500, true, 5000), {{battery(4500, false, 5000), {unplug("90%")}}}},
        {"999 of 1000 is 99", battery(999, true, 1000), {{battery(999, false, 1000), {unplug("99%")}}}},
        {"above 20 without a plug change", battery(80, false), {{battery(60, false), {}}, {battery(21, false), {}}}},
        {"full on the charger follows the power state, not Is Charging",
         onPower(100, false, "AC Power"),
         {{onPower(100, false, "Battery Power"), {unplug("100%")}},
          {onPower(100, false, "AC Power"), {plug("100%")}},
          {onPower(15, false, "AC Power"), {}}}},
        {"percent clamped to 0-100, products past 64 bits",
         battery(150, true),
         {{battery(150, false), {unplug("100%")}},
          {battery(-5, true), {plug("0%")}},
          {battery(4611686018427387904, false, kHuge), {unplug("50%")}},
          {battery(kHuge, true, kHuge), {plug("100%")}}}},
        {"a UPS or a mouse is not the machine's battery",
         {ups(5, true), mouse, source("InternalBattery", 50, 100, true)},
         {{Sources{ups(5, false), mouse, source("InternalBattery", 50, 100, true)}, {}},
          {Sources{ups(5, false), mouse, source("InternalBattery", 50, 100, false)}, {unplug("50%")}}}},
        {"unusable sources are skipped",
         battery(40, true),
         {{Sources{std::nullopt, source("InternalBattery", 50.0, 100, false), source("InternalBattery", 50, 0, false),
                   source("InternalBattery", QStringLiteral("50"), 100, false),
                   source("InternalBattery", 40, 100, std::nullopt)},
           {unplug("40%")}}}},
        {"unreadable sources change nothing",
         battery(15, false),
         {{std::nullopt, {}}, {Sources{}, {}}, {battery(15, true), {plug("15%")}}}},
    };
    for (const auto& c : cases) {
        Fixture f(c.initial);
        EXPECT_TRUE(f.events.empty()) << c.what;
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            EXPECT_EQ(f.change(c.steps[i].sources), c.steps[i].expected) << c.what << ", step " << i;
        }
    }
}

TEST(BatteryWatcher, FirstReadingUnderTenSetsOnlyTheTenFlag) {
    Fixture f(battery(50, false));
    f.change(battery(8, false));
    EXPECT_TRUE(f.watcher->warnedAt10());
    EXPECT_FALSE(f.watcher->warnedAt20());
}

TEST(BatteryWatcher, MachineWithoutBatteryNeverGetsANotice) {
    const std::optional<Sources> machines[] = {Sources{}, std::nullopt,
                                               Sources{source("UPS", 5, 100, false), source("Battery", 3, 100, true)}};
    for (const auto& sources : machines) {
        Fixture f(sources);
        for (const auto& next : {Sources{source("UPS", 5, 100, true)}, Sources{source("UPS", 5, 100, false)},
                                 Sources{source("Battery", 1, 100, false)}}) {
            EXPECT_TRUE(f.change(next).empty());
        }
        EXPECT_FALSE(f.watcher->lastCharging().has_value());
    }
}

TEST(BatteryWatcher, StartLearnsSilentlyAndStopKeepsState) {
    Fixture f(battery(15, false));
    f.watcher->start();
    EXPECT_EQ(f.desktop.powerObserverCount(), 1);
    EXPECT_EQ(f.change(battery(15, false)), std::vector{low("15%")});

    f.watcher->stop();
    EXPECT_EQ(f.desktop.powerObserverCount(), 0);
    EXPECT_TRUE(f.change(battery(14, true)).empty());
    EXPECT_TRUE(f.watcher->warnedAt20());
    EXPECT_EQ(f.watcher->lastCharging(), false);

    f.watcher->start(); // the charger went in while stopped: learnt, not announced
    f.scheduler.runPosted();
    EXPECT_TRUE(f.events.empty());
    EXPECT_EQ(f.watcher->lastCharging(), true);
    EXPECT_FALSE(f.watcher->warnedAt20());

    f.desktop.setPowerSources(battery(14, false)); // a check still queued when the watcher goes
    f.watcher.reset();
    f.scheduler.runPosted();
}

TEST(BatteryWatcher, StaysStoppedWhereChangesCannotBeHeard) {
    struct Deaf final : platform::PowerSources {
        int reads = 0;
        std::optional<Sources> powerSources() override {
            ++reads;
            return battery(50, false);
        }
        std::optional<QVariantMap> batteryProperties() override { return std::nullopt; }
        int thermalState() override { return 0; }
    } deaf;
    core::ManualScheduler scheduler;
    BatteryWatcher watcher(deaf, scheduler);
    watcher.start();
    EXPECT_FALSE(watcher.isStarted());
    EXPECT_EQ(deaf.reads, 0);
}

} // namespace
} // namespace tillory::notch
