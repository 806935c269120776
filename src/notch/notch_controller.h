#pragma once

#include "core/scheduler.h"
#include "notch/battery_watcher.h"
#include "notch/media_controller.h"
#include "notch/notch_panel.h"
#include "notch/now_playing.h"
#include "platform/api/platform.h"

#include <QObject>
#include <QRectF>
#include <QSizeF>

#include <memory>
#include <optional>
#include <vector>

namespace tillory::core {
class Settings;
}

namespace tillory::notch {

/// Where the notch player sits on one display (screen space, y up).
struct NotchGeometry {
    /// 0 × 0 when the display does not tell the strips beside its notch.
    platform::Size notch;
    double bareWidth = 4;
    double wingExtraEach = 10;
    platform::Rect panelFrame;
    platform::Rect collapsedIsland;
    platform::Rect expandedIsland;
    friend bool operator==(const NotchGeometry&, const NotchGeometry&) = default;
};

/// The first display with a notch (a top safe-area inset); nothing when none has one.
std::optional<platform::ScreenInfo> notchDisplay(const std::vector<platform::ScreenInfo>& screens);
NotchGeometry notchGeometry(const platform::ScreenInfo& display);

/// Puts the notch player on screen: keeps the panel around the notch, expands and collapses the island on hover
/// (told by the panel where it hears the pointer over the island itself; elsewhere checked as the pointer moves, at
/// most once per near-poll interval, and every near-poll interval while the card is open; polled throughout only
/// where the platform reports no movements; not while the left button is held, nor within a double-click interval
/// of a press the window below received) and on a click on the strip that the click tap kept to itself, flashes
/// notices, and runs the media polling and the battery watcher while enabled. The view binds to the properties below. Main thread.
class NotchController : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isExpanded READ isExpanded NOTIFY isExpandedChanged)
    Q_PROPERTY(bool hasHud READ hasHud NOTIFY hudChanged)
    Q_PROPERTY(QString hudSymbol READ hudSymbol NOTIFY hudChanged)
    Q_PROPERTY(QString hudLabel READ hudLabel NOTIFY hudChanged)
    /// The island in the panel, top-left origin; empty without a notched display.
    Q_PROPERTY(QRectF islandRect READ islandRectInPanel NOTIFY geometryChanged)
    Q_PROPERTY(QSizeF notchSize READ notchSizeF NOTIFY geometryChanged)
    Q_PROPERTY(double bareWidth READ bareWidth NOTIFY geometryChanged)
    Q_PROPERTY(double wingExtraEach READ wingExtraEach NOTIFY geometryChanged)
    Q_PROPERTY(QObject* media READ mediaObject CONSTANT)

public:
    static constexpr double kFarPollInterval = 0.18;
    static constexpr double kNearPollInterval = 0.05;
    /// How far below the island the pointer counts as near.
    static constexpr double kNearDistance = 80;
    static constexpr double kCollapseDelay = 0.35;
    static constexpr double kHudDuration = 1.3;

    /// `panels` may be null: the notch then runs (media, notices) without showing anything.
    NotchController(const platform::Platform& platform, core::Settings& settings, core::Scheduler& scheduler,
                    NotchPanelFactory* panels, QObject* parent = nullptr);
    ~NotchController() override;

    // Lifecycle; each safe to call twice.
    void enable();
    void disable();

    /// Re-places the panel for the current displays.
    void updateFrame();
    /// The single entry for expanding (inside) and collapsing (outside, after a delay).
    void hoverChanged(bool inside);
    void flashHUD(const TransportHUD& notice);
    /// The click tap's dispatch: true lets the event through.
    bool handleStripClick(platform::EventType type, const platform::Event& event);

    // Published state.
    bool isExpanded() const { return isExpanded_; }
    const std::optional<TransportHUD>& hud() const { return hud_; }
    bool hasHud() const { return hud_.has_value(); }
    QString hudSymbol() const { return hud_ ? hud_->symbol : QString(); }
    QString hudLabel() const { return hud_ ? hud_->label : QString(); }
    MediaController& media() { return *media_; }
    QObject* mediaObject() const { return media_.get(); }
    /// Null where the platform cannot read power sources.
    BatteryWatcher* battery() { return battery_.get(); }

    // Geometry for the current displays.
    platform::Size notchSize() const;
    QSizeF notchSizeF() const;
    double bareWidth() const;
    double wingExtraEach() const;
    /// The collapsed or the expanded island (screen space); nothing without a notched display.
    std::optional<platform::Rect> islandRect() const;
    QRectF islandRectInPanel() const;

    // State the lifecycle and the tests look at.
    bool isEnabled() const { return enabled_; }
    bool hasPanel() const { return panel_ != nullptr; }
    bool hasClickTap() const { return clickTap_ != nullptr; }
    bool hoverFromPanel() const { return hoverFromPanel_; }
    bool isPolling() const { return hoverTimer_ != nullptr; }
    double hoverInterval() const { return hoverInterval_; }
    bool pointerInside() const { return pointerInside_; }

Q_SIGNALS:
    void isExpandedChanged();
    void hudChanged();
    void geometryChanged();

private:
    std::optional<platform::ScreenInfo> target() const;
    void scheduleHoverTimer(double interval);
    void pollPointer();
    /// The pointer moved (or may now be somewhere new to the island): looks at it shortly, once for a run of calls.
    void pointerMoved();
    void setExpanded(bool expanded);
    /// Tells a panel that hears hover itself where the island now is.
    void updateHoverArea();
    void setHud(std::optional<TransportHUD> hud);
    /// Drops a pending collapse and the pointer state, and collapses at once.
    void collapseNow();

    platform::Platform platform_;
    core::Scheduler& scheduler_;
    NotchPanelFactory* panels_;

    bool isExpanded_ = false;
    std::unique_ptr<MediaController> media_;
    std::unique_ptr<NotchPanel> panel_;
    core::TimerPtr collapseWorkItem_;
    platform::SubscriptionPtr screenObserver_;
    core::TimerPtr hoverTimer_;
    bool pointerInside_ = false;
    /// The left button is down (as the click tap saw it): hovering does not expand meanwhile.
    bool buttonHeld_ = false;
    /// Scheduler time until which hovering does not expand, after a press that was not the island's.
    double quietUntil_ = 0;
    std::unique_ptr<platform::EventTap> clickTap_;
    std::optional<TransportHUD> hud_;
    core::TimerPtr hudWorkItem_;
    std::unique_ptr<BatteryWatcher> battery_;
    double hoverInterval_ = kFarPollInterval;
    core::TimerPtr quietCheck_;
    bool enabled_ = false;
    /// The panel tells when the pointer enters and leaves the island: no tap, no polling.
    bool hoverFromPanel_ = false;
};

} // namespace tillory::notch
