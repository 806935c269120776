#include "monitor/power_sampler.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>

namespace tillory::monitor {
namespace {

using Record = platform::SmcClient::Record;

class FakePowerSources final : public platform::PowerSources {
public:
    std::optional<std::vector<std::optional<QVariantMap>>> sources = std::vector<std::optional<QVariantMap>>{};
    std::optional<QVariantMap> battery;
    int thermal = 0;

    std::optional<std::vector<std::optional<QVariantMap>>> powerSources() override { return sources; }
    std::optional<QVariantMap> batteryProperties() override { return battery; }
    int thermalState() override { return thermal; }
};

/// A controller holding a few keys; answers the key-info and read commands the way the driver does.
class FakeSmc final : public platform::Smc {
public:
    struct Key {
        std::uint32_t type;
        std::vector<std::uint8_t> bytes;
        std::uint32_t reportedSize = 0; // 0: the real size
    };
    std::map<QString, Key> keys;
    bool refuses = false;
    int opens = 0;
    int calls = 0;
    std::vector<Record> reads; // the read-key records sent, in order

    std::unique_ptr<platform::SmcClient> open() override {
        ++opens;
        if (refuses) {
            return nullptr;
        }
        return std::make_unique<Client>(*this);
    }

    static Key integer16(int value) {
        return {PowerSampler::fourCC(QStringLiteral("ui16")), {std::uint8_t(value >> 8), std::uint8_t(value & 0xff)}};
    }
    static Key fpe2(double value) {
        const auto raw = static_cast<std::uint16_t>(value * 4);
        return {PowerSampler::fourCC(QStringLiteral("fpe2")), {std::uint8_t(raw >> 8), std::uint8_t(raw & 0xff)}};
    }
    static Key flt(float value) {
        std::vector<std::uint8_t> bytes(4);
        std::memcpy(bytes.data(), &value, 4);
        return {PowerSampler::fourCC(QStringLiteral("flt ")), bytes};
    }

private:
    class Client final : public platform::SmcClient {
    public:
        explicit Client(FakeSmc& smc) : smc_(smc) {}
        std::optional<Record> call(const Record& input) override {
            ++smc_.calls;
            std::uint32_t code = 0;
            std::memcpy(&code, input.data(), 4);
            Record output = input;
            auto found = std::find_if(smc_.keys.begin(), smc_.keys.end(),
                                      [code](const auto& k) { return PowerSampler::fourCC(k.first) == code; });
            if (found == smc_.keys.end()) {
                output[40] = 132; // key not found
                return output;
            }
            const Key& key = found->second;
            if (input[42] == 9) {
                const std::uint32_t size = key.reportedSize ? key.reportedSize : std::uint32_t(key.bytes.size());
                std::memcpy(output.data() + 28, &size, 4);
                std::memcpy(output.data() + 32, &key.type, 4);
            } else if (input[42] == 5) {
                smc_.reads.push_back(input);
                std::copy(key.bytes.begin(), key.bytes.end(), output.begin() + 48);
            }
            return output;
        }

