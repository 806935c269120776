#pragma once

#include "platform/api/event.h"

#include <QObject>
#include <QString>
#include <QUuid>

#include <cstdint>
#include <optional>
#include <set>

namespace tillory::core {
class Scheduler;
class Settings;
} // namespace tillory::core

namespace tillory::platform {
class Accessibility;
class Workspace;
} // namespace tillory::platform

namespace tillory::keyhub {
class KeyEventHub;
}

namespace tillory::keys {

/// Turns a plain Backspace in the file manager into Command-Backspace (move to the trash) unless a text field
/// has the focus there. The switch lives in the settings; the handler sits in the key event hub while it is on.
/// Main thread.
class FinderEnhancer : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool backspaceDeletes READ backspaceDeletes WRITE setBackspaceDeletes NOTIFY backspaceDeletesChanged)

public:
    static inline const QString kSettingKey = QStringLiteral("finderBackspaceDeletes");
    static constexpr int kDeleteKeyCode = platform::KeyCode::Delete;
    static constexpr std::uint64_t kModifierMask = 0x1E0000; // Shift, Control, Option, Command
    static constexpr std::uint64_t kReplacementFlags = platform::EventFlags::Command;
    static constexpr double kCacheLifetime = 0.3;
    /// The front-application identifiers that count as the file manager: the original one, and what the Linux
    /// workspace reports (_GTK_APPLICATION_ID or the WM_CLASS instance) for the common file managers.
    static inline const std::set<QString> kFileManagerIdentifiers = {
        QStringLiteral("com.apple.finder"),
        QStringLiteral("org.gnome.Nautilus"),
        QStringLiteral("nautilus"),
        QStringLiteral("nemo"),
        QStringLiteral("caja"),
        QStringLiteral("thunar"),
        QStringLiteral("Thunar"),
        QStringLiteral("pcmanfm"),
        QStringLiteral("pcmanfm-qt"),
        QStringLiteral("org.kde.dolphin"),
        QStringLiteral("dolphin"),
    };

    /// Registers the setting's default (true) and reads the switch. Does not register with the hub: the owner
    /// calls `enableTap()` at start when the switch is on. The hub must outlive the enhancer.
    FinderEnhancer(keyhub::KeyEventHub& hub, core::Settings& settings, platform::Workspace& workspace,
                   platform::Accessibility& accessibility, core::Scheduler& scheduler, QObject* parent = nullptr);
    ~FinderEnhancer() override;

    bool backspaceDeletes() const { return backspaceDeletes_; }
    /// Every write stores the value, then registers (on) or unregisters (off) the handler.
    void setBackspaceDeletes(bool value);

    /// Registers the handler with the hub unless it already is.
    void enableTap();
    /// Unregisters the handler if it is registered.
    void disableTap();
    bool isTapEnabled() const { return !hubToken_.isNull(); }

Q_SIGNALS:
    void backspaceDeletesChanged();

private:
    platform::EventResult handle(platform::EventType type, const platform::Event& event);
    bool isEditingText();
    bool queryIsEditingText();

    keyhub::KeyEventHub& hub_;
    core::Settings& settings_;
    platform::Workspace& workspace_;
    platform::Accessibility& accessibility_;
    core::Scheduler& scheduler_;
    bool backspaceDeletes_ = true;
    QUuid hubToken_;
    struct CachedAnswer {
        bool editing = false;
        double time = 0; // scheduler seconds
    };
    std::optional<CachedAnswer> editingCache_;
};

} // namespace tillory::keys
