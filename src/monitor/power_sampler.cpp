#include "monitor/power_sampler.h"

#include <QMetaType>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace tillory::monitor {
namespace {

using Record = platform::SmcClient::Record;

// Offsets in the controller's record; multi-byte fields other than the value are native (little-endian).
constexpr std::size_t kKeyOffset = 0;
constexpr std::size_t kDataSizeOffset = 28;
constexpr std::size_t kDataTypeOffset = 32;
constexpr std::size_t kResultOffset = 40;
constexpr std::size_t kCommandOffset = 42;
constexpr std::size_t kBytesOffset = 48;
constexpr std::size_t kMaxDataSize = 32;
constexpr std::uint8_t kGetKeyInfo = 9;
constexpr std::uint8_t kReadKey = 5;
constexpr int kMaxFans = 12;

std::uint32_t readU32(const Record& record, std::size_t offset) {
    std::uint32_t value = 0;
    std::memcpy(&value, record.data() + offset, sizeof value);
    return value;
}

void writeU32(Record& record, std::size_t offset, std::uint32_t value) {
    std::memcpy(record.data() + offset, &value, sizeof value);
}

bool isInteger(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return true;
    default:
        return false;
    }
}

bool isNumber(const QVariant& value) {
    return isInteger(value) || value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float;
}

std::optional<std::int64_t> integerValue(const QVariantMap& map, const QString& key) {
    const QVariant value = map.value(key);
    if (!isInteger(value)) {
        return std::nullopt;
    }
    return value.toLongLong();
}

/// Truncates toward zero; nothing when the reading cannot be a speed.
std::optional<int> speed(double value) {
    if (!std::isfinite(value) || value >= double(std::numeric_limits<int>::max()) ||
        value <= double(std::numeric_limits<int>::min())) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

} // namespace

std::optional<ThermalLevel> thermalLevel(int raw) {
    if (raw < 0 || raw > 3) {
        return std::nullopt;
    }
    return static_cast<ThermalLevel>(raw);
}

std::vector<ThermalLevel> allThermalLevels() {
    return {ThermalLevel::nominal, ThermalLevel::fair, ThermalLevel::serious, ThermalLevel::critical};
}

PowerSampler::PowerSampler(platform::PowerSources& sources, platform::Smc& smc) : sources_(sources), smc_(smc) {}

PowerSampler::~PowerSampler() = default;

std::optional<PowerStats> PowerSampler::samplePower() {
    PowerStats stats;
    stats.thermal = thermalLevel(sources_.thermalState()).value_or(ThermalLevel::nominal);
    const auto list = sources_.powerSources();
    if (!list) {
        return stats;
    }
    const QVariantMap* battery = nullptr;
    for (const std::optional<QVariantMap>& description : *list) {
        if (description && description->value(QStringLiteral("Type")).toString() == QLatin1String("InternalBattery")) {
            battery = &*description;
            break;
        }
    }
    stats.watts = batteryWatts();
    if (!battery) {
        return stats;
    }
    stats.isPresent = true;
    const std::int64_t current = integerValue(*battery, QStringLiteral("Current Capacity")).value_or(0);
    const std::int64_t maximum = integerValue(*battery, QStringLiteral("Max Capacity")).value_or(100);
    // A negative capacity is a garbled reading, not a charge below empty.
    stats.charge = maximum < 1 ? 0 : std::clamp(double(current) / double(maximum), 0.0, 1.0);
    const QVariant charging = battery->value(QStringLiteral("Is Charging"));
    stats.isCharging = charging.typeId() == QMetaType::Bool && charging.toBool();
    const auto minutes = integerValue(*battery, stats.isCharging ? QStringLiteral("Time to Full Charge")
                                                                 : QStringLiteral("Time to Empty"));
    stats.timeRemaining =
        minutes && *minutes >= std::numeric_limits<int>::min() && *minutes <= std::numeric_limits<int>::max()
            ? int(*minutes)
            : -1;
    return stats;
}

