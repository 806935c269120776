#include "core/settings.h"

#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <type_traits>

namespace tillory::core {
namespace {

// Each backend knows how to reopen itself, so that every assertion below also covers what an INI file gives
// back after a restart (every scalar as text) rather than only the values cached in memory.
struct MemoryBackend {
    std::unique_ptr<Settings> open() { return std::make_unique<MemorySettings>(); }
    bool reopens() const { return false; }
    bool persisted(Settings& settings, const QString& key) const {
        return static_cast<MemorySettings&>(settings).contains(key);
    }
};

struct IniBackend {
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("settings.ini")); }
    std::unique_ptr<Settings> open() { return std::make_unique<QtSettings>(path()); }
    bool reopens() const { return true; }
    bool persisted(Settings& settings, const QString& key) const {
        settings.sync();
        return QSettings(path(), QSettings::IniFormat).contains(key);
    }
};

template <typename Backend> class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(backendValid());
        settings_ = backend_.open();
        settings_->registerDefaults(defaults_);
    }

    Settings& settings() { return *settings_; }

    /// Writes everything out and reads it back in a fresh instance with the same defaults.
    void reopen() {
        if (!backend_.reopens()) {
            return;
        }
        settings_.reset();
        settings_ = backend_.open();
        settings_->registerDefaults(defaults_);
    }

    bool persisted(const QString& key) { return backend_.persisted(*settings_, key); }

    const QVariantMap defaults_{
        {QStringLiteral("flag"), true},
        {QStringLiteral("count"), 3},
        {QStringLiteral("name"), QStringLiteral("fallback")},
        {QStringLiteral("blob"), QByteArray("default")},
        {QStringLiteral("map"), QVariantMap{{QStringLiteral("one"), 1}}},
        {QStringLiteral("badDefault"), QStringLiteral("not a number")},
    };

private:
    bool backendValid() {
        if constexpr (std::is_same_v<Backend, IniBackend>) {
            return backend_.dir.isValid();
        }
        return true;
    }

    Backend backend_;
    std::unique_ptr<Settings> settings_;
};

struct BackendNames {
    template <typename Backend> static std::string GetName(int) {
        return std::is_same_v<Backend, IniBackend> ? "IniFile" : "Memory";
    }
};

using Backends = ::testing::Types<MemoryBackend, IniBackend>;
TYPED_TEST_SUITE(SettingsTest, Backends, BackendNames);

// Every typed read shows the registered default.
void expectRegisteredDefaults(const Settings& s) {
    EXPECT_TRUE(s.boolValue(QStringLiteral("flag")));
    EXPECT_EQ(s.intValue(QStringLiteral("count")), 3);
    EXPECT_EQ(s.stringValue(QStringLiteral("name")), QStringLiteral("fallback"));
    EXPECT_EQ(s.dataValue(QStringLiteral("blob")), QByteArray("default"));
    EXPECT_EQ(s.intDictionary(QStringLiteral("map")), (QMap<QString, qint64>{{QStringLiteral("one"), 1}}));
}

TYPED_TEST(SettingsTest, RegisteredDefaultsAreReadButNeverWritten) {
    Settings& s = this->settings();
    expectRegisteredDefaults(s);
    for (const QString& key : this->defaults_.keys()) {
        EXPECT_FALSE(this->persisted(key)) << key.toStdString();
    }
}

TYPED_TEST(SettingsTest, KeysWithoutAUsableValueReadAsZero) {
    Settings& s = this->settings();
    const QString key = QStringLiteral("unknown");
    EXPECT_FALSE(s.boolValue(key));
    EXPECT_EQ(s.intValue(key), 0);
    EXPECT_FALSE(s.dataValue(key).has_value());
    EXPECT_TRUE(s.intDictionary(key).isEmpty());
    EXPECT_EQ(s.intValue(QStringLiteral("badDefault")), 0); // a default of the wrong kind is no better than none
}

TYPED_TEST(SettingsTest, WrittenValuesAreReadBack) {
    const QByteArray binary("\x00\x01\xff(raw)\n", 8);
    const QMap<QString, qint64> counts{
        {QStringLiteral("a"), 1}, {QStringLiteral("b"), -5}, {QStringLiteral("big"), qint64{1} << 40}};
    Settings& before = this->settings();
    before.setBool(QStringLiteral("flag"), false);
    before.setInt(QStringLiteral("count"), -42);
    before.setString(QStringLiteral("name"), QStringLiteral("Grüße"));
    before.setData(QStringLiteral("blob"), binary);
    before.setIntDictionary(QStringLiteral("map"), counts);
    before.setData(QStringLiteral("empty"), QByteArray());
    this->reopen();

    Settings& s = this->settings();
    EXPECT_FALSE(s.boolValue(QStringLiteral("flag")));
    EXPECT_EQ(s.intValue(QStringLiteral("count")), -42);
    EXPECT_EQ(s.stringValue(QStringLiteral("name")), QStringLiteral("Grüße"));
    EXPECT_EQ(s.dataValue(QStringLiteral("blob")), binary);
    EXPECT_EQ(s.intDictionary(QStringLiteral("map")), counts);
    EXPECT_EQ(s.dataValue(QStringLiteral("empty")), QByteArray()); // present, unlike absent data
    EXPECT_TRUE(this->persisted(QStringLiteral("flag")));
}

TYPED_TEST(SettingsTest, StoredValueOfTheWrongKindFallsBackToTheDefault) {
    Settings& before = this->settings();
    before.setString(QStringLiteral("flag"), QStringLiteral("perhaps"));
    before.setString(QStringLiteral("count"), QStringLiteral("many"));
    before.setData(QStringLiteral("name"), QByteArray("bytes"));
    before.setString(QStringLiteral("blob"), QStringLiteral("text"));
    before.setString(QStringLiteral("map"), QStringLiteral("text"));
    before.setString(QStringLiteral("noDefault"), QStringLiteral("text"));
    this->reopen();

    Settings& s = this->settings();
    expectRegisteredDefaults(s);
    EXPECT_FALSE(s.dataValue(QStringLiteral("noDefault")).has_value());
}

TYPED_TEST(SettingsTest, RemovalShowsTheDefaultAgain) {
    this->settings().setInt(QStringLiteral("count"), 9);
    this->reopen();
    EXPECT_EQ(this->settings().intValue(QStringLiteral("count")), 9);

    this->settings().remove(QStringLiteral("count"));
    this->reopen();
    EXPECT_EQ(this->settings().intValue(QStringLiteral("count")), 3);
    EXPECT_FALSE(this->persisted(QStringLiteral("count")));
}

} // namespace
} // namespace tillory::core
