// Feeds arbitrary sysfs contents to the power readings: one line per attribute of a battery and a thermal zone,
// then the input, min and max files of up to eleven fans, all read through the same sampler the monitor uses.
// The results must stay in range whatever the files hold, and no arithmetic on them may overflow.
#include "monitor/power_sampler.h"
#include "platform/linux/sysfs_power.h"

#include <QList>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

using namespace tillory;

const char* const kAttributes[] = {"type",
                                   "scope",
                                   "present",
                                   "capacity",
                                   "status",
                                   "energy_now",
                                   "energy_full",
                                   "power_now",
                                   "charge_now",
                                   "charge_full",
                                   "current_now",
                                   "voltage_now",
                                   "temp",
                                   "trip_point_0_type",
                                   "trip_point_0_temp",
                                   "trip_point_1_type",
                                   "trip_point_1_temp"};
constexpr int kAttributeCount = int(std::size(kAttributes));

class Sources final : public platform::PowerSources {
public:
    std::optional<std::vector<std::optional<QVariantMap>>> list;
    std::optional<QVariantMap> battery;
    int thermal = 0;
    std::optional<std::vector<std::optional<QVariantMap>>> powerSources() override { return list; }
    std::optional<QVariantMap> batteryProperties() override { return battery; }
    int thermalState() override { return thermal; }
};

class Fans final : public platform::Smc {
public:
    explicit Fans(const QList<QByteArray>& files) : files_(files) {}
    std::unique_ptr<platform::SmcClient> open() override { return std::make_unique<Client>(files_); }

private:
    class Client final : public platform::SmcClient {
    public:
        explicit Client(const QList<QByteArray>& files) : files_(files) {}
        std::optional<Record> call(const Record& input) override {
            const int count = int(std::min<qsizetype>(files_.size() / 3, 11));
            return platform::nix::sysfs::answerFanRecord(input, count, [this](int fan, const char* file) {
                const int slot = std::strcmp(file, "input") == 0 ? 0 : std::strcmp(file, "min") == 0 ? 1 : 2;
                return std::optional(files_[fan * 3 + slot]);
            });
        }

    private:
        const QList<QByteArray>& files_;
    };
    const QList<QByteArray>& files_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QList<QByteArray> lines =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)).split('\n');
    const auto read = [&lines](const QString& attribute) -> std::optional<QByteArray> {
        for (int i = 0; i < kAttributeCount && i < lines.size(); ++i) {
            if (attribute == QLatin1String(kAttributes[i])) {
                return lines[i].trimmed();
            }
        }
        return std::nullopt;
    };
    Sources sources;
    sources.list.emplace();
    sources.list->push_back(platform::nix::sysfs::describeSupply(read));
    if (platform::nix::sysfs::isMachineBattery(read)) {
        sources.battery = platform::nix::sysfs::batteryMeasurements(read);
    }
    sources.thermal = platform::nix::sysfs::zoneLevel(read);
    const QList<QByteArray> fanFiles = lines.mid(std::min<qsizetype>(kAttributeCount, lines.size()));
    Fans smc(fanFiles);
    monitor::PowerSampler sampler(sources, smc);

    const auto power = sampler.samplePower();
    if (!power || sources.thermal < 0 || sources.thermal > 3 || power->charge < 0 || power->charge > 1 ||
        !(power->watts >= 0) || !std::isfinite(power->watts) || power->timeRemaining < -1) {
        std::abort();
    }
    int lastIndex = -1;
    for (const monitor::FanStats& fan : sampler.sampleFans()) {
        if (fan.index <= lastIndex || fan.rpm < 0 || fan.minRPM < 0 || fan.maxRPM < 0) {
            std::abort();
        }
        lastIndex = fan.index;
    }
    return 0;
}
