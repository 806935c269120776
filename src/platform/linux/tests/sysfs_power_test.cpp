// The power readings on Linux against hand-made sysfs trees (the test machines have no battery, fans or
// thermal trip points), read through the same sampler the monitor uses.
#include "monitor/power_sampler.h"
#include "platform/linux/sysfs_power.h"

#include <QFileInfo>

#include <gtest/gtest.h>

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

} // namespace
} // namespace tillory::platform::nix
