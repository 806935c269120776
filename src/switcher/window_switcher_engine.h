#pragma once

#include "core/scheduler.h"
#include "platform/api/platform.h"
#include "switcher/switcher_layout.h"
#include "switcher/switcher_panel.h"
#include "switcher/switcher_window.h"

#include <QObject>
#include <QPointer>
#include <QUuid>
#include <QVariantList>

#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace tillory::core {
class Settings;
}

namespace tillory::keyhub {
class KeyEventHub;
}

namespace tillory::switcher {

/// Holding ⌘ and pressing Tab shows every real window of every application, most recently used first, with live
/// thumbnails; Tab and the arrows move the highlight and letting go of ⌘ switches to it. The engine keeps the
/// catalogue, the recency of each window, the captures and the session; the view binds to its properties and
/// calls `select` for a click. Main thread.
class WindowSwitcherEngine : public QObject {
    Q_OBJECT
    /// One map per tile, in order: index, id, pid, title, appName, hasIcon, hasThumbnail and thumbnailKey (changes
    /// whenever the thumbnail does, for image caches). The pictures come from `icon`/`thumbnail`.
    Q_PROPERTY(QVariantList windows READ windowRows NOTIFY windowsChanged)
    Q_PROPERTY(int selectedIndex READ selectedIndex NOTIFY selectedIndexChanged)
    Q_PROPERTY(bool isActive READ isActive NOTIFY isActiveChanged)
    Q_PROPERTY(bool hasAccessibility READ hasAccessibility NOTIFY hasAccessibilityChanged)
    Q_PROPERTY(bool hasScreenRecording READ hasScreenRecording NOTIFY hasScreenRecordingChanged)
    /// The line under the grid: what keeps previews from being captured; empty while they can be.
    Q_PROPERTY(QString hint READ hint NOTIFY hasScreenRecordingChanged)
    Q_PROPERTY(QString hintSymbol READ hintSymbol CONSTANT)
    Q_PROPERTY(int columns READ columns NOTIFY layoutChanged)
    Q_PROPERTY(int firstVisibleRow READ firstVisibleRow NOTIFY layoutChanged)
    Q_PROPERTY(int visibleRows READ visibleRows NOTIFY layoutChanged)
    /// Rows of tiles are cut off above or below the ones shown.
    Q_PROPERTY(bool moreAbove READ moreAbove NOTIFY layoutChanged)
    Q_PROPERTY(bool moreBelow READ moreBelow NOTIFY layoutChanged)
    Q_PROPERTY(double cardWidth READ cardWidth NOTIFY layoutChanged)
    Q_PROPERTY(double cardHeight READ cardHeight NOTIFY layoutChanged)

public:
    static constexpr std::size_t kThumbnailCacheLimit = 48;
    static constexpr std::size_t kIconCacheLimit = 128;
    static constexpr double kPermissionWatchInterval = 2.0;
    /// Seconds after a session ends until the panel and the kept previews are let go: longer than the other views,
    /// since a session that has to make its panel again shows its first frame some 20 to 40 ms later.
    static constexpr double kReleaseDelay = 600.0;
    /// Pixels asked of the icon source: the tile draws icons at 36 and 28 points.
    static constexpr int kIconSize = 36;
    /// Beyond this many stamps the table drops windows that no longer exist, between sessions too.
    static constexpr std::size_t kRecencyLimit = 256;
    static inline const QString kScreenRecordingRequestedKey = QStringLiteral("didRequestScreenRecording");
    static inline const QString kHint =
        QStringLiteral("Enable Screen Recording in System Settings to see window previews");
    static inline const QString kHintSymbol = QStringLiteral("exclamationmark.triangle.fill");

    /// `panels` may be null: sessions then run without a panel.
    WindowSwitcherEngine(const platform::Platform& platform, keyhub::KeyEventHub& hub, core::Settings& settings,
                         core::Scheduler& scheduler, SwitcherPanelFactory* panels, QObject* parent = nullptr);
    ~WindowSwitcherEngine() override;

    // Lifecycle; each safe to call twice.
    void enable();
    void disable();
    /// Reads both permissions again and finishes an enable that was waiting for accessibility.
    void recheckPermission();

    // The catalogue.
    /// Every switchable window, front to back, without thumbnails.
    std::vector<SwitcherWindow> allWindows();
    /// The application's icon, cached per process.
    std::optional<platform::Bitmap> icon(std::int32_t pid, std::uint32_t window = 0);
    /// Stamps the activated application's front window, unless a window of it was last reported active.
    void noteActivation(std::int32_t pid);
    /// Stamps the window that has become the active one, when it is a real window on screen.
    void noteActiveWindow(std::uint32_t id);
    /// Starts capturing thumbnails of the session's windows.
    void loadThumbnails();

