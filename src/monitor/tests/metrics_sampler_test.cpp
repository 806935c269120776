#include "monitor/metrics_sampler.h"

#include "platform/sim/sim_system_counters.h"

#include <QJsonArray>
#include <QStringList>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace tillory::monitor {
namespace {

class NoPower final : public platform::PowerSources {
public:
    std::optional<std::vector<std::optional<QVariantMap>>> powerSources() override {
        return std::vector<std::optional<QVariantMap>>{};
    }
    std::optional<QVariantMap> batteryProperties() override { return std::nullopt; }
    int thermalState() override { return 0; }
};

/// A controller with one fan whose presence the test switches.
class OneFan final : public platform::Smc {
public:
    bool present = true;
    int fanReads = 0;
    std::unique_ptr<platform::SmcClient> open() override { return std::make_unique<Client>(*this); }

private:
    class Client final : public platform::SmcClient {
    public:
        explicit Client(OneFan& owner) : owner_(owner) {}
        std::optional<Record> call(const Record& input) override {
            Record output = input;
            std::uint32_t key = 0;
            std::memcpy(&key, input.data(), 4);
            const bool count = key == PowerSampler::fourCC(QStringLiteral("FNum"));
            const bool actual = key == PowerSampler::fourCC(QStringLiteral("F0Ac"));
            if (!owner_.present || (!count && !actual)) {
                output[40] = 132;
                return output;
            }
            if (input[42] == 9) {
                const std::uint32_t size = 1;
                std::memcpy(output.data() + 28, &size, 4);
            } else {
                owner_.fanReads += count ? 1 : 0;
                output[48] = count ? 1 : 200;
            }
            return output;
        }

    private:
        OneFan& owner_;
    };
};

class MetricsSamplerTest : public ::testing::Test {
protected:
    MetricsSamplerTest() {
        counters.setCpuLoad(platform::CpuTicks{100, 50, 850, 0});
        counters.setProcessorLoad(std::vector<platform::CpuTicks>{{50, 25, 425, 0}, {50, 25, 425, 0}});
        counters.setPhysicalMemory(8ull << 30);
        counters.setVmStatistics(platform::VmStatistics{4096, 524288, 0, 131072, 0, 262144});
        counters.setBlockDevices(std::vector<platform::BlockDeviceStatistics>{{1000, 2000}});
        counters.setInterfaces(std::vector<platform::InterfaceCounters>{{QStringLiteral("eth0"), 5000, 1000, false}});
        counters.setMounts(std::vector<platform::MountedVolume>{
            {QStringLiteral("/"), true, false, 1000, 4096, 250, QStringLiteral("System")}});
        counters.setTemperatures({{QStringLiteral("coretemp Package id 0 (Tdie)"), 50.0}});
        // Made last: the memory sampler reads the machine's memory size once, when it is made.
        sampler = std::make_unique<MetricsSampler>(counters, power, smc);
    }

