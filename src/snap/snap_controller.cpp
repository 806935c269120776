#include "snap/snap_controller.h"

#include "keyhub/key_event_hub.h"

#include <QPointer>
#include <QVariantMap>

#include <cmath>
#include <tuple>

namespace tillory::snap {
namespace {

using platform::Event;
using platform::eventMaskBit;
using platform::EventType;

constexpr std::uint64_t kMouseMask = eventMaskBit(EventType::LeftMouseDown) | eventMaskBit(EventType::LeftMouseUp) |
                                     eventMaskBit(EventType::LeftMouseDragged);
// Windows whose delayed second frame is still pending; beyond this the memory starts afresh.
constexpr std::size_t kMaxPendingPlacements = 32;

double distance(Point a, Point b) {
    return std::hypot(a.x - b.x, a.y - b.y);
}

QRectF toQRect(const Rect& r) {
    return {r.x, r.y, r.width, r.height};
}

} // namespace

SnapController::SnapController(const platform::Platform& platform, keyhub::KeyEventHub& hub, core::Scheduler& scheduler,
                               SnapPanelFactory* panels, std::int32_t ownPid, QObject* parent)
    : QObject(parent), platform_(platform), hub_(hub), scheduler_(scheduler), panels_(panels),
      geometry_(*platform.screens, *platform.windowList),
      access_(*platform.accessibility, *platform.windowList, *platform.workspace, geometry_, ownPid),
      layouts_(SnapLayouts::all()) {
    hasAccessibility_ = platform_.accessibility->isTrusted();
    QPointer<SnapController> self(this);
    screensWatch_ = platform_.screens->observeChanges([self] {
        if (self) {
            self->screensChanged();
        }
    });
}

SnapController::~SnapController() {
    *alive_ = false;
    if (hubToken_) {
        hub_.unregister(*hubToken_);
    }
}

void SnapController::enable() {
    wantsEnabled_ = true;
    if (hubToken_ && (mouseTap_ || !dragsObservable())) {
        return;
    }
    if (!hubToken_) {
        setHasAccessibility(platform_.accessibility->isTrustedPrompting());
        if (!hasAccessibility_) {
            startPermissionWatch();
            return;
        }
        QPointer<SnapController> self(this);
        auto handler = [self](EventType type, const Event& event) -> platform::EventResult {
            if (self && self->handle(type, event)) {
                return std::nullopt;
            }
            return event;
        };
        using namespace platform::EventFlags;
        std::vector<platform::KeyTrigger> triggers;
        for (int code : {platform::KeyCode::Z, platform::KeyCode::LeftArrow, platform::KeyCode::RightArrow,
                         platform::KeyCode::DownArrow, platform::KeyCode::UpArrow}) {
            triggers.push_back({code, Control | Option, false, {}});
            triggers.push_back({code, Control | Option | Shift, false, {}});
        }
        hubToken_ = hub_.registerHandler(handler, std::move(triggers));
    }
    ensureMouseTap();
    // A tap that could not be made is tried again while trust holds; where drags are never shown, it is not.
    if (!mouseTap_ && dragsObservable()) {
        startPermissionWatch();
    }
}

void SnapController::disable() {
    wantsEnabled_ = false;
    permissionTimer_.reset();
    cancel();
    hideDragOverlay();
    clearDragTracking();
    dragPhase_ = DragPhase::Idle;
    suppressMouseUp_ = false;
    lastClickStamp_.reset();
    lastPressHit_.reset();
    settleTimer_.reset();
    secondApplications_.clear();
    if (panel_ && !isActive_) {
        panel_->orderOut();
    }
    tearDownMouseTap();
    if (hubToken_) {
        hub_.unregister(*hubToken_);
        hubToken_.reset();
    }
}

void SnapController::startPermissionWatch() {
    if (permissionTimer_) {
        return;
    }
    QPointer<SnapController> self(this);
    permissionTimer_ = scheduler_.every(kPermissionWatchInterval, [self] {
        if (!self) {
            return;
        }
        self->recheckPermission();
        if ((self->hubToken_ && (self->mouseTap_ || !self->dragsObservable())) || !self->wantsEnabled_) {
            self->permissionTimer_.reset();
        }
    });
}

void SnapController::recheckPermission() {
    setHasAccessibility(platform_.accessibility->isTrusted());
    if (wantsEnabled_) {
        if (hasAccessibility_ && !hubToken_) {
            enable();
        }
        if (platform_.accessibility->isTrusted() && !mouseTap_) {
            ensureMouseTap();
        }
    }
    if (hub_.isInUse() && !hub_.hasTap()) {
        hub_.ensureTap();
    }
}

void SnapController::ensureMouseTap() {
    if (mouseTap_ || !dragsObservable() || !platform_.accessibility->isTrusted()) {
        return;
    }
    QPointer<SnapController> self(this);
    mouseTap_ = platform_.eventTaps->createTap(kMouseMask, [self](EventType type, const Event& event) {
        if (self && !self->mouseDispatch(type, event)) {
            return platform::EventResult{};
        }
        return platform::EventResult{event};
    });
    if (mouseTap_) {
        mouseTap_->setEnabled(true);
    }
}

void SnapController::tearDownMouseTap() {
    if (mouseTap_) {
        mouseTap_->setEnabled(false);
        mouseTap_.reset();
    }
}

void SnapController::makePanel() {
    releaseTimer_.reset();
    if (!panel_ && panels_) {
        panel_ = panels_->create();
    }
}

void SnapController::showPanel(const ScreenInfo& screen, bool takesClicks) {
    // Made when first shown and let go a while after it hides: snapping that is not in use holds no window or
    // scene.
    makePanel();
    if (!panel_) {
        return;
    }
    panel_->setIgnoresMouseEvents(!takesClicks);
    panel_->setFrame(screen.frame);
    panel_->orderFrontRegardless();
}

void SnapController::orderOutUnlessActive() {
    if (panel_ && !isActive_) {
        panel_->orderOut();
        QPointer<SnapController> self(this);
        releaseTimer_ = scheduler_.after(kReleaseDelay, [self] {
            if (self && !self->isActive_ && !self->dragVisible_) {
                self->releaseTimer_.reset();
                self->panel_.reset();
            }
        });
    }
}

void SnapController::screensChanged() {
    // The picker and Snap Assist cover their display; once it is gone there is nothing left to pick on.
    if (isActive_ && targetScreen_ && !geometry_.stillAttached(*targetScreen_)) {
        cancel();
    }
}

bool SnapController::mouseDispatch(EventType type, const Event& event) {
    if (type == EventType::TapDisabledByTimeout || type == EventType::TapDisabledByUserInput) {
        if (mouseTap_) {
            mouseTap_->setEnabled(true);
        }
        return true;
    }
    if (isActive_) {
        return true;
    }
    const Point p = event.location;
    switch (type) {
    case EventType::LeftMouseDragged:
        if (suppressMouseUp_) {
            return false;
        }
        handleDrag(p);
        return true;
    case EventType::LeftMouseUp:
        if (suppressMouseUp_) {
            suppressMouseUp_ = false;
            dragPhase_ = DragPhase::Idle;
            clearDragTracking();
            return false;
        }
        handleDrop();
        return true;
    case EventType::LeftMouseDown:
        handlePress(p, event.clickState);
        return !suppressMouseUp_;
    default:
        return true;
    }
}

void SnapController::handlePress(Point p, std::int64_t clicks) {
    // A release that never came must not leave the overlay up or swallow this press's release.
    suppressMouseUp_ = false;
    settleTimer_.reset();
    if (dragVisible_) {
        hideDragOverlay();
        orderOutUnlessActive();
    }
    const double now = scheduler_.now();
    const bool doubleClick =
        clicks == 2 || (lastClickStamp_ && now - lastClickStamp_->time <= platform_.screens->doubleClickInterval() &&
                        distance(lastClickStamp_->point, p) < kDoubleClickDistance);
    if (doubleClick && handleTitleDoubleClick(p)) {
        return;
    }
    lastClickStamp_ = Stamp{now, p};
    dragPhase_ = DragPhase::Idle;
    downPoint_ = p;
    clearDragTracking();
    const bool swallows = !mouseTap_ || mouseTap_->swallowsEvents();
    lastPressHit_ = swallows ? std::nullopt : access_.topmostWindow(p);
}

void SnapController::handleDrag(Point p) {
    switch (dragPhase_) {
    case DragPhase::Idle: {
        if (distance(downPoint_, p) <= kDragSlop) {
            return;
        }
        const auto pid = access_.frontPid();
        const Element window = pid ? access_.focusedAXWindow(*pid) : nullptr;
        if (!window) {
            dragPhase_ = DragPhase::Ignored;
            return;
        }
        dragPID_ = *pid;
        dragWindow_ = window;
        const auto frame = access_.currentFrame(window);
        dragBaseline_ = frame ? *frame : Rect{};
        dragPhase_ = DragPhase::Watching;
        return;
    }
    case DragPhase::Watching: {
        const auto frame = access_.currentFrame(dragWindow_);
        if (!frame) {
            dragPhase_ = DragPhase::Ignored;
            return;
        }
        const bool moved = std::abs(frame->x - dragBaseline_.x) > kMoveThreshold ||
                           std::abs(frame->y - dragBaseline_.y) > kMoveThreshold;
        if (!moved) {
            return;
        }
        // A window dragged by its left or top edge moves too, but it changes size: that is a resize.
        const bool resized = std::abs(frame->width - dragBaseline_.width) > kMoveThreshold ||
                             std::abs(frame->height - dragBaseline_.height) > kMoveThreshold;
        if (resized) {
            dragPhase_ = DragPhase::Ignored;
            return;
        }
        dragWindowID_ = access_.windowNumber(dragWindow_);
        dragPhase_ = DragPhase::Dragging;
        updateDragOverlay(p);
        return;
    }
    case DragPhase::Dragging:
        updateDragOverlay(p);
        return;
    case DragPhase::Ignored:
        return;
    }
}

void SnapController::rebuildBarGeometry(const ScreenInfo& screen) {
    setBarGeometry(SnapBarGeometry{layouts_, screen.frame.size(), geometry_.localWorkArea(screen)});
}

void SnapController::updateDragOverlay(Point p) {
    const auto screen = geometry_.screen(p);
    if (!screen) {
        hideDragOverlay();
        return;
    }
    const bool screenChanged = targetScreen_ != screen;
    if (screenChanged || !barGeometry_) {
        targetScreen_ = screen;
        rebuildBarGeometry(*screen);
        // The overlay follows the pointer onto another display.
        if (dragVisible_ && panel_) {
            panel_->setFrame(screen->frame);
        }
    }
    const Point q = geometry_.toLocal(p, *screen);
    const DragTarget target = dragTarget(q, *barGeometry_);
    const auto before = std::tuple(dragVisible_, dragBarVisible_, dragHoverLayout_, dragHoverZone_, dragPreview_);
    const Rect& work = barGeometry_->workArea;
    switch (target.kind) {
    case DragTarget::Kind::Bar: {
        const Rect& unit =
            layouts_[static_cast<std::size_t>(target.layout)].zones[static_cast<std::size_t>(target.zone)].unit;
        dragBarVisible_ = true;
        dragHoverLayout_ = target.layout;
        dragHoverZone_ = target.zone;
        dragPreview_ = mapUnit(unit, work);
        pendingUnit_ = unit;
        pendingBar_ = std::pair{target.layout, target.zone};
        break;
    }
    case DragTarget::Kind::Unit:
        dragBarVisible_ = false;
        dragHoverLayout_.reset();
        dragHoverZone_.reset();
        dragPreview_ = mapUnit(target.unit, work);
        pendingUnit_ = target.unit;
        pendingBar_.reset();
        break;
    case DragTarget::Kind::BarGap:
        dragBarVisible_ = true;
        dragHoverLayout_.reset();
        dragHoverZone_.reset();
        dragPreview_ = Rect{};
        pendingUnit_.reset();
        pendingBar_.reset();
        break;
    case DragTarget::Kind::None:
        hideDragOverlay();
        return;
    }
    const bool appearing = !dragVisible_;
    dragVisible_ = true;
    // Most motions stay over the same target: the views redraw only for a change.
    if (before != std::tuple(dragVisible_, dragBarVisible_, dragHoverLayout_, dragHoverZone_, dragPreview_)) {
        Q_EMIT dragChanged();
    }
    if (appearing) {
        showPanel(*screen, false);
    }
}

void SnapController::hideDragOverlay() {
    const bool changed =
        dragVisible_ || dragBarVisible_ || dragHoverLayout_ || dragHoverZone_ || !(dragPreview_ == Rect{});
    dragVisible_ = false;
    dragBarVisible_ = false;
    dragHoverLayout_.reset();
    dragHoverZone_.reset();
    dragPreview_ = Rect{};
    pendingUnit_.reset();
    pendingBar_.reset();
    if (changed) {
        Q_EMIT dragChanged();
    }
}

void SnapController::clearDragTracking() {
    dragWindow_.reset();
    dragWindowID_ = 0;
    dragPID_ = 0;
    pendingUnit_.reset();
    pendingBar_.reset();
}

void SnapController::handleDrop() {
    if (dragPhase_ != DragPhase::Dragging) {
        clearDragTracking();
        dragPhase_ = DragPhase::Idle;
        return;
    }
    dragPhase_ = DragPhase::Idle;
    const auto unit = pendingUnit_;
    const auto bar = pendingBar_;
    const Element window = dragWindow_;
    const auto screen = targetScreen_;
    const std::uint32_t windowID = dragWindowID_;
    const std::int32_t pid = dragPID_;
    hideDragOverlay();
    if (!unit || !window || !screen) {
        clearDragTracking();
        orderOutUnlessActive();
        return;
    }
    placeTwice(geometry_.rect(*unit, *screen), *screen, window, windowID);
    if (bar && layouts_[static_cast<std::size_t>(bar->first)].zones.size() >= 2) {
        beginAssist(bar->first, bar->second, windowID, pid, *screen);
        return;
    }
    clearDragTracking();
    orderOutUnlessActive();
}

void SnapController::placeTwice(const Rect& frame, const ScreenInfo& screen, const Element& window,
                                std::uint32_t windowID) {
    access_.setFrame(frame, screen, window);
    if (secondApplications_.size() >= kMaxPendingPlacements) {
        secondApplications_.clear();
    }
    QPointer<SnapController> self(this);
    // Replacing the entry cancels an older placement's second write, which would undo this one.
    secondApplications_[windowID] = scheduler_.after(kSecondApplicationDelay, [self, frame, screen, window] {
        if (self) {
            self->access_.setFrame(frame, screen, window);
        }
    });
}

void SnapController::placeOnce(const Rect& frame, const ScreenInfo& screen, const Element& window) {
    secondApplications_.erase(access_.windowNumber(window));
    access_.setFrame(frame, screen, window);
}

QVariantList SnapController::layoutRows() const {
    QVariantList rows;
    for (const SnapLayout& layout : layouts_) {
        QVariantList zones;
        for (const SnapZone& zone : layout.zones) {
            zones.push_back(toQRect(zone.unit));
        }
        rows.push_back(QVariantMap{{QStringLiteral("name"), layout.name},
                                   {QStringLiteral("symbol"), layout.symbol},
                                   {QStringLiteral("zones"), zones}});
    }
    return rows;
}

QVariantMap SnapController::barGeometryMap() const {
    if (!barGeometry_) {
        return {};
    }
    QVariantList cards;
    for (int i = 0; i < static_cast<int>(barGeometry_->layouts.size()); ++i) {
        QVariantList zones;
        for (int j = 0; j < static_cast<int>(barGeometry_->layouts[static_cast<std::size_t>(i)].zones.size()); ++j) {
            zones.push_back(toQRect(barGeometry_->zoneRect(i, j)));
        }
        cards.push_back(QVariantMap{{QStringLiteral("rect"), toQRect(barGeometry_->cardRect(i))},
                                    {QStringLiteral("zones"), zones}});
    }
    return {{QStringLiteral("barRect"), toQRect(barGeometry_->barRect())}, {QStringLiteral("cards"), cards}};
}

QVariantList SnapController::filledZoneList() const {
    QVariantList list;
    for (int zone : filledZones_) {
        list.push_back(zone);
    }
    return list;
}

void SnapController::setActive(bool active) {
    if (isActive_ != active) {
        isActive_ = active;
        Q_EMIT isActiveChanged();
    }
}

void SnapController::setMode(Mode mode) {
    if (mode_ != mode) {
        mode_ = mode;
        Q_EMIT modeChanged();
    }
}

void SnapController::setHasAccessibility(bool has) {
    if (hasAccessibility_ != has) {
        hasAccessibility_ = has;
        Q_EMIT hasAccessibilityChanged();
    }
}

void SnapController::setSelection(int layout, int zone) {
    if (focusedLayout_ != layout || focusedZone_ != zone) {
        focusedLayout_ = layout;
        focusedZone_ = zone;
        Q_EMIT selectionChanged();
    }
}

void SnapController::setBarGeometry(std::optional<SnapBarGeometry> geometry) {
    barGeometry_ = std::move(geometry);
    Q_EMIT barGeometryChanged();
}

} // namespace tillory::snap
