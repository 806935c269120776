#include "platform/linux/sysfs_power.h"

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

std::optional<qint64> readInteger(const QString& path) {
    const auto text = readText(path);
    if (!text) {
        return std::nullopt;
    }
    bool ok = false;
    const qint64 value = text->toLongLong(&ok);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

/// Entries of a sysfs class folder in name order (hwmon0, hwmon1, … and BAT0, AC …).
QStringList classEntries(const QString& folder) {
    QStringList names = QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
    std::sort(names.begin(), names.end(),
              [](const QString& a, const QString& b) { return a.size() != b.size() ? a.size() < b.size() : a < b; });
    return names;
}

/// Minutes for `amount` at `rate` (the same unit per hour); nothing when the rate is 0 or unknown.
std::optional<qint64> minutes(std::optional<qint64> amount, std::optional<qint64> rate) {
    if (!amount || !rate || *rate == 0 || *amount < 0) {
        return std::nullopt;
    }
    return *amount * 60 / std::abs(*rate);
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
        Record output = input;
        std::uint32_t key = 0;
        std::memcpy(&key, input.data(), sizeof key);
        const auto value = answer(key);
        if (!value) {
            output[kResult] = kKeyNotFound;
            return output;
        }
        if (input[kCommand] == kKeyInfo) {
            const std::uint32_t size = value->isCount ? 1 : 4;
            const std::uint32_t type = value->isCount ? code("ui8 ") : code("flt ");
            std::memcpy(output.data() + kDataSize, &size, sizeof size);
            std::memcpy(output.data() + kDataType, &type, sizeof type);
        } else if (input[kCommand] == kReadKey) {
            if (value->isCount) {
                output[kBytes] = std::uint8_t(std::clamp<qint64>(qint64(value->number), 0, 255));
            } else {
                const float speed = float(value->number);
                std::memcpy(output.data() + kBytes, &speed, sizeof speed);
            }
        } else {
            output[kResult] = kKeyNotFound;
        }
        return output;
    }

private:
    static constexpr std::size_t kDataSize = 28;
    static constexpr std::size_t kDataType = 32;
    static constexpr std::size_t kResult = 40;
    static constexpr std::size_t kCommand = 42;
    static constexpr std::size_t kBytes = 48;
    static constexpr std::uint8_t kKeyInfo = 9;
    static constexpr std::uint8_t kReadKey = 5;
    static constexpr std::uint8_t kKeyNotFound = 132;

    struct Value {
        double number = 0;
        bool isCount = false;
    };

    std::optional<Value> answer(std::uint32_t key) const {
        const std::vector<Fan> fans = listFans(root_);
        if (key == code("FNum")) {
            return Value{double(fans.size()), true};
        }
        // "F<index><A|M…>": only four characters reach the controller, so "F1Mn" and "F1Mx" are told apart by
        // their last letter and two-digit indexes keep only the first letter of the suffix.
        char text[5] = {char(key >> 24), char(key >> 16), char(key >> 8), char(key), 0};
        if (text[0] != 'F' || text[1] < '0' || text[1] > '9') {
            return std::nullopt;
        }
        int index = text[1] - '0';
        const char* suffix = text + 2;
        if (text[2] >= '0' && text[2] <= '9') {
            index = index * 10 + (text[2] - '0');
            suffix = text + 3;
        }
        if (index >= int(fans.size())) {
            return std::nullopt;
        }
        const Fan& fan = fans[std::size_t(index)];
        QString file;
        if (std::strcmp(suffix, "Ac") == 0 || std::strcmp(suffix, "A") == 0) {
            file = fan.input;
        } else if (std::strcmp(suffix, "Mn") == 0) {
            file = fan.min;
        } else if (std::strcmp(suffix, "Mx") == 0) {
            file = fan.max;
        } else {
            return std::nullopt;
        }
        const auto rpm = readInteger(file);
        if (!rpm || *rpm < 0) {
            return std::nullopt;
        }
        return Value{double(*rpm), false};
    }

    QString root_;
};

} // namespace

SysfsPowerSources::SysfsPowerSources(QString sysRoot) : root_(std::move(sysRoot)) {}

