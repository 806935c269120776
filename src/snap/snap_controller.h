#pragma once

#include "core/scheduler.h"
#include "platform/api/platform.h"
#include "snap/snap_geometry.h"
#include "snap/snap_panel.h"
#include "snap/snap_window_access.h"

#include <QObject>
#include <QRectF>
#include <QUuid>
#include <QVariantList>

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

namespace tillory::keyhub {
class KeyEventHub;
}

namespace tillory::snap {

/// One window Snap Assist offers.
struct SnapWindow {
    std::uint32_t id = 0;
    std::int32_t pid = 0;
    QString title;
    std::optional<platform::Bitmap> icon;
    std::optional<platform::Bitmap> thumbnail;
};

/// Window snapping: dragging another application's window to a screen edge, a corner or the layout bar that drops
/// from the top; Control+Option chords and the layout picker; Snap Assist after a layout snap; maximise and
/// restore by a double click on a title. The views bind to the properties below and call the invokable
/// operations. Main thread.
class SnapController : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isActive READ isActive NOTIFY isActiveChanged)
    /// 0: the picker (`Mode::Layouts`), 1: Snap Assist (`Mode::Assist`).
    Q_PROPERTY(int mode READ modeNumber NOTIFY modeChanged)
    Q_PROPERTY(bool hasAccessibility READ hasAccessibility NOTIFY hasAccessibilityChanged)
    /// One map per layout: name, symbol and zones (unit rectangles as QRectF).
    Q_PROPERTY(QVariantList layouts READ layoutRows CONSTANT)
    Q_PROPERTY(int focusedLayout READ focusedLayout NOTIFY selectionChanged)
    Q_PROPERTY(int focusedZone READ focusedZone NOTIFY selectionChanged)
    /// -1 while no layout is being filled.
    Q_PROPERTY(int activeLayout READ activeLayout NOTIFY assistChanged)
    Q_PROPERTY(QVariantList filledZones READ filledZoneList NOTIFY assistChanged)
    Q_PROPERTY(int assistZone READ assistZone NOTIFY assistChanged)
    /// One map per candidate: id, pid, title, hasIcon, hasThumbnail, imageKey (changes with the pictures).
    Q_PROPERTY(QVariantList candidates READ candidateRows NOTIFY candidatesChanged)
    Q_PROPERTY(bool dragVisible READ dragVisible NOTIFY dragChanged)
    Q_PROPERTY(bool dragBarVisible READ dragBarVisible NOTIFY dragChanged)
    Q_PROPERTY(int dragHoverLayout READ dragHoverLayout NOTIFY dragChanged)
    Q_PROPERTY(int dragHoverZone READ dragHoverZone NOTIFY dragChanged)
    /// Screen-local top-left space of the target screen; empty: no preview.
    Q_PROPERTY(QRectF dragPreview READ dragPreviewRect NOTIFY dragChanged)
    /// The bar laid out for the target screen: barRect, and cards (one list of zone rectangles per layout, each
    /// with its card rectangle); an empty map when there is none.
    Q_PROPERTY(QVariantMap barGeometry READ barGeometryMap NOTIFY barGeometryChanged)

