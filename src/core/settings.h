#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <memory>
#include <optional>

class QSettings;

namespace tillory::core {

/// User defaults: registered defaults live in memory only and are never written; typed reads return the stored
/// value when it has the right kind, else the registered default, else the type's zero value. Main thread.
class Settings {
public:
    virtual ~Settings() = default;

    /// Registers defaults without storing them. Later registrations of a key replace earlier ones.
    void registerDefaults(const QVariantMap& defaults);

    /// The stored value, or the registered default, or an invalid QVariant.
    QVariant object(const QString& key) const;

    bool boolValue(const QString& key) const;
    qint64 intValue(const QString& key) const;
    QString stringValue(const QString& key) const;
    /// Absent (not stored and no default) is an empty optional, so callers can tell it from empty data.
    std::optional<QByteArray> dataValue(const QString& key) const;
    QMap<QString, qint64> intDictionary(const QString& key) const;

    void setBool(const QString& key, bool value) { store(key, value); }
    void setInt(const QString& key, qint64 value) { store(key, value); }
    void setString(const QString& key, const QString& value) { store(key, value); }
    void setData(const QString& key, const QByteArray& value) { store(key, value); }
    void setIntDictionary(const QString& key, const QMap<QString, qint64>& value);

    /// Removes the stored value; the registered default (if any) shows again.
    void remove(const QString& key) { erase(key); }

    /// Writes pending changes to permanent storage. Called at exit; writes also happen on their own.
    virtual void sync() {}

protected:
    virtual QVariant stored(const QString& key) const = 0;
    virtual void store(const QString& key, const QVariant& value) = 0;
    virtual void erase(const QString& key) = 0;

private:
    QVariantMap defaults_;
};

/// Settings kept in memory: tests.
class MemorySettings final : public Settings {
public:
    bool contains(const QString& key) const { return values_.contains(key); }
    int writeCount() const { return writes_; }

protected:
    QVariant stored(const QString& key) const override { return values_.value(key); }
    void store(const QString& key, const QVariant& value) override {
        values_.insert(key, value);
        ++writes_;
    }
    void erase(const QString& key) override { values_.remove(key); }

private:
    QVariantMap values_;
    int writes_ = 0;
};

/// Settings in a QSettings file: organization and application "Tillory" under the XDG config folder.
class QtSettings final : public Settings {
public:
    QtSettings();
    explicit QtSettings(const QString& iniPath);
    ~QtSettings() override;
    void sync() override;

protected:
    QVariant stored(const QString& key) const override;
    void store(const QString& key, const QVariant& value) override;
    void erase(const QString& key) override;

private:
    std::unique_ptr<QSettings> settings_;
};

} // namespace tillory::core
