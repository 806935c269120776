#include "core/settings.h"

#include <QSettings>

namespace tillory::core {
namespace {

// INI files give back every scalar as a string, so kinds are recognised by what the text holds.
std::optional<bool> asBool(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return value.toDouble() != 0.0;
    case QMetaType::QString: {
        const QString text = value.toString().trimmed().toLower();
        if (text == QLatin1String("true") || text == QLatin1String("yes") || text == QLatin1String("1")) {
            return true;
        }
        if (text == QLatin1String("false") || text == QLatin1String("no") || text == QLatin1String("0")) {
            return false;
        }
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

std::optional<qint64> asInt(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? 1 : 0;
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return value.toLongLong();
    case QMetaType::Double: {
        const double number = value.toDouble();
        if (number != number || number > 9.2e18 || number < -9.2e18) {
            return std::nullopt;
        }
        return static_cast<qint64>(number);
    }
    case QMetaType::QString: {
        bool ok = false;
        const qint64 number = value.toString().trimmed().toLongLong(&ok);
        return ok ? std::optional<qint64>(number) : std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

std::optional<QMap<QString, qint64>> asIntDictionary(const QVariant& value) {
    if (value.typeId() != QMetaType::QVariantMap) {
        return std::nullopt;
    }
    QMap<QString, qint64> result;
    const QVariantMap map = value.toMap();
    for (auto it = map.begin(); it != map.end(); ++it) {
        const auto number = asInt(it.value());
        if (!number) {
            return std::nullopt; // a dictionary with a foreign value is not a dictionary of ints
        }
        result.insert(it.key(), *number);
    }
    return result;
}

template <typename T, typename Convert>
T typed(const QVariant& storedValue, const QVariant& fallback, Convert convert) {
    if (auto value = convert(storedValue)) {
        return *value;
    }
    if (auto value = convert(fallback)) {
        return *value;
    }
    return T{};
}

} // namespace

void Settings::registerDefaults(const QVariantMap& defaults) {
    for (auto it = defaults.begin(); it != defaults.end(); ++it) {
        defaults_.insert(it.key(), it.value());
    }
}

QVariant Settings::object(const QString& key) const {
    QVariant value = stored(key);
    return value.isValid() ? value : defaults_.value(key);
}

bool Settings::boolValue(const QString& key) const { return typed<bool>(stored(key), defaults_.value(key), asBool); }

qint64 Settings::intValue(const QString& key) const {
    return typed<qint64>(stored(key), defaults_.value(key), asInt);
}

QString Settings::stringValue(const QString& key) const {
    auto asString = [](const QVariant& value) -> std::optional<QString> {
        if (value.typeId() == QMetaType::QString) {
            return value.toString();
        }
        return std::nullopt;
    };
    return typed<QString>(stored(key), defaults_.value(key), asString);
}

std::optional<QByteArray> Settings::dataValue(const QString& key) const {
    for (const QVariant& value : {stored(key), defaults_.value(key)}) {
        if (value.typeId() == QMetaType::QByteArray) {
            return value.toByteArray();
        }
    }
    return std::nullopt;
}

QMap<QString, qint64> Settings::intDictionary(const QString& key) const {
    return typed<QMap<QString, qint64>>(stored(key), defaults_.value(key), asIntDictionary);
}

void Settings::setIntDictionary(const QString& key, const QMap<QString, qint64>& value) {
    QVariantMap map;
    for (auto it = value.begin(); it != value.end(); ++it) {
        map.insert(it.key(), it.value());
    }
    store(key, map);
}

QtSettings::QtSettings()
    : settings_(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tillory"),
                                            QStringLiteral("Tillory"))) {}

QtSettings::QtSettings(const QString& iniPath)
    : settings_(std::make_unique<QSettings>(iniPath, QSettings::IniFormat)) {}

QtSettings::~QtSettings() { settings_->sync(); }

void QtSettings::sync() { settings_->sync(); }

QVariant QtSettings::stored(const QString& key) const { return settings_->value(key); }

void QtSettings::store(const QString& key, const QVariant& value) { settings_->setValue(key, value); }

void QtSettings::erase(const QString& key) { settings_->remove(key); }

} // namespace tillory::core
