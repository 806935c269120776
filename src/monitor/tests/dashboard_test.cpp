#include "monitor/dashboard_model.h"
#include "monitor/dashboard_rules.h"
#include "monitor/fmt.h"
#include "monitor/gauges_model.h"
#include "monitor/process_icons.h"
#include "monitor/system_monitor.h"

#include "core/manual_scheduler.h"
#include "core/serial_queue.h"
#include "platform/sim/sim_desktop.h"
#include "platform/sim/sim_system_counters.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numeric>

namespace tillory::monitor {
namespace {

using M = DashboardMetric;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

ProcessSample app(std::int32_t pid, const char* name, double cpu, double memory = 0, double disk = 0) {
    return {pid, QString::fromUtf8(name), cpu, memory, disk, true};
}
ProcessSample daemon(std::int32_t pid, const char* name, double cpu, double memory = 0, double disk = 0) {
    return {pid, QString::fromUtf8(name), cpu, memory, disk, false};
}
std::vector<QString> names(const std::vector<ProcessSample>& list) {
    std::vector<QString> out;
    for (const auto& p : list) {
        out.push_back(p.name);
    }
    return out;
}

TEST(DashboardRules, DisplayPercentsAddUpToTheRoundedTotal) {
    const struct {
        std::vector<double> fractions;
        std::vector<int> shown;
    } cases[] = {
        {{0.6001, 0.3999}, {60, 40}},
        {{1.0 / 3, 1.0 / 3, 1.0 / 3}, {34, 33, 33}},
        {{0.334, 0.333, 0.333}, {34, 33, 33}},
        {{0.5, 0.3, 0.194}, {50, 30, 19}}, // sums to 0.994: 99
        {{0.125, 0.125}, {13, 12}},        // 25 shared out: the tie goes to the first
        {{kNaN, 0.4}, {0, 40}},
        {{1.7, -0.2}, {100, 0}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(displayPercents(c.fractions), c.shown) << c.fractions.size() << " " << c.fractions[0];
    }
}

TEST(DashboardRules, ActiveAppsAreApplicationsAtOrAboveTheThreshold) {
    const struct {
        M metric;
        ProcessSample idle, busy;
    } cases[] = {
        {M::cpu, app(1, "idle", 0.04), app(2, "busy", 0.05)},
        {M::memory, app(1, "idle", 9, 0.29), app(2, "busy", 0, 0.3)},
        {M::disk, app(1, "idle", 9, 9, 49999), app(2, "busy", 0, 0, 50000)},
        {M::network, app(1, "idle", 0.04), app(2, "busy", 0.05)}, // the CPU threshold
    };
    for (const auto& c : cases) {
        const std::vector<ProcessSample> all{c.idle, c.busy, daemon(3, "d", 50, 50, 1e9)};
        EXPECT_EQ(names(activeApps(all, c.metric)), std::vector<QString>{QStringLiteral("busy")}) << int(c.metric);
    }
}

TEST(DashboardRules, SortingIsStableLargestFirstAndIgnoresBrokenReadings) {
    const std::vector<ProcessSample> all{daemon(1, "a", 1), daemon(2, "nan", kNaN), daemon(3, "b", 5),
                                         daemon(4, "c", 1), daemon(5, "inf", kInf)};
    EXPECT_EQ(names(sortedByMetric(all, M::cpu)),
              (std::vector<QString>{"b", "a", "c", "nan", "inf"})); // non-finite reads as 0
    EXPECT_EQ(names(daemons(all, M::cpu)).size(), 5u);
}

TEST(DashboardRules, TenActiveAppsShowNineAndTheTenthCountsIntoOtherApps) {
    std::vector<ProcessSample> all;
    for (int i = 0; i < 10; ++i) {
        all.push_back(app(10 + i, "app", 10.0 - i)); // 10 ... 1 %
    }
    all.push_back(app(30, "quiet", 0.04)); // not active, still one of the others
    all.push_back(daemon(40, "d1", 5.5));
    all.push_back(daemon(41, "d2", 1.0));
    const auto active = activeApps(all, M::cpu);
    const auto rows = groupedRows(active, daemons(all, M::cpu), M::cpu);
    ASSERT_EQ(rows.size(), 10u);
    EXPECT_TRUE(rows[4].isSystem) << "6.5 % sorts between 7 % and 6 %";
    EXPECT_DOUBLE_EQ(rows[4].value, 6.5);
    EXPECT_EQ(rows[0].sample->pid, 10);
    const OtherApps others = otherApps(all, active, M::cpu);
    EXPECT_EQ(others.count, 2);
    EXPECT_DOUBLE_EQ(others.sum, 1.04);
    EXPECT_TRUE(others.shown);

    all[9].cpu = 0.01; // the tenth goes idle: the others sum to 0.05 … still shown; below, hidden
    EXPECT_TRUE(otherApps(all, activeApps(all, M::cpu), M::cpu).shown);
    all[9].cpu = 0.0;
    EXPECT_FALSE(otherApps(all, activeApps(all, M::cpu), M::cpu).shown);
}

TEST(DashboardRules, SystemRowGoesAfterAppsOfEqualValueAndStaysWithoutApps) {
    const std::vector<ProcessSample> all{app(1, "a", 2), daemon(2, "d", 2)};
    const auto rows = groupedRows(activeApps(all, M::cpu), daemons(all, M::cpu), M::cpu);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_FALSE(rows[0].isSystem);
    EXPECT_TRUE(rows[1].isSystem);
    const auto alone = groupedRows({}, {}, M::cpu);
    ASSERT_EQ(alone.size(), 1u);
    EXPECT_TRUE(alone[0].isSystem);
}

TEST(DashboardRules, SearchMatchesAnyPartOfANameInAnyCase) {
    const std::vector<ProcessSample> all{daemon(1, "kworker", 1), app(2, "Firefox", 2), daemon(3, "firewalld", 3),
                                         app(4, "Files", 0)};
    EXPECT_EQ(names(searchResults(all, QStringLiteral("FIRE"), M::cpu)),
              (std::vector<QString>{"firewalld", "Firefox"}));
    EXPECT_TRUE(searchResults(all, QStringLiteral("zzz"), M::cpu).empty());
}

TEST(DashboardRules, ValueTextsPerMetric) {
    const ProcessSample p{1, QStringLiteral("p"), 12.5, 1.5 / 16 * 100, 1536, false};
    const std::uint64_t sixteenGiB = 16ull << 30;
    const struct {
        M metric;
        QString value, aggregate;
    } cases[] = {
        {M::cpu, "12.5%", "12.5%"},
        {M::memory, "1.5 GB", "2.0 GB"}, // aggregate of 12.5 % of 16 GB
        {M::disk, "1.5 KB/s", "13 B/s"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(valueText(p, c.metric, sixteenGiB), c.value);
        EXPECT_EQ(aggregateText(12.5, c.metric, 16), c.aggregate);
    }
    EXPECT_EQ(aggregateText(kNaN, M::cpu, 16), QStringLiteral("0.0%"));
    EXPECT_EQ(valueText(daemon(1, "p", kInf), M::cpu, sixteenGiB), QStringLiteral("0.0%"));
}

TEST(DashboardRules, FormattingOfBrokenAndAbsurdInputs) {
    const struct {
        QString shown, expected;
    } cases[] = {
        {Fmt::bytes(kInf), "0 B"},       {Fmt::bytes(kNaN), "0 B"},  {Fmt::compactRate(kInf), "0B/s"},
        {Fmt::minutes(5999), "99h 59m"}, {Fmt::minutes(6000), "—"},  {Fmt::minutes(65535), "—"},
        {percentText(kNaN), "0%"},       {percentText(-kInf), "0%"}, {percentText(1e300), "100%"},
        {percentText(0.425), "43%"},     {tempText(kNaN), "—"},      {tempText(1e300), "999°"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.shown, c.expected);
    }
}

TEST(DashboardRules, CoreColoursVolumesAndFans) {
    for (const auto& [value, level] : {std::pair{0.49, Level::low},
                                       {0.5, Level::raised},
                                       {0.849, Level::raised},
                                       {0.85, Level::high},
                                       {kNaN, Level::low}}) {
        EXPECT_EQ(coreLevel(value), level) << value;
    }
    const struct {
        std::uint64_t free, total;
        double share;
    } volumes[] = {{250, 1000, 0.75}, {0, 0, 0}, {2000, 1000, 0}, {0, ~0ull, 1}};
    for (const auto& v : volumes) {
        EXPECT_DOUBLE_EQ(usedShare({QStringLiteral("v"), v.free, v.total}), v.share) << v.free << "/" << v.total;
    }
    const struct {
        FanStats fan;
        double fraction;
    } fans[] = {{{0, 3000, 1000, 5000}, 0.5},
                {{0, 6000, 1000, 5000}, 1},
                {{0, 500, 1000, 5000}, 0},
                {{0, 3000, 1000, 1000}, 0},
                {{0, 1200, 1000, 1000}, 0}};
    for (const auto& f : fans) {
        EXPECT_DOUBLE_EQ(fanFraction(f.fan), f.fraction) << f.fan.rpm;
    }
}

TEST(DashboardRules, ChartScaleAndPoints) {
    for (const auto& [history, autoScale, scale] : {std::tuple{std::vector<double>{}, true, 1.15},
                                                    {std::vector<double>{0.5, 1.0}, true, 1.15},
                                                    {std::vector<double>{200, 1000}, true, 1150.0},
                                                    {std::vector<double>{200, 1000}, false, 1.0},
                                                    {std::vector<double>{kInf, 0.2}, true, 1.15}}) {
        EXPECT_DOUBLE_EQ(chartScale(history, autoScale), scale);
    }
    EXPECT_TRUE(chartPoints({0.5}, false).empty()) << "one value: Collecting…";

    std::vector<double> full(60);
    std::iota(full.begin(), full.end(), 0.0);
    const auto points = chartPoints(full, true);
    ASSERT_EQ(points.size(), 60u);
    EXPECT_DOUBLE_EQ(points.front().x(), 0.0) << "sixty values span the whole width";
    EXPECT_DOUBLE_EQ(points.back().x(), 1.0);
    EXPECT_DOUBLE_EQ(points.back().y(), 1.0 - 59 / (1.15 * 59));
    EXPECT_DOUBLE_EQ(points.front().y(), 1.0) << "0 lies on the bottom edge";

    const auto two = chartPoints({-1, 2}, false);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_DOUBLE_EQ(two[0].x(), 1.0 - 1.0 / 59);
    EXPECT_DOUBLE_EQ(two[0].y(), 1.0);
    EXPECT_DOUBLE_EQ(two[1].y(), 0.0) << "clamped to the top";
}

QVariantMap segment(const QVariantMap& card, int i) {
    return card[QStringLiteral("segments")].toList()[i].toMap();
}
QString stat(const QVariantMap& card, int i) {
    return card[QStringLiteral("stats")].toList()[i].toMap()[QStringLiteral("value")].toString();
}

TEST(DashboardRules, SummaryCards) {
    MetricsSnapshot s;
    s.cpu = {0.425, 0.3001, 0.1249, {0.2, 0.5, 0.9}};
    s.memory = {0.25, 0.125, 0.0625, 0, 0.4375, 16ull << 30, 512ull << 20, 2ull << 30};
    s.disk = {1536, 0, {{QStringLiteral("root"), 2000, 1000}}};
    auto cpu = summaryCard(M::cpu, s, {0.1, 0.2}, 8, 16);
    EXPECT_EQ(cpu[QStringLiteral("headline")], QStringLiteral("43%"));
    EXPECT_EQ(cpu[QStringLiteral("caption")], QStringLiteral("of 8 cores"));
    EXPECT_EQ(segment(cpu, 0)[QStringLiteral("text")], QStringLiteral("30%"));
    EXPECT_EQ(segment(cpu, 1)[QStringLiteral("text")], QStringLiteral("13%")) << "30 + 13 = the headline's 43";
    EXPECT_EQ(cpu[QStringLiteral("cores")].toList()[1].toMap()[QStringLiteral("level")], int(Level::raised));

    auto memory = summaryCard(M::memory, s, {}, 8, 16);
    EXPECT_EQ(memory[QStringLiteral("caption")], QStringLiteral("7.0 of 16 GB"));
    EXPECT_EQ(segment(memory, 0)[QStringLiteral("text")], QStringLiteral("4.0 GB"));
    EXPECT_EQ(memory[QStringLiteral("details")].toList()[0].toMap()[QStringLiteral("value")], QStringLiteral("512 MB"));
    EXPECT_TRUE(memory[QStringLiteral("chart")].toMap()[QStringLiteral("collecting")].toBool());

    auto disk = summaryCard(M::disk, s, {1, 2}, 8, 16);
    EXPECT_EQ(stat(disk, 0), QStringLiteral("1.5 KB/s"));
    EXPECT_EQ(disk[QStringLiteral("volumes")].toList()[0].toMap()[QStringLiteral("share")], 0.0);
    EXPECT_DOUBLE_EQ(disk[QStringLiteral("chart")].toMap()[QStringLiteral("scale")].toDouble(), 2.3);

    EXPECT_EQ(summaryCard(M::gpu, s, {}, 8, 16)[QStringLiteral("unavailable")],
              QStringLiteral("No GPU statistics available"));
    auto network = summaryCard(M::network, s, {}, 8, 16);
    EXPECT_EQ(network[QStringLiteral("details")].toList()[0].toMap()[QStringLiteral("value")], QStringLiteral("idle"));
}

TEST(DashboardRules, PowerCard) {
    const struct {
        std::optional<PowerStats> power;
        QString headline, caption, statLabel, statValue;
    } cases[] = {
        {std::nullopt, "AC", "Running on wall power", "Draw", "—"},
        {PowerStats{false, 0, false, 5, -1}, "AC", "Running on wall power", "Draw", "5.0 W"},
        {PowerStats{true, 0.5, true, 0.1, 65}, "50%", "Charging · 1h 5m to full", "Charging", "—"},
        {PowerStats{true, 0.5, false, 12.34, 65535}, "50%", "— remaining", "Draw", "12.3 W"},
        {PowerStats{true, kNaN, false, kNaN, 45}, "0%", "45m remaining", "Draw", "—"},
    };
    for (const auto& c : cases) {
        MetricsSnapshot s;
        s.power = c.power;
        const auto card = summaryCard(M::power, s, {}, 8, 16);
        EXPECT_EQ(card[QStringLiteral("headline")], c.headline);
        EXPECT_EQ(card[QStringLiteral("caption")], c.caption);
        const auto st = card[QStringLiteral("stats")].toList()[0].toMap();
        EXPECT_EQ(st[QStringLiteral("label")], c.statLabel);
        EXPECT_EQ(st[QStringLiteral("value")], c.statValue);
        EXPECT_EQ(card[QStringLiteral("thermal")].toMap()[QStringLiteral("text")], QStringLiteral("Normal"));
    }
}

TEST(GaugeTexts, TemperatureAndPower) {
    for (const auto& [celsius, text, tint] : {std::tuple{0.0, "—", "green"},
                                              {69.6, "70°", "green"},
                                              {70.0, "70°", "orange"},
                                              {89.9, "90°", "orange"},
                                              {90.0, "90°", "red"}}) {
        EXPECT_EQ(tempText(celsius), QString::fromUtf8(text)) << celsius;
        EXPECT_EQ(tempTint(celsius), QString::fromUtf8(tint)) << celsius;
    }
    using Lines = std::vector<std::pair<QString, QString>>;
    EXPECT_EQ(powerLines(std::nullopt), (Lines{{"", "AC"}}));
    EXPECT_EQ(powerLines(PowerStats{false, 1, true, 20}), (Lines{{"", "AC"}}));
    EXPECT_EQ(powerLines(PowerStats{true, 0.804, false, 0.1}), (Lines{{"", "80%"}, {"", "—"}}));
    EXPECT_EQ(powerLines(PowerStats{true, 0.804, false, 12.34}), (Lines{{"", "80%"}, {"", "12.3W"}}));
    EXPECT_EQ(powerSymbol(std::nullopt), QStringLiteral("powerplug"));
    EXPECT_EQ(powerSymbol(PowerStats{true, 1, true}), QStringLiteral("battery.100.bolt"));
    EXPECT_EQ(powerSymbol(PowerStats{true, 1, false}), QStringLiteral("bolt.fill"));
}

class NoPower final : public platform::PowerSources {
public:
    std::optional<std::vector<std::optional<QVariantMap>>> powerSources() override { return std::nullopt; }
    std::optional<QVariantMap> batteryProperties() override { return std::nullopt; }
    int thermalState() override { return 0; }
};

class NoSmc final : public platform::Smc {
public:
    std::unique_ptr<platform::SmcClient> open() override { return nullptr; }
};

/// The page over a real monitor sampling the simulated machine, with the monitor's queue and timers run by hand.
class DashboardModelTest : public ::testing::Test {
protected:
    DashboardModelTest() {
        counters.setPhysicalMemory(16ull << 30);
        counters.addProcess(310, QStringLiteral("zsh"));
        counters.addProcess(420, QStringLiteral("editor"));
        monitor = std::make_unique<SystemMonitor>(
            std::make_shared<MetricsSampler>(counters, power, smc), queue, scheduler,
            [] {
                return AppMap{{420, {QStringLiteral("Editor"), true}}};
            },
            4, 16ull << 30);
    }
    /// Lets the sampling queue and the main thread hand work to each other until both are idle.
    void settle() {
        do {
            scheduler.runPosted();
        } while (queue.runDue() > 0);
        scheduler.runPosted();
    }
    void runFor(double seconds) {
        for (double t = 0; t < seconds; t += 0.05) {
            settle();
            counters.advanceSeconds(0.05);
            counters.addProcessWork(420, 50'000'000);
            scheduler.advance(0.05);
        }
    }

    core::ManualScheduler scheduler;
    core::ManualSerialQueue queue{scheduler};
    platform::sim::SimSystemCounters counters;
    NoPower power;
    NoSmc smc;
    std::unique_ptr<SystemMonitor> monitor;
    ProcessIcons icons;
};

TEST_F(DashboardModelTest, ProcessLoopFollowsThePageAndItsMetric) {
    DashboardModel page(*monitor, icons);
    page.setMetric(int(M::gpu));
    page.pageShown();
    EXPECT_FALSE(monitor->processRunning()) << "GPU lists no processes";
    page.setMetric(int(M::cpu));
    EXPECT_TRUE(monitor->processRunning());
    runFor(1.0);
    ASSERT_FALSE(monitor->processes().empty());
    EXPECT_EQ(page.listState(), QStringLiteral("apps"));

    page.setMetric(int(M::network));
    EXPECT_FALSE(monitor->processRunning());
    EXPECT_TRUE(monitor->processes().empty());
    page.setMetric(int(M::disk));
    runFor(1.0);
    EXPECT_FALSE(monitor->processes().empty());
    page.pageHidden();
    EXPECT_FALSE(monitor->processRunning());
    EXPECT_TRUE(monitor->processes().empty());
    runFor(3.0);
    EXPECT_TRUE(monitor->processes().empty());
}

TEST_F(DashboardModelTest, AReadingOnItsWayWhenSamplingStopsDoesNotRefillTheList) {
    auto page = std::make_unique<DashboardModel>(*monitor, icons);
    page->pageShown();
    runFor(1.0);
    ASSERT_FALSE(monitor->processes().empty());
    counters.advanceSeconds(2.0);
    scheduler.advance(2.0); // the next tick is sampled and its list handed back …
    while (queue.runDue() > 0) {
    }
    page.reset(); // … but the panel closes before the main thread takes it
    scheduler.runPosted();
    EXPECT_FALSE(monitor->processRunning());
    EXPECT_TRUE(monitor->processes().empty());
}

TEST_F(DashboardModelTest, ListStatesAndRows) {
    DashboardModel page(*monitor, icons);
    EXPECT_EQ(page.listState(), QStringLiteral("sampling"));
    std::vector<ProcessSample> list;
    for (int i = 0; i < 15; ++i) {
        list.push_back(daemon(100 + i, "worker", i));
    }
    list.push_back(app(7, "Editor", 0.01));
    monitor->setProcesses(list);
    EXPECT_EQ(page.columnTitle(), QStringLiteral("CPU"));
    EXPECT_EQ(page.emptyText(), QStringLiteral("No apps using cpu"));
    const auto rows = page.rows();
    ASSERT_EQ(rows.size(), 1); // System only: the editor is idle and alone among the others
    EXPECT_EQ(rows[0].toMap()[QStringLiteral("badge")], QStringLiteral("+15"));
    page.toggleSystem();
    EXPECT_EQ(page.rows().size(), 1 + 8);

    page.setScope(int(ListScope::all));
    EXPECT_EQ(page.rows().size(), 12);
    EXPECT_EQ(page.rows()[0].toMap()[QStringLiteral("value")], QStringLiteral("14.0%"));
    page.setQuery(QStringLiteral("WORK"));
    EXPECT_EQ(page.rows().size(), 12) << "15 match, 12 are listed";
    page.setScope(int(ListScope::apps));
    EXPECT_EQ(page.rows().size(), 12) << "the scope plays no part in a search";
    page.setQuery(QStringLiteral("EDIT"));
    EXPECT_EQ(page.listState(), QStringLiteral("search"));
    EXPECT_EQ(page.rows().size(), 1);
    page.setQuery(QStringLiteral("nothing"));
    EXPECT_EQ(page.emptyText(), QStringLiteral("No matches"));
    page.setMetric(int(M::memory));
    EXPECT_EQ(page.columnTitle(), QStringLiteral("MEMORY"));
}

TEST_F(DashboardModelTest, RowsTellProcessesApartAndEndingOneAsksFirstAndNeverEndsTillory) {
    platform::sim::SimDesktop desktop{scheduler};
    desktop.setOwnPid(900);
    desktop.allowEnding(501);
    DashboardModel page(*monitor, icons);
    page.setScope(int(ListScope::all));
    std::vector<ProcessSample> list;
    for (const std::int32_t pid : {501, 502, 900}) {
        ProcessSample p{pid, QStringLiteral("Xvfb"), 3.0, 1.0, 0, false};
        p.commandLine = QStringLiteral("/usr/bin/Xvfb :%1").arg(pid);
        list.push_back(p);
    }
    list.push_back({503, QStringLiteral("kworker"), 1.0, 0, 0, false}); // no command line to show
    monitor->setProcesses(list);
    const auto row = [&page](std::int32_t pid) {
        for (const QVariant& r : page.rows()) {
            if (r.toMap().value(QStringLiteral("pid")).toInt() == pid) {
                return r.toMap();
            }
        }
        return QVariantMap();
    };
    EXPECT_FALSE(row(501).value(QStringLiteral("canEnd")).toBool()) << "nothing can be ended without a runner";
    page.setProcessRunner(desktop.platform().processRunner);
    const struct {
        std::int32_t pid;
        const char* detail;
        bool canEnd;
    } rows[] = {
        {501, "PID 501 · /usr/bin/Xvfb :501", true},
        {502, "PID 502 · /usr/bin/Xvfb :502", true},
        {900, "PID 900 · /usr/bin/Xvfb :900", false}, // Tillory itself
        {503, "PID 503", true},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(row(r.pid).value(QStringLiteral("detail")).toString(), QString::fromUtf8(r.detail)) << r.pid;
        EXPECT_EQ(row(r.pid).value(QStringLiteral("canEnd")).toBool(), r.canEnd) << r.pid;
    }

    int changes = 0;
    QObject::connect(&page, &DashboardModel::pendingEndChanged, [&changes] { ++changes; });
    page.askToEnd(900);
    page.askToEnd(777); // not listed
    EXPECT_TRUE(page.pendingEnd().isEmpty());
    page.askToEnd(501);
    EXPECT_EQ(page.pendingEnd().value(QStringLiteral("question")).toString(),
              QStringLiteral("End “Xvfb” (PID 501)? Unsaved work in it may be lost."));
    EXPECT_TRUE(desktop.endedProcesses().empty()) << "nothing ends before the confirmation";
    page.cancelEnd();
    EXPECT_TRUE(page.pendingEnd().isEmpty());
    page.confirmEnd();
    EXPECT_TRUE(desktop.endedProcesses().empty()) << "a cancelled request stays cancelled";
    page.askToEnd(501);
    page.confirmEnd();
    EXPECT_EQ(desktop.endedProcesses(), std::vector<std::int32_t>{501});
    EXPECT_TRUE(page.endNotice().isEmpty());
    page.askToEnd(502); // another user's: refused
    page.confirmEnd();
    EXPECT_EQ(desktop.endedProcesses(), std::vector<std::int32_t>{501});
    EXPECT_EQ(page.endNotice(), QStringLiteral("“Xvfb” could not be ended: it has gone or belongs to another user."));
    EXPECT_EQ(changes, 6);
}

TEST_F(DashboardModelTest, GaugesBeforeTheFirstSnapshotAndTheirShortcuts) {
    GaugesModel gauges(*monitor);
    const auto rings = gauges.rings();
    ASSERT_EQ(rings.size(), 3);
    EXPECT_EQ(rings[0].toMap()[QStringLiteral("centerText")], QStringLiteral("0%"));
    EXPECT_EQ(rings[1].toMap()[QStringLiteral("centerText")], QStringLiteral("—"));
    const auto cells = gauges.cells();
    ASSERT_EQ(cells.size(), 4);
    const auto value = [&](int cell, int line) {
        return cells[cell].toMap()[QStringLiteral("lines")].toList()[line].toMap()[QStringLiteral("value")];
    };
    EXPECT_EQ(value(0, 0), QStringLiteral("—"));
    EXPECT_EQ(value(1, 0), QStringLiteral("0B/s"));
    EXPECT_EQ(value(2, 1), QStringLiteral("0B/s"));
    EXPECT_EQ(value(3, 0), QStringLiteral("AC"));
    EXPECT_EQ(cells[3].toMap()[QStringLiteral("symbol")], QStringLiteral("powerplug"));

    QSignalSpy opened(&gauges, &GaugesModel::openDashboard);
    gauges.open(cells[0].toMap()[QStringLiteral("metric")].toInt());
    gauges.open(cells[3].toMap()[QStringLiteral("metric")].toInt());
    ASSERT_EQ(opened.size(), 2);
    EXPECT_EQ(opened[0][0].toInt(), int(M::cpu)) << "temperature opens CPU";
    EXPECT_EQ(opened[1][0].toInt(), int(M::power));
}

TEST(ProcessIconsTest, LooksUpOncePerProcessBorrowsByNameAndEmptiesAtThe257thEntry) {
    core::ManualScheduler scheduler;
    platform::sim::SimDesktop sim{scheduler};
    const std::int32_t browser = sim.launchApp(QStringLiteral("web"), QStringLiteral("Browser"));
    sim.setAppIcon(browser, platform::Bitmap{1, 1, 4, QByteArray(4, 'x')});
    ProcessIcons icons;
    icons.setSources(sim.platform().appIcons, sim.platform().workspace);

    EXPECT_TRUE(icons.icon(app(browser, "Browser", 0)));
    EXPECT_TRUE(icons.icon(daemon(9000, "Browser", 0))) << "a helper named after its application";
    EXPECT_FALSE(icons.icon(daemon(9001, "sshd", 0)));
    const int requests = sim.iconRequests();
    EXPECT_FALSE(icons.icon(daemon(9001, "sshd", 0)));
    EXPECT_EQ(sim.iconRequests(), requests) << "a missing icon is remembered too";

    for (std::int32_t pid = 1; icons.size() < 256; ++pid) {
        icons.icon(daemon(20000 + pid, "x", 0));
    }
    EXPECT_TRUE(icons.cached(browser));
    icons.icon(daemon(30000, "x", 0));
    EXPECT_EQ(icons.size(), 1u);
    EXPECT_FALSE(icons.cached(browser));
}

} // namespace
} // namespace tillory::monitor