public:
    enum class Mode { Layouts, Assist };
    enum class DragPhase { Idle, Watching, Dragging, Ignored };

    static constexpr double kPermissionWatchInterval = 2.0;
    static constexpr double kSecondApplicationDelay = 0.05;
    static constexpr double kDragSlop = 5;
    static constexpr double kMoveThreshold = 2;
    static constexpr double kDoubleClickDistance = 8;
    static constexpr std::size_t kMaxCandidates = 8;
    static constexpr std::size_t kPruneThreshold = 25;
    static constexpr double kThumbnailScale = 0.25;
    static constexpr int kIconSize = 38;
    /// Where the platform hands clicks to windows before the tap hears of them, how long after a double click
    /// the window manager gets to show it acted on the click itself.
    static constexpr double kWindowManagerSettle = 0.3;
    /// Seconds after the panel hides until it is let go.
    static constexpr double kReleaseDelay = 30.0;

    /// `panels` may be null: snapping then works without showing anything.
    SnapController(const platform::Platform& platform, keyhub::KeyEventHub& hub, core::Scheduler& scheduler,
                   SnapPanelFactory* panels, std::int32_t ownPid, QObject* parent = nullptr);
    ~SnapController() override;

    // Lifecycle; each safe to call twice.
    void enable();
    void disable();
    void recheckPermission();

    // Mouse.
    /// The mouse tap's dispatch: true lets the event through.
    bool mouseDispatch(platform::EventType type, const platform::Event& event);

    // Keyboard and the picker.
    /// The key handler: true swallows the event.
    bool handle(platform::EventType type, const platform::Event& event);
    void open();
    void moveSelection(int delta);
    /// The pointer over zone `zone` of card `layout` in the picker: the keyboard's highlight moves there, so that one
    /// zone is lit at a time.
    Q_INVOKABLE void focusZone(int layout, int zone);
    Q_INVOKABLE void commitZone(int layout, int zone);
    Q_INVOKABLE void cancel();

    // Snap Assist.
    /// `filledZone`: the zone already holding the snapped window; nothing when no window was placed.
    void beginAssist(int layout, std::optional<int> filledZone, std::uint32_t snapped, std::optional<std::int32_t> pid,
                     const ScreenInfo& screen);
    /// A click on the candidate with that window number.
    Q_INVOKABLE void fillAssist(quint32 windowID);

    // Title double-click.
    struct TopStripTarget {
        std::int32_t pid = 0;
        std::uint32_t windowID = 0;
        Element window;
        ScreenInfo screen;
    };
    std::optional<TopStripTarget> topStripTarget(Point at);
    void maximizeTopStripTarget(const TopStripTarget& target);
    /// From 25 remembered frames on, forgets those of windows that no longer exist.
    void pruneRestoreFrames();

    // Published state.
    bool isActive() const { return isActive_; }
    Mode mode() const { return mode_; }
    int modeNumber() const { return static_cast<int>(mode_); }
    bool hasAccessibility() const { return hasAccessibility_; }
    /// Whether this desktop lets windows dragged by their title bar be seen at all; where not, only the chords,
    /// the picker and Snap Assist snap.
    bool dragsObservable() const { return platform_.eventTaps && platform_.eventTaps->seesPointer(); }
    const std::vector<SnapLayout>& layouts() const { return layouts_; }
    QVariantList layoutRows() const;
    int focusedLayout() const { return focusedLayout_; }
    int focusedZone() const { return focusedZone_; }
    int activeLayout() const { return activeLayout_ ? *activeLayout_ : -1; }
    const std::set<int>& filledZones() const { return filledZones_; }
    QVariantList filledZoneList() const;
    int assistZone() const { return assistZone_; }
    const std::vector<SnapWindow>& candidates() const { return candidates_; }
    QVariantList candidateRows() const;
    /// The pictures of candidate `id`, for the view's image source.
    std::optional<platform::Bitmap> candidateThumbnail(std::uint32_t id) const;
    std::optional<platform::Bitmap> candidateIcon(std::uint32_t id) const;
    bool dragVisible() const { return dragVisible_; }
    bool dragBarVisible() const { return dragBarVisible_; }
    int dragHoverLayout() const { return dragHoverLayout_ ? *dragHoverLayout_ : -1; }
    int dragHoverZone() const { return dragHoverZone_ ? *dragHoverZone_ : -1; }
    Rect dragPreview() const { return dragPreview_; }
    QRectF dragPreviewRect() const { return {dragPreview_.x, dragPreview_.y, dragPreview_.width, dragPreview_.height}; }
    const std::optional<SnapBarGeometry>& barGeometry() const { return barGeometry_; }
    QVariantMap barGeometryMap() const;

    // State the lifecycle and the tests look at.
    DragPhase dragPhase() const { return dragPhase_; }
    bool isListening() const { return hubToken_.has_value(); }
    bool hasMouseTap() const { return mouseTap_ != nullptr; }
    bool isWaitingForPermission() const { return permissionTimer_ != nullptr; }
    bool hasPanel() const { return panel_ != nullptr; }
    bool suppressesMouseUp() const { return suppressMouseUp_; }
    const std::optional<ScreenInfo>& targetScreen() const { return targetScreen_; }
    const std::map<std::uint32_t, Rect>& restoreFrames() const { return restoreFrames_; }
    std::uint32_t targetWindowID() const { return targetWindowID_; }
    std::int32_t targetPID() const { return targetPID_; }
    SnapGeometry& geometry() { return geometry_; }
    SnapWindowAccess& access() { return access_; }

