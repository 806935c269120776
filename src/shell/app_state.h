#pragma once

#include "platform/api/platform.h"

#include <QObject>

#include <memory>

namespace tillory::core {
class Scheduler;
class SerialQueue;
class Settings;
} // namespace tillory::core

namespace tillory::clipboard {
class ClipboardManager;
class ClipboardPaletteController;
class HistoryStore;
class PalettePanelFactory;
} // namespace tillory::clipboard

namespace tillory::switcher {
class SwitcherPanelFactory;
class WindowSwitcherEngine;
} // namespace tillory::switcher

namespace tillory::snap {
class SnapController;
class SnapPanelFactory;
} // namespace tillory::snap

namespace tillory::notch {
class NotchController;
class NotchPanelFactory;
} // namespace tillory::notch

namespace tillory::monitor {
class SystemMonitor;
}

namespace tillory::keys {
class CleanerPanelFactory;
class FinderEnhancer;
class KeyboardCleanerController;
} // namespace tillory::keys

namespace tillory::keyhub {
class KeyEventHub;
} // namespace tillory::keyhub

namespace tillory::shell {

class UpdateChecker;

/// The one owner of every feature controller and of the feature switches. Constructed: objects exist, nothing
/// runs. Started: polls, taps and loops run. There is no stop phase. Main thread.
class AppState : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool launchAtLogin READ launchAtLogin WRITE setLaunchAtLogin NOTIFY launchAtLoginChanged)
    Q_PROPERTY(bool switcherEnabled READ switcherEnabled WRITE setSwitcherEnabled NOTIFY switcherEnabledChanged)
    Q_PROPERTY(bool notchEnabled READ notchEnabled WRITE setNotchEnabled NOTIFY notchEnabledChanged)
    Q_PROPERTY(bool snapEnabled READ snapEnabled WRITE setSnapEnabled NOTIFY snapEnabledChanged)

public:
    static inline const QString kTccutil = QStringLiteral("/usr/bin/tccutil");

    struct Services {
        platform::Platform platform;
        core::Settings* settings = nullptr;
        core::Scheduler* scheduler = nullptr;
        core::SerialQueue* clipboardQueue = nullptr;
        /// Where the system monitor samples; without it (or without counters) there is no monitor.
        core::SerialQueue* samplingQueue = nullptr;
        std::shared_ptr<const clipboard::HistoryStore> historyStore;
        keyhub::KeyEventHub* hub = nullptr;
        clipboard::PalettePanelFactory* palettePanels = nullptr;
        keys::CleanerPanelFactory* cleanerPanels = nullptr;
        /// May be null: the switcher then switches without showing a panel.
        switcher::SwitcherPanelFactory* switcherPanels = nullptr;
        /// May be null: snapping then works without showing anything.
        snap::SnapPanelFactory* snapPanels = nullptr;
        /// May be null: the notch then plays and flashes notices without showing anything.
        notch::NotchPanelFactory* notchPanels = nullptr;
        /// This build's version, which the update checker compares the feed's with; empty when unknown.
        QString runningVersion;
    };

    explicit AppState(Services services, QObject* parent = nullptr);
    ~AppState() override;

    /// Starts every feature, once, in the fixed order.
    void start();

    switcher::WindowSwitcherEngine& switcher() { return *switcher_; }
    snap::SnapController& snap() { return *snap_; }
    notch::NotchController& notch() { return *notch_; }
    clipboard::ClipboardManager& clipboard() { return *clipboard_; }
    /// Created on first use, which `start()` makes.
    clipboard::ClipboardPaletteController& clipboardPalette();
    keys::FinderEnhancer& finder() { return *finder_; }
    keys::KeyboardCleanerController& keyboardCleaner() { return *keyboardCleaner_; }
    /// Null on a platform that cannot read the machine's counters.
    monitor::SystemMonitor* monitor() { return monitor_.get(); }
    keyhub::KeyEventHub& hub() { return *services_.hub; }
    UpdateChecker& updates() { return *updates_; }

    bool launchAtLogin() const { return launchAtLogin_; }
    /// Registers or unregisters the login item; the switch always ends showing the real registration state.
    void setLaunchAtLogin(bool value);

    // The three switches are stored and read here; once started, each feature's controller that exists applies
    // its own at once.
    bool switcherEnabled() const { return switcherEnabled_; }
    void setSwitcherEnabled(bool value);
    bool notchEnabled() const { return notchEnabled_; }
    void setNotchEnabled(bool value);
    bool snapEnabled() const { return snapEnabled_; }
    void setSnapEnabled(bool value);

    /// Asks the system to forget the accessibility grant, then prompts for it again.
    void resetAccessibilityPermission();

Q_SIGNALS:
    void launchAtLoginChanged();
    void switcherEnabledChanged();
    void notchEnabledChanged();
    void snapEnabledChanged();

private:
    void applySwitcher();
    void applySnap();
    void applyNotch();
    void setSwitch(bool& field, bool value, const QString& key, void (AppState::*changed)());

    Services services_;
    std::unique_ptr<switcher::WindowSwitcherEngine> switcher_;
    std::unique_ptr<snap::SnapController> snap_;
    std::unique_ptr<notch::NotchController> notch_;
    std::unique_ptr<clipboard::ClipboardManager> clipboard_;
    std::unique_ptr<clipboard::ClipboardPaletteController> clipboardPalette_;
    std::unique_ptr<keys::FinderEnhancer> finder_;
    std::unique_ptr<keys::KeyboardCleanerController> keyboardCleaner_;
    std::unique_ptr<monitor::SystemMonitor> monitor_;
    std::unique_ptr<UpdateChecker> updates_;
    bool launchAtLogin_ = false;
    bool switcherEnabled_ = true;
    bool notchEnabled_ = true;
    bool snapEnabled_ = true;
    bool started_ = false;
};

} // namespace tillory::shell
