#include "platform/linux/sysfs_power.h"

#include "platform/linux/power_events.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cstring>
#include <limits>

namespace tillory::platform::nix {
namespace {

std::optional<QByteArray> readText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return file.read(4096).trimmed();
}

sysfs::AttributeReader folderReader(const QString& folder) {
    return [folder](const QString& attribute) { return readText(folder + attribute); };
}

/// Entries of a sysfs class folder in name order (hwmon0, hwmon1, … and BAT0, AC …).
QStringList classEntries(const QString& folder) {
    QStringList names = QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
    std::sort(names.begin(), names.end(),
              [](const QString& a, const QString& b) { return a.size() != b.size() ? a.size() < b.size() : a < b; });
    return names;
}

/// Minutes for `amount` at `rate` (the same unit per hour, either sign); nothing when the rate is 0 or unknown or
/// the figures are out of all proportion.
std::optional<qint64> minutes(std::optional<qint64> amount, std::optional<qint64> rate) {
    if (!amount || !rate || *rate == 0 || *amount < 0) {
        return std::nullopt;
    }
    // The magnitude as unsigned, so the most negative rate has one too.
    const std::uint64_t perHour = *rate < 0 ? 0 - std::uint64_t(*rate) : std::uint64_t(*rate);
    std::uint64_t scaled = 0;
    if (__builtin_mul_overflow(std::uint64_t(*amount), std::uint64_t(60), &scaled)) {
        return std::nullopt;
    }
    return qint64(scaled / perHour);
}

struct Fan {
    QString input;
    QString min;
    QString max;
};

std::vector<Fan> listFans(const QString& root) {
    std::vector<Fan> fans;
    const QString hwmon = root + QStringLiteral("/class/hwmon/");
    for (const QString& chip : classEntries(hwmon)) {
        const QDir dir(hwmon + chip);
        std::vector<int> numbers;
        for (const QString& name : dir.entryList({QStringLiteral("fan*_input")}, QDir::Files | QDir::System)) {
            bool ok = false;
            const int n = name.mid(3, name.size() - 9).toInt(&ok);
            if (ok) {
                numbers.push_back(n);
            }
        }
        std::sort(numbers.begin(), numbers.end());
        for (int n : numbers) {
            const QString base = dir.filePath(QStringLiteral("fan%1_").arg(n));
            fans.push_back(
                {base + QStringLiteral("input"), base + QStringLiteral("min"), base + QStringLiteral("max")});
        }
    }
    return fans;
}

std::uint32_t code(const char (&text)[5]) {
    return (std::uint32_t(std::uint8_t(text[0])) << 24) | (std::uint32_t(std::uint8_t(text[1])) << 16) |
           (std::uint32_t(std::uint8_t(text[2])) << 8) | std::uint32_t(std::uint8_t(text[3]));
}

class HwmonSmcClient final : public SmcClient {
public:
    explicit HwmonSmcClient(QString root) : root_(std::move(root)) {}

    std::optional<Record> call(const Record& input) override {
        const std::vector<Fan> fans = listFans(root_);
        return sysfs::answerFanRecord(input, int(fans.size()), [&fans](int fan, const char* file) {
            const Fan& f = fans[std::size_t(fan)];
            const QLatin1String name(file);
            return readText(name == QLatin1String("input") ? f.input : name == QLatin1String("min") ? f.min : f.max);
        });
    }

private:
    QString root_;
};

} // namespace