Q_SIGNALS:
    void isActiveChanged();
    void modeChanged();
    void hasAccessibilityChanged();
    void selectionChanged();
    void assistChanged();
    void candidatesChanged();
    void dragChanged();
    void barGeometryChanged();

private:
    struct Stamp {
        double time = 0;
        Point point;
    };

    void ensureMouseTap();
    void tearDownMouseTap();
    void startPermissionWatch();
    void makePanel();
    void showPanel(const ScreenInfo& screen, bool takesClicks);

    void handlePress(Point p, std::int64_t clicks);
    void handleDrag(Point p);
    void handleDrop();
    void updateDragOverlay(Point p);
    void hideDragOverlay();
    void clearDragTracking();
    void rebuildBarGeometry(const ScreenInfo& screen);
    void orderOutUnlessActive();
    void screensChanged();

    bool handleOpenPanelKey(const platform::Event& event);
    void snapFront(const Rect& unit);
    /// Gives the window its frame now and once more a moment later, unless it is placed again or snapping
    /// stops before then.
    void placeTwice(const Rect& frame, const ScreenInfo& screen, const Element& window, std::uint32_t windowID);
    /// Gives the window its frame once, cancelling a second write still pending from an earlier placement.
    void placeOnce(const Rect& frame, const ScreenInfo& screen, const Element& window);

    void loadCandidates(std::uint32_t excluding);
    void loadThumbnails();
    void storeThumbnail(std::uint64_t generation, std::uint32_t id, std::optional<platform::Bitmap> image);
    bool handleTitleDoubleClick(Point p);
    void settleTitleDoubleClick(Point p, std::uint32_t windowID, Rect frameAtClick);

    void setActive(bool active);
    void setMode(Mode mode);
    void setHasAccessibility(bool has);
    void setSelection(int layout, int zone);
    void setCandidates(std::vector<SnapWindow> candidates);
    void setBarGeometry(std::optional<SnapBarGeometry> geometry);

    platform::Platform platform_;
    keyhub::KeyEventHub& hub_;
    core::Scheduler& scheduler_;
    SnapPanelFactory* panels_;
    platform::SubscriptionPtr screensWatch_;
    SnapGeometry geometry_;
    SnapWindowAccess access_;

    bool isActive_ = false;
    Mode mode_ = Mode::Layouts;
    bool hasAccessibility_ = false;
    const std::vector<SnapLayout> layouts_;
    int focusedLayout_ = 0;
    int focusedZone_ = 0;
    std::optional<int> activeLayout_;
    std::set<int> filledZones_;
    int assistZone_ = 0;
    std::vector<SnapWindow> candidates_;
    std::uint64_t imageSerial_ = 0;
    bool dragVisible_ = false;
    bool dragBarVisible_ = false;
    std::optional<int> dragHoverLayout_;
    std::optional<int> dragHoverZone_;
    Rect dragPreview_;
    std::optional<SnapBarGeometry> barGeometry_;

    std::optional<QUuid> hubToken_;
    std::unique_ptr<SnapPanel> panel_;
    bool wantsEnabled_ = false;
    core::TimerPtr permissionTimer_;
    core::TimerPtr releaseTimer_;
    std::uint64_t thumbnailGeneration_ = 0;
    bool thumbnailTask_ = false;
    std::unique_ptr<platform::EventTap> mouseTap_;

    DragPhase dragPhase_ = DragPhase::Idle;
    Point downPoint_;
    Element dragWindow_;
    std::int32_t dragPID_ = 0;
    std::uint32_t dragWindowID_ = 0;
    Rect dragBaseline_;
    std::optional<Rect> pendingUnit_;
    std::optional<std::pair<int, int>> pendingBar_;
    bool suppressMouseUp_ = false;
    std::optional<Stamp> lastClickStamp_;
    /// Where clicks reach windows before the tap: the window under the last single press and its frame then.
    std::optional<WindowHit> lastPressHit_;
    core::TimerPtr settleTimer_;
    std::map<std::uint32_t, Rect> restoreFrames_;
    std::int32_t targetPID_ = 0;
    std::uint32_t targetWindowID_ = 0;
    std::optional<ScreenInfo> targetScreen_;
    std::map<std::uint32_t, core::TimerPtr> secondApplications_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace tillory::snap
