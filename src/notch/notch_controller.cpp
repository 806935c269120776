#include "notch/notch_controller.h"

#include <QPointer>

#include <algorithm>

namespace tillory::notch {
namespace {

using platform::Event;
using platform::EventType;
using platform::Rect;
using platform::ScreenInfo;

// Releases too: hovering must know when the button is held. Movements drive the hover checks, so nothing runs
// while the pointer rests.
constexpr std::uint64_t kPointerMask = platform::eventMaskBit(EventType::LeftMouseDown) |
                                       platform::eventMaskBit(EventType::LeftMouseUp) |
                                       platform::eventMaskBit(EventType::MouseMoved);
constexpr double kPanelWidth = 476;
constexpr double kExpandedWidth = 440;
// Below the notch: the gap, the card and the notice capsule.
constexpr double kGap = 8;
constexpr double kCardHeight = 104;
constexpr double kCapsuleHeight = 36;

} // namespace

std::optional<ScreenInfo> notchDisplay(const std::vector<ScreenInfo>& screens) {
    const auto found =
        std::find_if(screens.begin(), screens.end(), [](const ScreenInfo& s) { return s.safeAreaTop > 0; });
    return found == screens.end() ? std::nullopt : std::optional(*found);
}

NotchGeometry notchGeometry(const ScreenInfo& display) {
    NotchGeometry g;
    const Rect& f = display.frame;
    if (display.auxiliaryTopLeftArea && display.auxiliaryTopRightArea) {
        g.notch = {f.width - display.auxiliaryTopLeftArea->width - display.auxiliaryTopRightArea->width,
                   display.safeAreaTop};
        g.bareWidth = g.notch.width + 4;
        g.wingExtraEach = 10 + std::max(g.notch.height - 12, 0.0);
    }
    const double top = f.maxY();
    const double middle = f.midX();
    const double panelHeight = g.notch.height + kGap + kCardHeight + kCapsuleHeight;
    g.panelFrame = {middle - kPanelWidth / 2, top - panelHeight, kPanelWidth, panelHeight};
    const double collapsedWidth = g.bareWidth + 2 * g.wingExtraEach;
    g.collapsedIsland = {middle - collapsedWidth / 2, top - g.notch.height, collapsedWidth, g.notch.height};
    const double expandedHeight = g.notch.height + kGap + kCardHeight;
    g.expandedIsland = {middle - kExpandedWidth / 2, top - expandedHeight, kExpandedWidth, expandedHeight};
    return g;
}

NotchController::NotchController(const platform::Platform& platform, core::Settings& settings,
                                 core::Scheduler& scheduler, NotchPanelFactory* panels, QObject* parent)
    : QObject(parent), platform_(platform), scheduler_(scheduler), panels_(panels),
      media_(std::make_unique<MediaController>(platform, settings, scheduler)) {
    if (platform.powerSources) {
        battery_ = std::make_unique<BatteryWatcher>(*platform.powerSources, scheduler);
        connect(battery_.get(), &BatteryWatcher::batteryEvent, this, &NotchController::flashHUD);
    }
    connect(media_.get(), &MediaController::transportEvent, this, &NotchController::flashHUD);
}

NotchController::~NotchController() = default;

void NotchController::enable() {
    if (enabled_) {
        return;
    }
    enabled_ = true;
    if (panels_) {
        panel_ = panels_->create();
    }
    if (panel_) {
        panel_->setIgnoresMouseEvents(true);
    }
    hoverFromPanel_ = panel_ && panel_->tellsHover();
    // Shown only where a notched display is: updateFrame orders it front.
    updateFrame();
    if (!media_->hasTimer()) {
        media_->poll();
        media_->scheduleTimer();
    }
    if (battery_) {
        battery_->start();
    }
    if (platform_.screens) {
        QPointer<NotchController> self(this);
        screenObserver_ = platform_.screens->observeChanges([self] {
            if (self) {
                self->updateFrame();
            }
        });
    }
    if (hoverFromPanel_) {
        return; // updateFrame gave the panel the island's area
    }
    if (platform_.eventTaps) {
        QPointer<NotchController> self(this);
        clickTap_ = platform_.eventTaps->createTap(kPointerMask, [self](EventType type, const Event& event) {
            if (self && !self->handleStripClick(type, event)) {
                return platform::EventResult{};
            }
            return platform::EventResult{event};
        });
        if (clickTap_) {
            clickTap_->setEnabled(true);
        }
    }
    if (clickTap_) {
        pointerMoved(); // the pointer may rest on the strip already
    } else {
        scheduleHoverTimer(kFarPollInterval); // no movements to follow: poll
    }
}

void NotchController::disable() {
    collapseWorkItem_.reset();
    screenObserver_.reset();
    hoverTimer_.reset();
    quietCheck_.reset();
    hoverInterval_ = kFarPollInterval;
    hoverFromPanel_ = false;
    pointerInside_ = false;
    buttonHeld_ = false;
    quietUntil_ = 0;
    // A notice left standing would show, never cleared, at the next enable.
    hudWorkItem_.reset();
    setHud(std::nullopt);
    if (clickTap_) {
        clickTap_->setEnabled(false);
        clickTap_.reset();
    }
    media_->stopPolling();
    if (battery_) {
        battery_->stop();
    }
    if (panel_) {
        panel_->orderOut();
        panel_.reset();
    }
    enabled_ = false;
    setExpanded(false);
}

void NotchController::updateFrame() {
    Q_EMIT geometryChanged();
    if (!enabled_) {
        return;
    }
    const auto display = target();
    if (!display) {
        if (panel_) {
            panel_->orderOut();
        }
        // An open card with nothing to show it on would keep the fast polling going.
        collapseNow();
        if (!clickTap_ && hoverTimer_ && hoverInterval_ != kFarPollInterval) {
            scheduleHoverTimer(kFarPollInterval);
        }
        return;
    }
    if (!panel_) {
        return;
    }
    panel_->setFrame(notchGeometry(*display).panelFrame);
    updateHoverArea();
    if (!panel_->isVisible()) {
        panel_->orderFrontRegardless();
    }
    if (clickTap_) {
        pointerMoved(); // the strip may have come to the pointer
    }
}

void NotchController::updateHoverArea() {
    if (!hoverFromPanel_ || !panel_) {
        return;
    }
    const QRectF area = islandRectInPanel();
    QPointer<NotchController> self(this);
    panel_->setHoverArea({area.x(), area.y(), area.width(), area.height()}, [self](bool inside) {
        if (self && self->enabled_ && inside != self->pointerInside_) {
            self->pointerInside_ = inside;
            self->hoverChanged(inside);
        }
    });
}

void NotchController::pointerMoved() {
    if (!clickTap_ || hoverTimer_) {
        return; // polling, or a check is already due
    }
    // One look a near-poll interval after the first of a run of movements: as often as the near poll looked, and
    // a press that comes within that time (a title bar clicked through the strip) is seen before the hover.
    QPointer<NotchController> self(this);
    hoverTimer_ = scheduler_.after(kNearPollInterval, [self] {
        if (self) {
            self->hoverTimer_.reset();
            self->pollPointer();
        }
    });
}

void NotchController::scheduleHoverTimer(double interval) {
    hoverInterval_ = interval;
    QPointer<NotchController> self(this);
    hoverTimer_ = scheduler_.every(interval, [self] {
        if (self) {
            self->pollPointer();
        }
    });
}

void NotchController::pollPointer() {
    if (!panel_ || !platform_.screens) {
        return;
    }
    const auto island = islandRect();
    if (!island) {
        return;
    }
    const platform::Point p = platform_.screens->mouseLocation();
    if (!clickTap_) {
        const bool near = p.y > island->minY() - kNearDistance;
        const double wanted = near || isExpanded_ ? kNearPollInterval : kFarPollInterval;
        if (wanted != hoverInterval_) {
            scheduleHoverTimer(wanted);
        }
    }
    // The strip sits where title bars are: a press or a drag meant for one must not open the card under it.
    const bool blocked = !isExpanded_ && (buttonHeld_ || scheduler_.now() < quietUntil_);
    const bool inside = island->contains(p) && !blocked;
    if (inside != pointerInside_) {
        pointerInside_ = inside;
        hoverChanged(inside);
    }
    // While the card is open it is looked after as the near poll did: leaving it must close it even when the
    // pointer was warped away rather than moved.
    if (clickTap_ && isExpanded_) {
        pointerMoved();
    }
}

void NotchController::hoverChanged(bool inside) {
    collapseWorkItem_.reset();
    if (inside) {
        setExpanded(true);
        return;
    }
    QPointer<NotchController> self(this);
    collapseWorkItem_ = scheduler_.after(kCollapseDelay, [self] {
        if (self) {
            self->setExpanded(false);
        }
    });
}

bool NotchController::handleStripClick(EventType type, const Event& event) {
    if (type == EventType::TapDisabledByTimeout || type == EventType::TapDisabledByUserInput) {
        if (clickTap_) {
            clickTap_->setEnabled(true);
        }
        return true;
    }
    if (type == EventType::MouseMoved) {
        pointerMoved();
        return true;
    }
    if (type == EventType::LeftMouseUp) {
        buttonHeld_ = false;
        pointerMoved(); // a drag that ends on the strip opens it without another movement
        return true;
    }
    if (type != EventType::LeftMouseDown) {
        return true;
    }
    buttonHeld_ = true;
    if (isExpanded_ || !panel_ || !platform_.screens) {
        return true;
    }
    const auto island = islandRect();
    const auto screens = platform_.screens->screens();
    if (!island || screens.empty()) {
        return true;
    }
    const platform::Point p{event.location.x, screens.front().frame.maxY() - event.location.y};
    // Only a press the tap kept from the window below is the island's own; any other may be the first of a
    // double-click there, whose second press must not land on a card that opened in between.
    if (!island->contains(p) || !clickTap_ || !clickTap_->swallowsEvents()) {
        const double quiet = platform_.screens->doubleClickInterval();
        quietUntil_ = scheduler_.now() + quiet;
        // A pointer that rests on the strip through the quiet time opens it when that ends.
        QPointer<NotchController> self(this);
        quietCheck_ = scheduler_.after(quiet, [self] {
            if (self) {
                self->quietCheck_.reset();
                self->pointerMoved();
            }
        });
        return true;
    }
    pointerInside_ = true;
    hoverChanged(true);
    return false;
}

void NotchController::flashHUD(const TransportHUD& notice) {
    hudWorkItem_.reset();
    setHud(notice);
    QPointer<NotchController> self(this);
    hudWorkItem_ = scheduler_.after(kHudDuration, [self] {
        if (self) {
            self->setHud(std::nullopt);
        }
    });
}

void NotchController::setExpanded(bool expanded) {
    if (isExpanded_ == expanded) {
        return;
    }
    isExpanded_ = expanded;
    if (panel_) {
        panel_->setIgnoresMouseEvents(!expanded);
    }
    updateHoverArea(); // the card is hovered as a whole while open
    if (expanded) {
        pointerMoved(); // looked after while open
    }
    // While disabled the media timer stays off; the cadence is only remembered.
    media_->setPollingCadence(expanded);
    Q_EMIT isExpandedChanged();
    Q_EMIT geometryChanged();
}

void NotchController::setHud(std::optional<TransportHUD> hud) {
    if (hud_ == hud) {
        return;
    }
    hud_ = std::move(hud);
    Q_EMIT hudChanged();
}

void NotchController::collapseNow() {
    collapseWorkItem_.reset();
    pointerInside_ = false;
    setExpanded(false);
}

std::optional<ScreenInfo> NotchController::target() const {
    return platform_.screens ? notchDisplay(platform_.screens->screens()) : std::nullopt;
}

platform::Size NotchController::notchSize() const {
    const auto display = target();
    return display ? notchGeometry(*display).notch : platform::Size{};
}

QSizeF NotchController::notchSizeF() const {
    const platform::Size s = notchSize();
    return {s.width, s.height};
}

double NotchController::bareWidth() const {
    const auto display = target();
    return display ? notchGeometry(*display).bareWidth : NotchGeometry{}.bareWidth;
}

double NotchController::wingExtraEach() const {
    const auto display = target();
    return display ? notchGeometry(*display).wingExtraEach : NotchGeometry{}.wingExtraEach;
}

std::optional<Rect> NotchController::islandRect() const {
    const auto display = target();
    if (!display) {
        return std::nullopt;
    }
    const NotchGeometry g = notchGeometry(*display);
    return isExpanded_ ? g.expandedIsland : g.collapsedIsland;
}

QRectF NotchController::islandRectInPanel() const {
    const auto display = target();
    if (!display) {
        return {};
    }
    const NotchGeometry g = notchGeometry(*display);
    const Rect& r = isExpanded_ ? g.expandedIsland : g.collapsedIsland;
    return {r.x - g.panelFrame.x, g.panelFrame.maxY() - r.maxY(), r.width, r.height};
}

} // namespace tillory::notch
