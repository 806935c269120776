#include "monitor/graphics_sampler.h"
#include "monitor/temperature_reader.h"

#include "platform/sim/sim_system_counters.h"

#include <gtest/gtest.h>

namespace tillory::monitor {
namespace {

using platform::AcceleratorStatistics;
using platform::TemperatureReading;

AcceleratorStatistics accelerator(std::int64_t percent, std::int64_t memory) {
    AcceleratorStatistics statistics;
    statistics.deviceUtilizationPercent = percent;
    statistics.inUseSystemMemory = memory;
    return statistics;
}

class GraphicsSamplerTest : public ::testing::Test {
protected:
    std::optional<GPUStats> sample(std::optional<std::vector<AcceleratorStatistics>> accelerators) {
        counters_.setAccelerators(std::move(accelerators));
        return sampler_.sample();
    }

    platform::sim::SimSystemCounters counters_;
    GraphicsSampler sampler_{counters_};
};

TEST_F(GraphicsSamplerTest, BusiestAcceleratorWinsAndATieKeepsTheFirst) {
    EXPECT_EQ(sample({{accelerator(30, 1000), accelerator(30, 2000)}}), (GPUStats{0.3, 1000}));
    EXPECT_EQ(sample({{accelerator(30, 1000), accelerator(45, 2000)}}), (GPUStats{0.45, 2000}));
    EXPECT_EQ(sample({{accelerator(60, 1000), accelerator(45, 2000)}}), (GPUStats{0.6, 1000}));
}

TEST_F(GraphicsSamplerTest, OlderKeysAreReadWhenTheNewerOnesAreMissing) {
    AcceleratorStatistics older;
    older.gpuActivityPercent = 20;
    older.vramUsedBytes = 5000;
    EXPECT_EQ(sample({{older}}), (GPUStats{0.2, 5000}));

    AcceleratorStatistics both = older;
    both.deviceUtilizationPercent = 70;
    both.inUseSystemMemory = 9000;
    EXPECT_EQ(sample({{both}}), (GPUStats{0.7, 9000}));
}

TEST_F(GraphicsSamplerTest, AcceleratorWithoutUtilizationIsSkippedAndMissingMemoryIsZero) {
    AcceleratorStatistics memoryOnly;
    memoryOnly.inUseSystemMemory = 7000;
    AcceleratorStatistics utilizationOnly;
    utilizationOnly.deviceUtilizationPercent = 10;
    EXPECT_EQ(sample({{memoryOnly, utilizationOnly}}), (GPUStats{0.1, 0}));
}

TEST_F(GraphicsSamplerTest, OutOfRangeFiguresAreClamped) {
    EXPECT_EQ(sample({{accelerator(150, -1)}}), (GPUStats{1.0, 0}));
    EXPECT_EQ(sample({{accelerator(-5, 100)}}), (GPUStats{0.0, 100}));
}

TEST_F(GraphicsSamplerTest, NothingWhenNoAcceleratorReports) {
    EXPECT_EQ(sample(std::nullopt), std::nullopt);
    EXPECT_EQ(sample(std::vector<AcceleratorStatistics>{}), std::nullopt);
    EXPECT_EQ(sample({{AcceleratorStatistics{}}}), std::nullopt);
}

class TemperatureReaderTest : public ::testing::Test {
protected:
    std::optional<double> read(std::vector<TemperatureReading> readings) {
        counters_.setTemperatures(std::move(readings));
        return reader_.currentTemperature();
    }

    platform::sim::SimSystemCounters counters_;
    TemperatureReader reader_{counters_};
};

TEST_F(TemperatureReaderTest, DieSensorsAreAveragedEvenWhenAnotherSensorIsHotter) {
    const auto celsius = read(
        {{QStringLiteral("PMU tdie1"), 50.0}, {QStringLiteral("battery"), 90.0}, {QStringLiteral("PMU TDIE2"), 60.0}});
    EXPECT_EQ(celsius, 55.0);
}

TEST_F(TemperatureReaderTest, WithoutDieSensorsTheHottestSensorIsReported) {
    EXPECT_EQ(read({{QStringLiteral("NAND"), 41.0}, {QStringLiteral("gas gauge"), 47.5}, {QString(), 44.0}}), 47.5);
}

TEST_F(TemperatureReaderTest, ImplausibleReadingsAreIgnored) {
    // Die sensors with nothing plausible leave the choice to the other sensors.
    EXPECT_EQ(read({{QStringLiteral("tdie1"), 0.0},
                    {QStringLiteral("tdie2"), 130.0},
                    {QStringLiteral("tdie3"), std::nullopt},
                    {QStringLiteral("NAND"), 200.0},
                    {QStringLiteral("NAND"), -3.0},
                    {QStringLiteral("NAND"), 129.5}}),
              129.5);
    EXPECT_EQ(read({{QStringLiteral("tdie1"), 0.0}, {QStringLiteral("NAND"), 131.0}}), std::nullopt);
    EXPECT_EQ(read({}), std::nullopt);
}

} // namespace
} // namespace tillory::monitor