double PowerSampler::batteryWatts() {
    const auto properties = sources_.batteryProperties();
    if (!properties) {
        return 0;
    }
    const QVariant voltage = properties->value(QStringLiteral("Voltage"));
    const double volts = isNumber(voltage) ? voltage.toDouble() / 1000 : 0;
    QVariant amperage = properties->value(QStringLiteral("Amperage"));
    if (!isNumber(amperage)) {
        amperage = properties->value(QStringLiteral("InstantAmperage"));
    }
    const double current = isNumber(amperage) ? double(amperage.toLongLong()) : 0;
    return std::abs(volts * current / 1000);
}

platform::SmcClient* PowerSampler::connection() {
    if (!smcOpened_) {
        smcOpened_ = true; // a refused controller is not asked again
        smcConn_ = smc_.open();
    }
    return smcConn_.get();
}

std::optional<Record> PowerSampler::smcCall(platform::SmcClient& client, const Record& input) {
    return client.call(input);
}

std::optional<PowerSampler::Reading> PowerSampler::smcRead(platform::SmcClient& client, const QString& key) {
    Record info{};
    writeU32(info, kKeyOffset, fourCC(key));
    info[kCommandOffset] = kGetKeyInfo;
    const auto infoReply = smcCall(client, info);
    if (!infoReply || (*infoReply)[kResultOffset] != 0) {
        return std::nullopt;
    }
    const std::uint32_t size = readU32(*infoReply, kDataSizeOffset);
    const std::uint32_t type = readU32(*infoReply, kDataTypeOffset);
    if (size == 0 || size > kMaxDataSize) {
        return std::nullopt;
    }
    Record read{};
    writeU32(read, kKeyOffset, fourCC(key));
    writeU32(read, kDataSizeOffset, size);
    writeU32(read, kDataTypeOffset, type);
    read[kCommandOffset] = kReadKey;
    const auto value = smcCall(client, read);
    if (!value || (*value)[kResultOffset] != 0) {
        return std::nullopt;
    }
    return Reading{decode(value->data() + kBytesOffset, size, type), type};
}

std::vector<FanStats> PowerSampler::sampleFans() {
    std::vector<FanStats> fans;
    platform::SmcClient* client = connection();
    if (!client) {
        return fans;
    }
    const auto count = smcRead(*client, QStringLiteral("FNum"));
    if (!count || !(count->value >= 1 && count->value < kMaxFans)) {
        return fans;
    }
    const int n = static_cast<int>(count->value);
    fans.reserve(std::size_t(n));
    for (int i = 0; i < n; ++i) {
        const QString prefix = QStringLiteral("F") + QString::number(i);
        const auto actual = smcRead(*client, prefix + QStringLiteral("Ac"));
        const auto rpm = actual ? speed(actual->value) : std::nullopt;
        if (!rpm) {
            continue;
        }
        const auto minimum = smcRead(*client, prefix + QStringLiteral("Mn"));
        const auto maximum = smcRead(*client, prefix + QStringLiteral("Mx"));
        fans.push_back({i, *rpm, minimum ? speed(minimum->value).value_or(0) : 0,
                        maximum ? speed(maximum->value).value_or(0) : 0});
    }
    return fans;
}

std::uint32_t PowerSampler::fourCC(const QString& key) {
    const QByteArray bytes = key.toUtf8();
    std::uint32_t code = 0;
    for (int i = 0; i < std::min<qsizetype>(bytes.size(), 4); ++i) {
        code = code * 256 + static_cast<std::uint8_t>(bytes[i]);
    }
    return code;
}

double PowerSampler::decode(const std::uint8_t* bytes, std::size_t count, std::uint32_t type) {
    if (type == fourCC(QStringLiteral("flt ")) && count >= 4) {
        float value = 0;
        std::memcpy(&value, bytes, sizeof value);
        return value;
    }
    if (type == fourCC(QStringLiteral("fpe2")) && count >= 2) {
        return double((unsigned(bytes[0]) << 8) | bytes[1]) / 4;
    }
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < std::min<std::size_t>(count, 8); ++i) {
        value = (value << 8) | bytes[i];
    }
    return double(value);
}

} // namespace tillory::monitor
