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

using Notices = platform::sim::SimDesktop::PowerNotices;

struct Fixture {
    core::ManualScheduler scheduler;
    platform::sim::SimDesktop desktop{scheduler};
    std::unique_ptr<BatteryWatcher> watcher =
        std::make_unique<BatteryWatcher>(*desktop.platform().powerSources, scheduler);
    std::vector<TransportHUD> events;

    explicit Fixture(std::optional<Sources> initial, Notices heard = Notices::Everything) {
        desktop.setPowerNotices(heard);
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
    std::vector<TransportHUD> wait(double seconds) {
        events.clear();
        scheduler.advance(seconds);
        return events;
    }
};

struct Step {
    std::optional<Sources> sources;
    std::vector<TransportHUD> expected;
    /// What follows within `gap`, the time before the next step: a warning waits 1.3 s for a plug notice.
    std::vector<TransportHUD> later = {};
    double gap = 1.3;
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
        {"first reading already at 8: one warning, even when the level climbs past 20 and falls again",
         battery(50, false),
         {{battery(8, false), {low("8%")}},
          {battery(8, false), {}},
          {battery(21, false), {}},
          {battery(19, false), {}},
          {battery(7, false), {}}}},
        {"unplugged at 8: the unplug notice first, the warning once it has been shown",
         battery(8, true),
         {{battery(8, false), {unplug("8%")}, {}, 1.29},
          {battery(8, false), {}, {low("8%")}, 0.01},
          {battery(7, false), {}}}},
        {"plugged back before the warning's turn: the warning is dropped",
         battery(15, true),
         {{battery(15, false), {unplug("15%")}, {}, 1.2}, {battery(15, true), {plug("15%")}}}},
        {"a moment on the charger clears both warnings",
         battery(21, false),
         {{battery(20, false), {low("20%")}},
          {battery(10, false), {low("10%")}},
          {battery(10, true), {plug("10%")}},
          {battery(10, false), {unplug("10%")}, {low("10%")}},
          {battery(9, false), {}},
          {battery(20, true), {plug("20%")}},
          {battery(20, false), {unplug("20%")}, {low("20%")}}}},
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
            EXPECT_EQ(f.wait(c.steps[i].gap), c.steps[i].later) << c.what << ", step " << i;
        }
        EXPECT_TRUE(f.wait(10).empty()) << c.what;
    }
}

TEST(BatteryWatcher, FirstReadingUnderTenSpendsBothWarnings) {
    Fixture f(battery(50, false));
    f.change(battery(8, false));
    EXPECT_TRUE(f.watcher->warnedAt10());
    EXPECT_TRUE(f.watcher->warnedAt20());
}

TEST(BatteryWatcher, WhereLevelsAreNotToldTheStateIsReadEveryMinute) {
    struct Tick {
        std::optional<Sources> sources; // nothing: left as they are
        double wait;
        std::vector<TransportHUD> expected;
        bool polling;
    };
    const struct {
        const char* what;
        Notices heard;
        Sources initial;
        std::vector<Tick> steps;
    } cases[] = {
        {"plugging told, levels not: read on battery only",
         Notices::Plugging,
         battery(25, false),
         {{battery(20, false), 59.9, {}, true},
          {std::nullopt, 0.1, {low("20%")}, true},
          {battery(10, false), 60, {low("10%")}, true},
          {battery(10, true), 0, {plug("10%")}, false},
          {battery(30, true), 600, {}, false},
          {battery(30, false), 0, {unplug("30%")}, true}}},
        {"nothing told: read on the charger too",
         Notices::Nothing,
         battery(50, true),
         {{battery(50, false), 59.9, {}, true},
          {std::nullopt, 0.1, {unplug("50%")}, true},
          {battery(15, false), 60, {low("15%")}, true}}},
        {"levels told: never read on a timer",
         Notices::Everything,
         battery(25, false),
         {{battery(20, false), 0, {low("20%")}, false}, {std::nullopt, 600, {}, false}}},
        {"nothing told, no battery: nothing to read", Notices::Nothing, Sources{}, {{std::nullopt, 600, {}, false}}},
    };
    for (const auto& c : cases) {
        Fixture f(c.initial, c.heard);
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            const Tick& step = c.steps[i];
            auto events = step.sources ? f.change(*step.sources) : std::vector<TransportHUD>{};
            for (const auto& hud : f.wait(step.wait)) {
                events.push_back(hud);
            }
            EXPECT_EQ(events, step.expected) << c.what << ", step " << i;
            EXPECT_EQ(f.watcher->isPolling(), step.polling) << c.what << ", step " << i;
        }
        f.watcher->stop();
        EXPECT_FALSE(f.watcher->isPolling()) << c.what;
    }
}

TEST(BatteryWatcher, StopDropsAWaitingWarning) {
    Fixture f(battery(8, true));
    EXPECT_EQ(f.change(battery(8, false)), std::vector{unplug("8%")});
    f.watcher->stop();
    EXPECT_TRUE(f.wait(10).empty());
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

TEST(BatteryWatcher, ABackendThatCannotTellOfChangesIsReadEveryMinute) {
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
    EXPECT_TRUE(watcher.isStarted());
    EXPECT_EQ(deaf.reads, 1);
    scheduler.advance(59.9);
    EXPECT_EQ(deaf.reads, 1);
    scheduler.advance(0.1);
    EXPECT_EQ(deaf.reads, 2);
    scheduler.advance(120);
    EXPECT_EQ(deaf.reads, 4);
}

} // namespace
} // namespace tillory::notch