    platform::sim::SimSystemCounters counters;
    NoPower power;
    OneFan smc;
    std::unique_ptr<MetricsSampler> sampler;
};

TEST_F(MetricsSamplerTest, SecondTickHasRatesTheFirstDoesNot) {
    const MetricsSnapshot first = sampler->sampleSystem();
    EXPECT_EQ(first.cpu.total, 0);
    EXPECT_EQ(first.disk.readBytesPerSec, 0);
    EXPECT_EQ(first.cpu.perCore, (std::vector<double>{0, 0}));

    counters.advanceSeconds(0.5);
    counters.setCpuLoad(platform::CpuTicks{200, 100, 900, 0});
    counters.setBlockDevices(std::vector<platform::BlockDeviceStatistics>{{2000, 2000}});
    counters.setInterfaces(std::vector<platform::InterfaceCounters>{{QStringLiteral("eth0"), 6000, 1000, false}});
    const MetricsSnapshot second = sampler->sampleSystem();
    EXPECT_DOUBLE_EQ(second.cpu.total, 0.75);
    EXPECT_DOUBLE_EQ(second.disk.readBytesPerSec, 2000);
    EXPECT_DOUBLE_EQ(second.network.downBytesPerSec, 2000);
    EXPECT_DOUBLE_EQ(second.memory.used, 0.3125);
    ASSERT_TRUE(second.power.has_value());
    EXPECT_FALSE(second.power->isPresent);
}

TEST_F(MetricsSamplerTest, SlowReadingsComeEveryOtherTickAndAFailedTemperatureKeepsTheLastOne) {
    EXPECT_EQ(sampler->sampleSystem().temperature, 50);
    EXPECT_EQ(smc.fanReads, 1);
    counters.setTemperatures({{QStringLiteral("coretemp Package id 0 (Tdie)"), 70.0}});
    EXPECT_EQ(sampler->sampleSystem().temperature, 50); // second tick: not read
    EXPECT_EQ(smc.fanReads, 1);
    EXPECT_EQ(sampler->sampleSystem().temperature, 70);
    EXPECT_EQ(smc.fanReads, 2);

    counters.setTemperatures({});
    smc.present = false;
    sampler->sampleSystem();
    const MetricsSnapshot fifth = sampler->sampleSystem();
    EXPECT_EQ(fifth.temperature, 70); // nothing valid was read: the last value stays
    EXPECT_TRUE(fifth.fans.empty());  // an empty fan list replaces the old one
}

TEST_F(MetricsSamplerTest, HungVolumeReadHoldsUpNoOtherReadingAndStartsNoSecondRead) {
    const auto volumeNames = [](const MetricsSnapshot& snapshot) {
        QStringList names;
        for (const VolumeSpace& volume : snapshot.disk.volumes) {
            names << volume.name;
        }
        return names;
    };
    EXPECT_EQ(volumeNames(sampler->sampleSystem()), QStringList{QStringLiteral("System")});

    counters.holdMounts(); // the next statvfs never answers
    counters.setMounts(std::vector<platform::MountedVolume>{
        {QStringLiteral("/"), true, false, 1000, 4096, 250, QStringLiteral("System")},
        {QStringLiteral("/Volumes/STICK"), true, false, 500, 4096, 100, QStringLiteral("STICK")}});
    for (std::uint64_t tick = 1; tick <= 3; ++tick) {
        counters.advanceSeconds(1.0);
        counters.setCpuLoad(platform::CpuTicks{100 + 100 * tick, 50, 850 + 100 * tick, 0});
        const MetricsSnapshot snapshot = sampler->sampleSystem();
        EXPECT_DOUBLE_EQ(snapshot.cpu.total, 0.5) << tick;
        EXPECT_EQ(volumeNames(snapshot), QStringList{QStringLiteral("System")}) << "the last list stays, " << tick;
    }
    EXPECT_EQ(counters.mountReads(), 2) << "one read before the hold and the one that hangs, none piled up";

    counters.releaseMounts();
    // The released read answers on the worker's own time: ticks show the old list until it has.
    QStringList names;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (names.size() != 2 && std::chrono::steady_clock::now() < deadline) {
        names = volumeNames(sampler->sampleSystem());
        std::this_thread::yield();
    }
    EXPECT_EQ(names, QStringList({QStringLiteral("System"), QStringLiteral("STICK")}));
}

TEST_F(MetricsSamplerTest, JsonCarriesTheRecordsFieldNames) {
    sampler->sampleSystem();
    const QJsonObject json = snapshotToJson(sampler->sampleSystem());
    EXPECT_TRUE(json[QStringLiteral("cpu")][QStringLiteral("perCore")].isArray());
    EXPECT_EQ(json[QStringLiteral("memory")][QStringLiteral("totalBytes")].toDouble(), double(8ull << 30));
    const QJsonArray volumes = json[QStringLiteral("disk")][QStringLiteral("volumes")].toArray();
    ASSERT_EQ(volumes.size(), 1);
    EXPECT_EQ(volumes[0][QStringLiteral("name")].toString(), QStringLiteral("System"));
    EXPECT_EQ(volumes[0][QStringLiteral("freeBytes")].toDouble(), 250.0 * 4096);
    EXPECT_TRUE(json[QStringLiteral("network")][QStringLiteral("downBytesPerSec")].isDouble());
    EXPECT_TRUE(json[QStringLiteral("gpu")].isNull());
    EXPECT_FALSE(json[QStringLiteral("power")][QStringLiteral("isPresent")].toBool(true));
    EXPECT_EQ(json[QStringLiteral("fans")].toArray().size(), 1); // the second tick keeps the first tick's list
    EXPECT_EQ(json[QStringLiteral("temperature")].toDouble(), 50);

    ProcessSample shell{310, QStringLiteral("zsh"), 12.5, 25, 0, false};
    const QJsonArray processes = processesToJson({shell}, 8ull << 30);
    EXPECT_EQ(processes[0][QStringLiteral("memoryText")].toString(), QStringLiteral("2.0 GB"));
}

} // namespace
} // namespace tillory::monitor