    // The session.
    /// The key handler: true when the event is consumed.
    bool handle(platform::EventType type, const platform::Event& event);
    void begin(bool forward);
    void advance(int delta);
    /// A click on tile `index`: highlight it and switch to it.
    Q_INVOKABLE void select(int index);
    void commit();
    void endSession();

    const std::vector<SwitcherWindow>& windows() const { return windows_; }
    QVariantList windowRows() const;
    int selectedIndex() const { return selectedIndex_; }
    bool isActive() const { return isActive_; }
    bool hasAccessibility() const { return hasAccessibility_; }
    bool hasScreenRecording() const { return hasScreenRecording_; }
    QString hint() const;
    /// What this desktop lacks for previews, as the capture reports it; empty when nothing is known missing.
    QString missingCapability() const;
    QString hintSymbol() const { return kHintSymbol; }
    const SwitcherLayout& layout() const { return layout_; }
    int columns() const { return layout_.columns; }
    int firstVisibleRow() const { return layout_.firstVisibleRow; }
    int visibleRows() const { return layout_.visibleRows; }
    bool moreAbove() const { return layout_.moreAbove(); }
    bool moreBelow() const { return layout_.moreBelow(); }
    double cardWidth() const { return layout_.cardWidth; }
    double cardHeight() const { return layout_.cardHeight; }

    /// The picture of tile `index`, for the view's image source; nothing when it has none.
    std::optional<platform::Bitmap> thumbnailAt(int index) const;
    std::optional<platform::Bitmap> iconAt(int index) const;

    // State the lifecycle and the tests look at.
    bool isListening() const { return hubToken_.has_value(); }
    bool isWaitingForPermission() const { return permissionTimer_ != nullptr; }
    bool hasPanel() const { return panel_ != nullptr; }
    std::size_t thumbnailCacheSize() const { return thumbnailCache_.size(); }
    bool hasCachedThumbnail(std::uint32_t id) const { return thumbnailCache_.count(id) != 0; }
    std::size_t iconCacheSize() const { return iconCache_.size(); }
    std::size_t recencyCount() const { return recency_.size(); }
    std::optional<std::uint64_t> stamp(std::uint32_t id) const;

Q_SIGNALS:
    void windowsChanged();
    /// Only tile `index`'s thumbnail changed (also announced through `windowsChanged`).
    void thumbnailChanged(int index);
    void selectedIndexChanged();
    void isActiveChanged();
    void hasAccessibilityChanged();
    void hasScreenRecordingChanged();
    void layoutChanged();

private:
    bool handleSessionKey(const platform::Event& event);
    void switchTo(const SwitcherWindow& window);
    void stampWindow(std::uint32_t id);
    void boundRecency();
    void orderByRecency(std::vector<SwitcherWindow>& list) const;
    void present();
    void storeCapture(std::uint64_t generation, std::uint32_t id, std::optional<platform::Bitmap> image);
    void trimThumbnailCache(std::optional<std::uint32_t> keep);
    void startPermissionWatch();
    void updateLayout();

    void setWindows(std::vector<SwitcherWindow> windows);
    void setSelectedIndex(int index);
    void setActive(bool active);
    void setHasAccessibility(bool value);
    void setHasScreenRecording(bool value);

    platform::Platform platform_;
    keyhub::KeyEventHub& hub_;
    core::Settings& settings_;
    core::Scheduler& scheduler_;
    SwitcherPanelFactory* panels_;

    std::vector<SwitcherWindow> windows_;
    int selectedIndex_ = 0;
    bool isActive_ = false;
    bool hasAccessibility_ = false;
    bool hasScreenRecording_ = false;
    std::optional<QUuid> hubToken_;
    std::unique_ptr<SwitcherPanel> panel_;
    core::TimerPtr releaseTimer_;
    /// Which capture task is current: a delivery of an older one only fills the cache.
    std::uint64_t thumbnailGeneration_ = 0;
    std::map<std::uint32_t, platform::Bitmap> thumbnailCache_;
    core::TimerPtr permissionTimer_;
    bool wantsEnabled_ = false;
    std::unordered_map<std::uint32_t, std::uint64_t> recency_;
    std::uint64_t recencyCounter_ = 0;
    /// The process of the window last stamped as the active one, until an activation or a switch.
    std::optional<std::int32_t> activePid_;
    platform::SubscriptionPtr activationObserver_;
    platform::SubscriptionPtr activeWindowObserver_;
    std::unordered_map<std::int32_t, platform::Bitmap> iconCache_;
    std::unordered_set<std::uint64_t> iconMisses_; // process and window number of windows that had no icon

    std::unordered_map<std::uint32_t, int> thumbnailRevisions_;
    int thumbnailSerial_ = 0;
    platform::Size displaySize_;
    SwitcherLayout layout_;
};

} // namespace tillory::switcher
