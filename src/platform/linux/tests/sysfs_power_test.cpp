// The power readings on Linux against hand-made sysfs trees (the test machines have no battery, fans or
// thermal trip points), read through the same sampler the monitor uses.
#include "monitor/power_sampler.h"
#include "notch/battery_watcher.h"
#include "platform/linux/sysfs_power.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <tuple>

namespace tillory::platform::nix {
namespace {

QString fixture(const char* name) {
    return QFileInfo(QStringLiteral(__FILE__)).absolutePath() + QStringLiteral("/power_fixtures/") +
           QString::fromLatin1(name);
}

TEST(SysfsPower, LaptopBatteryDischargingWithTimeAndWatts) {
    SysfsPowerSources sources(fixture("laptop"));
    HwmonSmc smc(fixture("laptop"));
    monitor::PowerSampler sampler(sources, smc);
    const monitor::PowerStats stats = *sampler.samplePower();
    EXPECT_TRUE(stats.isPresent);
    EXPECT_DOUBLE_EQ(stats.charge, 0.87);
    EXPECT_FALSE(stats.isCharging);
    EXPECT_EQ(stats.timeRemaining, 240);                   // 40 Wh left at 10 W
    EXPECT_NEAR(stats.watts, 10, 0.01);                    // power over voltage, then back to watts
    EXPECT_EQ(stats.thermal, monitor::ThermalLevel::fair); // 85 °C, passive trip at 90 °C

    // The mouse's battery is not the machine's, and the adapter is listed as such.
    const auto listed = *sources.powerSources();
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[1]->value(QStringLiteral("Type")).toString(), QStringLiteral("InternalBattery"));
    EXPECT_EQ(listed[0]->value(QStringLiteral("Type")).toString(), QStringLiteral("AC Power"));
    EXPECT_NE(listed[2]->value(QStringLiteral("Type")).toString(), QStringLiteral("InternalBattery"));
}

TEST(SysfsPower, FansAnswerAsTheControllerDoes) {
    SysfsPowerSources sources(fixture("laptop"));
    HwmonSmc smc(fixture("laptop"));
    monitor::PowerSampler sampler(sources, smc);
    // fan2 reads garbage: its actual speed fails and it is dropped; fan3 has no limits.
    EXPECT_EQ(sampler.sampleFans(), (std::vector<monitor::FanStats>{{0, 2000, 1200, 6000}, {2, 3100, 0, 0}}));
}

TEST(SysfsPower, DesktopWithoutBatteryOrFans) {
    SysfsPowerSources sources(fixture("desktop"));
    HwmonSmc smc(fixture("desktop"));
    monitor::PowerSampler sampler(sources, smc);
    EXPECT_EQ(*sampler.samplePower(), monitor::PowerStats{});
    EXPECT_TRUE(sampler.sampleFans().empty());

    SysfsPowerSources nowhere(fixture("missing"));
    EXPECT_FALSE(nowhere.powerSources().has_value());
    EXPECT_FALSE(nowhere.batteryProperties().has_value());
    EXPECT_EQ(nowhere.thermalState(), 0);
    EXPECT_EQ(HwmonSmc(fixture("missing")).open(), nullptr);
}

TEST(SysfsPower, OnlyTheMachinesBatteryReachesTheNotices) {
    using Reading = std::optional<std::pair<qint64, bool>>;
    const std::pair<const char*, Reading> cases[] = {
        {"laptop", std::pair{qint64(87), false}}, // the adapter is offline; the mouse at 55 % is not it
        {"ups", std::nullopt},                    // a UPS and a mouse on a desktop
        {"desktop", std::nullopt},
    };
    for (const auto& [tree, expected] : cases) {
        SysfsPowerSources sources(fixture(tree));
        const auto reading = notch::BatteryWatcher::read(sources);
        EXPECT_EQ(reading ? Reading(std::pair{reading->percent, reading->charging}) : std::nullopt, expected) << tree;
    }
    const auto listed = *SysfsPowerSources(fixture("laptop")).powerSources();
    EXPECT_EQ(listed[1]->value(QStringLiteral("Power Source State")), QStringLiteral("Battery Power"));
}

using Attributes = std::map<QString, QByteArray>;

sysfs::AttributeReader reader(const Attributes& attributes) {
    return [attributes](const QString& name) -> std::optional<QByteArray> {
        const auto it = attributes.find(name);
        return it == attributes.end() ? std::nullopt : std::optional(it->second);
    };
}

constexpr const char* kMax = "9223372036854775807";
constexpr const char* kMin = "-9223372036854775808";

TEST(SysfsPower, BatteryDescriptionsFromTheirAttributes) {
    struct Case {
        const char* what;
        Attributes attributes;
        QVariantMap expected; // besides "Type" InternalBattery
    };
    const auto discharging = [](Attributes a) {
        a.insert({{QStringLiteral("type"), "Battery"}, {QStringLiteral("status"), "Discharging"}});
        return a;
    };
    const auto charging = [](Attributes a) {
        a.insert({{QStringLiteral("type"), "Battery"}, {QStringLiteral("status"), "Charging"}});
        return a;
    };
    const Case cases[] = {
        {"energy, charging: 10 Wh missing at 20 W",
         charging({{QStringLiteral("energy_now"), "40000000"},
                   {QStringLiteral("energy_full"), "50000000"},
                   {QStringLiteral("power_now"), "20000000"}}),
         {{QStringLiteral("Is Charging"), true}, {QStringLiteral("Time to Full Charge"), 30}}},
        {"charge and current, discharging: 3 Ah at 2 A",
         discharging({{QStringLiteral("charge_now"), "3000000"},
                      {QStringLiteral("charge_full"), "4000000"},
                      {QStringLiteral("current_now"), "2000000"}}),
         {{QStringLiteral("Is Charging"), false}, {QStringLiteral("Time to Empty"), 90}}},
        {"charge, charging with a negative current: 1 Ah at 1 A",
         charging({{QStringLiteral("charge_now"), "3000000"},
                   {QStringLiteral("charge_full"), "4000000"},
                   {QStringLiteral("current_now"), "-1000000"}}),
         {{QStringLiteral("Is Charging"), true}, {QStringLiteral("Time to Full Charge"), 60}}},
        {"no flow: no time",
         discharging({{QStringLiteral("energy_now"), "1"}, {QStringLiteral("power_now"), "0"}}),
         {{QStringLiteral("Is Charging"), false}}},
        {"time past 64 bits",
         discharging({{QStringLiteral("energy_now"), kMax}, {QStringLiteral("power_now"), "1"}}),
         {{QStringLiteral("Is Charging"), false}}},
        {"most negative rate",
         discharging({{QStringLiteral("energy_now"), "60"}, {QStringLiteral("power_now"), kMin}}),
         {{QStringLiteral("Is Charging"), false}, {QStringLiteral("Time to Empty"), 0}}},
        {"missing charge past 64 bits",
         charging({{QStringLiteral("energy_now"), kMin},
                   {QStringLiteral("energy_full"), kMax},
                   {QStringLiteral("power_now"), "1"}}),
         {{QStringLiteral("Is Charging"), true}}},
    };
    for (const Case& c : cases) {
        QVariantMap expected = c.expected;
        expected.insert(QStringLiteral("Type"), QStringLiteral("InternalBattery"));
        EXPECT_EQ(sysfs::describeSupply(reader(c.attributes)), expected) << c.what;
    }
}

TEST(SysfsPower, BatteryMeasurementsFromCurrentOrPower) {
    const std::pair<Attributes, QVariantMap> cases[] = {
        {{{QStringLiteral("voltage_now"), "12000000"}, {QStringLiteral("current_now"), "-1500000"}},
         {{QStringLiteral("Voltage"), 12000}, {QStringLiteral("Amperage"), -1500}}},
        {{{QStringLiteral("voltage_now"), "12000000"}, {QStringLiteral("power_now"), "18000000"}},
         {{QStringLiteral("Voltage"), 12000}, {QStringLiteral("Amperage"), 1500}}},
        {{{QStringLiteral("voltage_now"), "12000000"}, {QStringLiteral("power_now"), kMax}},
         {{QStringLiteral("Voltage"), 12000}}},
        {{{QStringLiteral("power_now"), "18000000"}}, {}},
    };
    for (const auto& [attributes, expected] : cases) {
        EXPECT_EQ(sysfs::batteryMeasurements(reader(attributes)), expected) << expected.size();
    }
}

TEST(SysfsPower, ExternalPowerFromTheMachinesInputs) {
    const std::pair<Attributes, std::optional<bool>> cases[] = {
        {{{QStringLiteral("type"), "Mains"}, {QStringLiteral("online"), "1"}}, true},
        {{{QStringLiteral("type"), "USB"}, {QStringLiteral("online"), "0"}}, false},
        {{{QStringLiteral("type"), "Mains"}}, std::nullopt},
        {{{QStringLiteral("type"), "USB"}, {QStringLiteral("scope"), "Device"}, {QStringLiteral("online"), "1"}},
         std::nullopt},
        {{{QStringLiteral("type"), "Battery"}, {QStringLiteral("online"), "1"}}, std::nullopt},
    };
    for (const auto& [attributes, expected] : cases) {
        EXPECT_EQ(sysfs::externalPower(reader(attributes)), expected)
            << attributes.at(QStringLiteral("type")).constData();
    }
}

TEST(SysfsPower, ThermalZoneLevels) {
    const auto zone = [](const char* temp, const char* type, const char* at) {
        return Attributes{{QStringLiteral("temp"), temp},
                          {QStringLiteral("trip_point_0_type"), "active"},
                          {QStringLiteral("trip_point_0_temp"), "40000"},
                          {QStringLiteral("trip_point_1_type"), type},
                          {QStringLiteral("trip_point_1_temp"), at}};
    };
    const std::pair<Attributes, int> cases[] = {
        {zone("79999", "passive", "90000"), 0},
        {zone("80000", "passive", "90000"), 1},
        {zone("90000", "passive", "90000"), 2},
        {zone("95000", "hot", "95000"), 2},
        {zone("104999", "critical", "105000"), 0},
        {zone("105000", "critical", "105000"), 3},
        {zone(kMin, "passive", "-9223372036854775807"), 1}, // the fair margin below the trip goes past 64 bits
    };
    for (const auto& [attributes, level] : cases) {
        EXPECT_EQ(sysfs::zoneLevel(reader(attributes)), level) << attributes.at(QStringLiteral("temp")).constData();
    }
}

TEST(SysfsPower, FirstMachineBatteryIsTheOneForBothChargeAndWatts) {
    QTemporaryDir tree;
    const auto write = [&](const QString& battery, const char* attribute, const QByteArray& value) {
        const QString folder = tree.path() + QStringLiteral("/class/power_supply/") + battery;
        QDir().mkpath(folder);
        QFile file(folder + u'/' + QLatin1String(attribute));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(value + '\n');
    };
    for (const auto& [name, capacity, microamps] :
         {std::tuple{QStringLiteral("BAT0"), "30", "1000000"}, std::tuple{QStringLiteral("BAT1"), "90", "2000000"}}) {
        write(name, "type", "Battery");
        write(name, "capacity", capacity);
        write(name, "voltage_now", "10000000");
        write(name, "current_now", microamps);
    }
    SysfsPowerSources sources(tree.path());
    HwmonSmc smc(tree.path());
    monitor::PowerSampler sampler(sources, smc);
    monitor::PowerStats stats = *sampler.samplePower();
    EXPECT_DOUBLE_EQ(stats.charge, 0.30);
    EXPECT_DOUBLE_EQ(stats.watts, 10);

    write(QStringLiteral("BAT0"), "present", "0"); // the first bay is empty
    stats = *sampler.samplePower();
    EXPECT_DOUBLE_EQ(stats.charge, 0.90);
    EXPECT_DOUBLE_EQ(stats.watts, 20);
}

} // namespace
} // namespace tillory::platform::nix