std::optional<std::vector<std::optional<QVariantMap>>> SysfsPowerSources::powerSources() {
    const QString folder = root_ + QStringLiteral("/class/power_supply/");
    if (!QDir(folder).exists()) {
        return std::nullopt;
    }
    std::vector<std::optional<QVariantMap>> sources;
    for (const QString& name : classEntries(folder)) {
        const QString base = folder + name + QLatin1Char('/');
        const auto type = readText(base + QStringLiteral("type"));
        if (!type) {
            sources.push_back(std::nullopt);
            continue;
        }
        QVariantMap description;
        if (*type == "Mains") {
            description.insert(QStringLiteral("Type"), QStringLiteral("AC Power"));
        } else if (*type == "Battery" && readText(base + QStringLiteral("scope")).value_or("System") != "Device") {
            description.insert(QStringLiteral("Type"), QStringLiteral("InternalBattery"));
            if (const auto capacity = readInteger(base + QStringLiteral("capacity"))) {
                description.insert(QStringLiteral("Current Capacity"), *capacity);
                description.insert(QStringLiteral("Max Capacity"), 100);
            }
            const bool charging = readText(base + QStringLiteral("status")).value_or(QByteArray()) == "Charging";
            description.insert(QStringLiteral("Is Charging"), charging);
            // Energy in µWh with power in µW, or charge in µAh with current in µA.
            auto now = readInteger(base + QStringLiteral("energy_now"));
            auto full = readInteger(base + QStringLiteral("energy_full"));
            auto rate = readInteger(base + QStringLiteral("power_now"));
            if (!now || !rate) {
                now = readInteger(base + QStringLiteral("charge_now"));
                full = readInteger(base + QStringLiteral("charge_full"));
                rate = readInteger(base + QStringLiteral("current_now"));
            }
            if (const auto toEmpty = minutes(now, rate); toEmpty && !charging) {
                description.insert(QStringLiteral("Time to Empty"), *toEmpty);
            }
            if (now && full) {
                if (const auto toFull = minutes(*full - *now, rate); toFull && charging) {
                    description.insert(QStringLiteral("Time to Full Charge"), *toFull);
                }
            }
        } else {
            description.insert(QStringLiteral("Type"), QString::fromUtf8(*type));
        }
        sources.push_back(description);
    }
    return sources;
}

QString SysfsPowerSources::batteryPath() const {
    const QString folder = root_ + QStringLiteral("/class/power_supply/");
    for (const QString& name : classEntries(folder)) {
        const QString base = folder + name + QLatin1Char('/');
        if (readText(base + QStringLiteral("type")).value_or(QByteArray()) == "Battery" &&
            readText(base + QStringLiteral("scope")).value_or("System") != "Device") {
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
    QVariantMap properties;
    const auto microvolts = readInteger(base + QStringLiteral("voltage_now"));
    if (microvolts) {
        properties.insert(QStringLiteral("Voltage"), *microvolts / 1000);
    }
    if (const auto microamps = readInteger(base + QStringLiteral("current_now"))) {
        properties.insert(QStringLiteral("Amperage"), *microamps / 1000);
    } else if (const auto microwatts = readInteger(base + QStringLiteral("power_now"));
               microwatts && microvolts && *microvolts > 0) {
        properties.insert(QStringLiteral("Amperage"), *microwatts * 1000 / *microvolts);
    }
    return properties;
}

int SysfsPowerSources::thermalState() {
    constexpr qint64 kFairMargin = 10000; // millidegrees below a passive or hot trip point
    int level = 0;
    const QString folder = root_ + QStringLiteral("/class/thermal/");
    for (const QString& zone :
         QDir(folder).entryList({QStringLiteral("thermal_zone*")}, QDir::Dirs | QDir::NoDotAndDotDot | QDir::System)) {
        const QString base = folder + zone + QLatin1Char('/');
        const auto temp = readInteger(base + QStringLiteral("temp"));
        if (!temp) {
            continue;
        }
        for (int trip = 0; trip < 32; ++trip) {
            const auto type = readText(base + QStringLiteral("trip_point_%1_type").arg(trip));
            const auto at = readInteger(base + QStringLiteral("trip_point_%1_temp").arg(trip));
            if (!type || !at) {
                break;
            }
            if (*type == "critical" && *temp >= *at) {
                level = std::max(level, 3);
            } else if (*type == "passive" || *type == "hot") {
                if (*temp >= *at) {
                    level = std::max(level, 2);
                } else if (*temp >= *at - kFairMargin) {
                    level = std::max(level, 1);
                }
            }
        }
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