namespace sysfs {

std::optional<qint64> integer(const std::optional<QByteArray>& text) {
    if (!text) {
        return std::nullopt;
    }
    bool ok = false;
    const qint64 value = text->toLongLong(&ok);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

std::optional<bool> externalPower(const AttributeReader& read) {
    const QByteArray type = read(QStringLiteral("type")).value_or(QByteArray());
    if ((type != "Mains" && type != "USB") || read(QStringLiteral("scope")).value_or("System") == "Device") {
        return std::nullopt;
    }
    const auto online = integer(read(QStringLiteral("online")));
    return online ? std::optional<bool>(*online != 0) : std::nullopt;
}

bool isMachineBattery(const AttributeReader& read) {
    return read(QStringLiteral("type")).value_or(QByteArray()) == "Battery" &&
           read(QStringLiteral("scope")).value_or("System") != "Device" &&
           integer(read(QStringLiteral("present"))).value_or(1) != 0;
}

std::optional<QVariantMap> describeSupply(const AttributeReader& read) {
    const auto type = read(QStringLiteral("type"));
    if (!type) {
        return std::nullopt;
    }
    QVariantMap description;
    if (*type == "Mains") {
        description.insert(QStringLiteral("Type"), QStringLiteral("AC Power"));
        return description;
    }
    if (!isMachineBattery(read)) {
        description.insert(QStringLiteral("Type"), QString::fromUtf8(*type));
        return description;
    }
    description.insert(QStringLiteral("Type"), QStringLiteral("InternalBattery"));
    if (const auto capacity = integer(read(QStringLiteral("capacity")))) {
        description.insert(QStringLiteral("Current Capacity"), *capacity);
        description.insert(QStringLiteral("Max Capacity"), 100);
    }
    const bool charging = read(QStringLiteral("status")).value_or(QByteArray()) == "Charging";
    description.insert(QStringLiteral("Is Charging"), charging);
    // Energy in µWh with power in µW, or charge in µAh with current in µA.
    auto now = integer(read(QStringLiteral("energy_now")));
    auto full = integer(read(QStringLiteral("energy_full")));
    auto rate = integer(read(QStringLiteral("power_now")));
    if (!now || !rate) {
        now = integer(read(QStringLiteral("charge_now")));
        full = integer(read(QStringLiteral("charge_full")));
        rate = integer(read(QStringLiteral("current_now")));
    }
    if (charging) {
        qint64 missing = 0;
        const bool known = now && full && !__builtin_sub_overflow(*full, *now, &missing);
        if (const auto toFull = known ? minutes(missing, rate) : std::nullopt) {
            description.insert(QStringLiteral("Time to Full Charge"), *toFull);
        }
    } else if (const auto toEmpty = minutes(now, rate)) {
        description.insert(QStringLiteral("Time to Empty"), *toEmpty);
    }
    return description;
}

QVariantMap batteryMeasurements(const AttributeReader& read) {
    QVariantMap properties;
    const auto microvolts = integer(read(QStringLiteral("voltage_now")));
    if (microvolts) {
        properties.insert(QStringLiteral("Voltage"), *microvolts / 1000);
    }
    qint64 scaled = 0;
    if (const auto microamps = integer(read(QStringLiteral("current_now")))) {
        properties.insert(QStringLiteral("Amperage"), *microamps / 1000);
    } else if (const auto microwatts = integer(read(QStringLiteral("power_now")));
               microwatts && microvolts && *microvolts > 0 && !__builtin_mul_overflow(*microwatts, 1000, &scaled)) {
        properties.insert(QStringLiteral("Amperage"), scaled / *microvolts);
    }
    return properties;
}

int zoneLevel(const AttributeReader& read) {
    constexpr qint64 kFairMargin = 10000; // millidegrees below a passive or hot trip point
    const auto temp = integer(read(QStringLiteral("temp")));
    if (!temp) {
        return 0;
    }
    int level = 0;
    for (int trip = 0; trip < 32; ++trip) {
        const auto type = read(QStringLiteral("trip_point_%1_type").arg(trip));
        const auto at = integer(read(QStringLiteral("trip_point_%1_temp").arg(trip)));
        if (!type || !at) {
            break;
        }
        qint64 fairFrom = 0;
        if (*type == "critical" && *temp >= *at) {
            level = std::max(level, 3);
        } else if (*type == "passive" || *type == "hot") {
            if (*temp >= *at) {
                level = std::max(level, 2);
            } else if (__builtin_sub_overflow(*at, kFairMargin, &fairFrom) || *temp >= fairFrom) {
                level = std::max(level, 1);
            }
        }
    }
    return level;
}

SmcClient::Record answerFanRecord(const SmcClient::Record& input, int fanCount,
                                  const std::function<std::optional<QByteArray>(int fan, const char* file)>& readFan) {
    constexpr std::size_t kDataSize = 28;
    constexpr std::size_t kDataType = 32;
    constexpr std::size_t kResult = 40;
    constexpr std::size_t kCommand = 42;
    constexpr std::size_t kBytes = 48;
    constexpr std::uint8_t kKeyInfo = 9;
    constexpr std::uint8_t kReadKey = 5;
    constexpr std::uint8_t kKeyNotFound = 132;

    SmcClient::Record output = input;
    std::uint32_t key = 0;
    std::memcpy(&key, input.data(), sizeof key);
    std::optional<double> value;
    const bool isCount = key == code("FNum");
    if (isCount) {
        value = double(std::max(fanCount, 0));
    } else {
        // "F<index><A|M…>": only four characters reach the controller, so "F1Mn" and "F1Mx" are told apart by
        // their last letter and two-digit indexes keep only the first letter of the suffix.
        const char text[5] = {char(key >> 24), char(key >> 16), char(key >> 8), char(key), 0};
        if (text[0] == 'F' && text[1] >= '0' && text[1] <= '9') {
            int index = text[1] - '0';
            const char* suffix = text + 2;
            if (text[2] >= '0' && text[2] <= '9') {
                index = index * 10 + (text[2] - '0');
                suffix = text + 3;
            }
            const char* file = std::strcmp(suffix, "Ac") == 0 || std::strcmp(suffix, "A") == 0 ? "input"
                               : std::strcmp(suffix, "Mn") == 0                                ? "min"
                               : std::strcmp(suffix, "Mx") == 0                                ? "max"
                                                                                               : nullptr;
            const auto rpm = file && index < fanCount ? integer(readFan(index, file)) : std::nullopt;
            if (rpm && *rpm >= 0) {
                value = double(*rpm);
            }
        }
    }
    if (!value) {
        output[kResult] = kKeyNotFound;
        return output;
    }
    if (input[kCommand] == kKeyInfo) {
        const std::uint32_t size = isCount ? 1 : 4;
        const std::uint32_t type = isCount ? code("ui8 ") : code("flt ");
        std::memcpy(output.data() + kDataSize, &size, sizeof size);
        std::memcpy(output.data() + kDataType, &type, sizeof type);
    } else if (input[kCommand] == kReadKey) {
        if (isCount) {
            output[kBytes] = std::uint8_t(std::min(*value, 255.0));
        } else {
            const float speed = float(*value);
            std::memcpy(output.data() + kBytes, &speed, sizeof speed);
        }
    } else {
        output[kResult] = kKeyNotFound;
    }
    return output;
}

} // namespace sysfs

SysfsPowerSources::SysfsPowerSources(QString sysRoot) : root_(std::move(sysRoot)) {}

std::optional<std::vector<std::optional<QVariantMap>>> SysfsPowerSources::powerSources() {
    const QString folder = root_ + QStringLiteral("/class/power_supply/");
    if (!QDir(folder).exists()) {
        return std::nullopt;
    }
    std::vector<std::optional<QVariantMap>> sources;
    std::optional<bool> external;
    for (const QString& name : classEntries(folder)) {
        const auto read = folderReader(folder + name + QLatin1Char('/'));
        sources.push_back(sysfs::describeSupply(read));
        if (const auto online = sysfs::externalPower(read)) {
            external = external.value_or(false) || *online;
        }
    }
    if (external) {
        for (auto& source : sources) {
            if (source && source->value(QStringLiteral("Type")) == QStringLiteral("InternalBattery")) {
                source->insert(QStringLiteral("Power Source State"),
                               *external ? QStringLiteral("AC Power") : QStringLiteral("Battery Power"));
            }
        }
    }
    return sources;
}

QString SysfsPowerSources::batteryPath() const {
    // The same battery the sources call the internal one: the first of the machine's own.
    const QString folder = root_ + QStringLiteral("/class/power_supply/");
    for (const QString& name : classEntries(folder)) {
        const QString base = folder + name + QLatin1Char('/');
        if (sysfs::isMachineBattery(folderReader(base))) {
            return base;
        }
    }
    return {};
}

std::optional<QVariantMap> SysfsPowerSources::batteryProperties() {
    const QString base = batteryPath();
    if (base.isEmpty()) {
        return std::nullopt;
    }
    return sysfs::batteryMeasurements(folderReader(base));
}

PowerChanges SysfsPowerSources::observeChanges(std::function<void()> onChange) {
    return observePowerEvents(std::move(onChange));
}

int SysfsPowerSources::thermalState() {
    int level = 0;
    const QString folder = root_ + QStringLiteral("/class/thermal/");
    for (const QString& zone :
         QDir(folder).entryList({QStringLiteral("thermal_zone*")}, QDir::Dirs | QDir::NoDotAndDotDot | QDir::System)) {
        level = std::max(level, sysfs::zoneLevel(folderReader(folder + zone + QLatin1Char('/'))));
    }
    return level;
}

HwmonSmc::HwmonSmc(QString sysRoot) : root_(std::move(sysRoot)) {}

std::unique_ptr<SmcClient> HwmonSmc::open() {
    if (!QDir(root_ + QStringLiteral("/class")).exists()) {
        return nullptr;
    }
    // Fans are listed afresh on every question, so a fan that appears later is seen.
    return std::make_unique<HwmonSmcClient>(root_);
}

} // namespace tillory::platform::nix