    private:
        FakeSmc& smc_;
    };
};

QVariantMap battery(QVariantMap extra) {
    extra.insert(QStringLiteral("Type"), QStringLiteral("InternalBattery"));
    return extra;
}

class PowerSamplerTest : public ::testing::Test {
protected:
    FakePowerSources sources;
    FakeSmc smc;
    PowerSampler sampler{sources, smc};
};

TEST_F(PowerSamplerTest, DesktopWithoutBatteryStillReportsThermalLevel) {
    sources.sources = std::vector<std::optional<QVariantMap>>{
        QVariantMap{{QStringLiteral("Type"), QStringLiteral("UPS")}}, std::nullopt};
    sources.thermal = 2;
    const PowerStats stats = *sampler.samplePower();
    EXPECT_FALSE(stats.isPresent);
    EXPECT_EQ(stats.charge, 0);
    EXPECT_EQ(stats.timeRemaining, -1);
    EXPECT_EQ(stats.thermal, ThermalLevel::serious);

    sources.sources.reset(); // the information cannot be copied at all
    sources.thermal = 9;     // and an unknown thermal state reads as nominal
    EXPECT_EQ(*sampler.samplePower(), PowerStats{});
}

TEST_F(PowerSamplerTest, ChargeFollowsCapacitiesWithTheirFallbacks) {
    auto chargeWith = [this](QVariantMap description) {
        sources.sources = std::vector<std::optional<QVariantMap>>{battery(std::move(description))};
        return sampler.samplePower()->charge;
    };
    EXPECT_EQ(chargeWith({{QStringLiteral("Current Capacity"), 50}, {QStringLiteral("Max Capacity"), 0}}), 0);
    EXPECT_DOUBLE_EQ(chargeWith({{QStringLiteral("Current Capacity"), 87}}), 0.87);
    EXPECT_DOUBLE_EQ(chargeWith({{QStringLiteral("Current Capacity"), 87},
                                 {QStringLiteral("Max Capacity"), QStringLiteral("lots")}}),
                     0.87);
    EXPECT_EQ(chargeWith({{QStringLiteral("Current Capacity"), 120}, {QStringLiteral("Max Capacity"), 100}}), 1);
    EXPECT_EQ(chargeWith({{QStringLiteral("Current Capacity"), -5}}), 0) << "a garbled capacity is no charge";
}

TEST_F(PowerSamplerTest, TimeRemainingDependsOnChargingAndMissingTimesAreUnknown) {
    sources.sources = std::vector<std::optional<QVariantMap>>{battery({{QStringLiteral("Is Charging"), true},
                                                                       {QStringLiteral("Time to Full Charge"), 45},
                                                                       {QStringLiteral("Time to Empty"), 300}})};
    PowerStats stats = *sampler.samplePower();
    EXPECT_TRUE(stats.isPresent);
    EXPECT_TRUE(stats.isCharging);
    EXPECT_EQ(stats.timeRemaining, 45);

    sources.sources = std::vector<std::optional<QVariantMap>>{
        battery({{QStringLiteral("Is Charging"), false}, {QStringLiteral("Time to Full Charge"), 45}})};
    stats = *sampler.samplePower();
    EXPECT_FALSE(stats.isCharging);
    EXPECT_EQ(stats.timeRemaining, -1);
}

TEST_F(PowerSamplerTest, WattsComeFromVoltageAndCurrentWithTheSignDropped) {
    sources.sources = std::vector<std::optional<QVariantMap>>{battery({})};
    sources.battery = QVariantMap{{QStringLiteral("Voltage"), 12000}, {QStringLiteral("Amperage"), -1500}};
    EXPECT_DOUBLE_EQ(sampler.samplePower()->watts, 18);
    sources.battery = QVariantMap{{QStringLiteral("Voltage"), 12000}, {QStringLiteral("InstantAmperage"), 500}};
    EXPECT_DOUBLE_EQ(sampler.samplePower()->watts, 6);
    sources.battery.reset();
    EXPECT_EQ(sampler.samplePower()->watts, 0);
}

TEST_F(PowerSamplerTest, FansAreReadInIndexOrderSkippingUnreadableSpeeds) {
    smc.keys[QStringLiteral("FNum")] = FakeSmc::integer16(3);
    smc.keys[QStringLiteral("F0Ac")] = FakeSmc::fpe2(2000);
    smc.keys[QStringLiteral("F0Mn")] = FakeSmc::fpe2(1200);
    smc.keys[QStringLiteral("F0Mx")] = FakeSmc::flt(6156.8f);
    // Fan 1 has no actual speed: it is dropped. Fan 2 has no limits: they read 0.
    smc.keys[QStringLiteral("F2Ac")] = FakeSmc::flt(1500.9f);
    EXPECT_EQ(sampler.sampleFans(), (std::vector<FanStats>{{0, 2000, 1200, 6156}, {2, 1500, 0, 0}}));
}

TEST_F(PowerSamplerTest, ReadStepSendsTheKeyWithTheSizeAndTypeKeyInfoReported) {
    smc.keys[QStringLiteral("FNum")] = FakeSmc::integer16(1);
    smc.keys[QStringLiteral("F0Ac")] = FakeSmc::fpe2(2000);
    smc.keys[QStringLiteral("F0Mx")] = FakeSmc::flt(6000.f);
    ASSERT_EQ(sampler.sampleFans().size(), 1u);
    struct Expected {
        std::uint32_t key, size, type;
    };
    const Expected expected[] = {
        {0x464E756D, 2, 0x75693136}, // "FNum", 2 bytes of "ui16"
        {0x46304163, 2, 0x66706532}, // "F0Ac", 2 bytes of "fpe2"
        {0x46304D78, 4, 0x666C7420}, // "F0Mx", 4 bytes of "flt "
    };
    ASSERT_EQ(smc.reads.size(), std::size(expected)) << "F0Mn has no key info, so it is never read";
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        Record record{};
        std::memcpy(record.data(), &expected[i].key, 4);
        std::memcpy(record.data() + 28, &expected[i].size, 4);
        std::memcpy(record.data() + 32, &expected[i].type, 4);
        record[42] = 5;
        EXPECT_EQ(smc.reads[i], record) << "read " << i << ": every other byte zero";
    }
}

TEST_F(PowerSamplerTest, FanCountOutsideOneToElevenGivesNoFans) {
    smc.keys[QStringLiteral("F0Ac")] = FakeSmc::fpe2(2000);
    for (int count : {0, 12, 40}) {
        smc.keys[QStringLiteral("FNum")] = FakeSmc::integer16(count);
        EXPECT_TRUE(sampler.sampleFans().empty()) << count;
    }
    smc.keys[QStringLiteral("FNum")] = FakeSmc::integer16(1);
    EXPECT_EQ(sampler.sampleFans().size(), 1u);
}

TEST_F(PowerSamplerTest, ImplausibleDataSizesFailTheRead) {
    smc.keys[QStringLiteral("FNum")] = FakeSmc::integer16(1);
    smc.keys[QStringLiteral("F0Ac")] = FakeSmc::fpe2(2000);
    for (std::uint32_t size : {0u, 33u}) {
        // A reported size of 0 reads as the real size in the fake, so 0 needs the real size to be 0 too.
        smc.keys[QStringLiteral("F0Ac")].reportedSize = size;
        if (size == 0) {
            smc.keys[QStringLiteral("F0Ac")].bytes.clear();
        }
        EXPECT_TRUE(sampler.sampleFans().empty()) << size;
    }
}

TEST_F(PowerSamplerTest, RefusedControllerIsNeverAskedAgain) {
    smc.refuses = true;
    EXPECT_TRUE(sampler.sampleFans().empty());
    smc.refuses = false;
    EXPECT_TRUE(sampler.sampleFans().empty());
    EXPECT_EQ(smc.opens, 1);
}

TEST(PowerSamplerCodes, FourCCAndDecoding) {
    EXPECT_EQ(PowerSampler::fourCC(QStringLiteral("FNum")), 0x464E756Du);
    EXPECT_EQ(PowerSampler::fourCC(QStringLiteral("ab")), 0x6162u);
    EXPECT_EQ(PowerSampler::fourCC(QString()), 0u);
    EXPECT_EQ(PowerSampler::fourCC(QStringLiteral("F10Ac")), PowerSampler::fourCC(QStringLiteral("F10A")));

    const std::uint8_t fixed[] = {0x1F, 0x40};
    EXPECT_EQ(PowerSampler::decode(fixed, 2, PowerSampler::fourCC(QStringLiteral("fpe2"))), 2000);
    EXPECT_EQ(PowerSampler::decode(fixed, 1, PowerSampler::fourCC(QStringLiteral("fpe2"))), 0x1F);
    const std::uint8_t word[] = {0x01, 0x02};
    EXPECT_EQ(PowerSampler::decode(word, 2, PowerSampler::fourCC(QStringLiteral("ui16"))), 258);
    const float value = 42.5f;
    std::uint8_t native[4];
    std::memcpy(native, &value, 4);
    EXPECT_EQ(PowerSampler::decode(native, 4, PowerSampler::fourCC(QStringLiteral("flt "))), 42.5);
    EXPECT_EQ(PowerSampler::decode(native, 0, 0), 0);
    const std::uint8_t wide[10] = {0, 0, 0, 0, 0, 0, 0, 1, 0xFF, 0xFF};
    EXPECT_EQ(PowerSampler::decode(wide, 10, 0), 1); // only the first 8 bytes count

    EXPECT_EQ(thermalLevel(3), ThermalLevel::critical);
    EXPECT_FALSE(thermalLevel(4).has_value());
    EXPECT_FALSE(thermalLevel(-1).has_value());
    EXPECT_EQ(allThermalLevels().size(), 4u);
}

} // namespace
} // namespace tillory::monitor
