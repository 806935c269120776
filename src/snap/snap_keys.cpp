#include "keyhub/key_event_hub.h"
#include "snap/snap_controller.h"

namespace tillory::snap {
namespace {

using platform::Event;
using platform::EventType;
namespace KeyCode = platform::KeyCode;
using namespace platform::EventFlags;

} // namespace

bool SnapController::handle(EventType type, const Event& event) {
    if (type != EventType::KeyDown) {
        return false;
    }
    if (isActive_) {
        handleOpenPanelKey(event);
        return true;
    }
    if ((event.flags & (Control | Option | Command)) != (Control | Option)) {
        return false;
    }
    switch (event.keyCode) {
    case KeyCode::Z:
        open();
        return true;
    case KeyCode::LeftArrow:
        snapFront(SnapUnits::kLeftHalf);
        return true;
    case KeyCode::RightArrow:
        snapFront(SnapUnits::kRightHalf);
        return true;
    case KeyCode::DownArrow:
        snapFront(SnapUnits::kCentred);
        return true;
    case KeyCode::UpArrow:
        snapFront(SnapUnits::kFull);
        return true;
    default:
        return false;
    }
}

bool SnapController::handleOpenPanelKey(const Event& event) {
    const bool layoutsMode = mode_ == Mode::Layouts;
    switch (event.keyCode) {
    case KeyCode::RightArrow:
    case KeyCode::DownArrow:
        moveSelection(+1);
        break;
    case KeyCode::LeftArrow:
    case KeyCode::UpArrow:
        moveSelection(-1);
        break;
    case KeyCode::Return:
        if (layoutsMode) {
            commitZone(focusedLayout_, focusedZone_);
        }
        break;
    case KeyCode::Tab:
        if (layoutsMode) {
            const int n = static_cast<int>(layouts_.size());
            const int step = (event.flags & Shift) ? -1 : 1;
            setSelection((focusedLayout_ + step + n) % n, 0);
        }
        break;
    case KeyCode::Escape:
        cancel();
        break;
    default:
        break;
    }
    return true;
}

void SnapController::snapFront(const Rect& unit) {
    if (const auto target = access_.frontmostTarget()) {
        placeOnce(geometry_.rect(unit, target->screen), target->screen, target->window);
    }
}

void SnapController::open() {
    const auto target = access_.frontmostTarget();
    if (!target || !hubToken_) {
        return;
    }
    // The open panel owns the keyboard; without it Escape and the arrows would reach the application.
    if (!hub_.setCapturing(*hubToken_, true)) {
        return;
    }
    hideDragOverlay();
    suppressMouseUp_ = false;
    targetPID_ = target->pid;
    targetScreen_ = target->screen;
    targetWindowID_ = target->windowID;
    setMode(Mode::Layouts);
    setSelection(0, 0);
    activeLayout_.reset();
    filledZones_.clear();
    Q_EMIT assistChanged();
    setCandidates({});
    setActive(true);
    showPanel(target->screen, true);
}

void SnapController::moveSelection(int delta) {
    if (mode_ == Mode::Assist) {
        const int c = static_cast<int>(candidates_.size());
        if (c > 0) {
            setSelection(focusedLayout_, (focusedZone_ + delta + c) % c);
        }
        return;
    }
    if (focusedLayout_ < 0 || focusedLayout_ >= static_cast<int>(layouts_.size())) {
        return;
    }
    const int n = static_cast<int>(layouts_[static_cast<std::size_t>(focusedLayout_)].zones.size());
    setSelection(focusedLayout_, (focusedZone_ + delta + n) % n);
}

void SnapController::focusZone(int layout, int zone) {
    if (!isActive_ || mode_ != Mode::Layouts || layout < 0 || layout >= static_cast<int>(layouts_.size()) || zone < 0 ||
        zone >= static_cast<int>(layouts_[static_cast<std::size_t>(layout)].zones.size())) {
        return;
    }
    setSelection(layout, zone);
}

void SnapController::commitZone(int layout, int zone) {
    if (!isActive_ || mode_ != Mode::Layouts || layout < 0 || layout >= static_cast<int>(layouts_.size())) {
        return;
    }
    // The display the picker opened on may have gone since.
    auto screen = targetScreen_ ? geometry_.stillAttached(*targetScreen_) : geometry_.targetScreenFallback();
    if (!screen) {
        cancel();
        return;
    }
    const SnapLayout& chosen = layouts_[static_cast<std::size_t>(layout)];
    if (zone < 0 || zone >= static_cast<int>(chosen.zones.size())) {
        return;
    }
    Element window = access_.axWindow(targetPID_, targetWindowID_);
    if (!window) {
        window = access_.focusedAXWindow(targetPID_);
    }
    std::optional<int> filled;
    if (window) {
        placeOnce(geometry_.rect(chosen.zones[static_cast<std::size_t>(zone)].unit, *screen), *screen, window);
        filled = zone;
    }
    beginAssist(layout, filled, targetWindowID_, std::nullopt, *screen);
}

void SnapController::cancel() {
    if (!isActive_) {
        return;
    }
    setActive(false);
    ++thumbnailGeneration_;
    thumbnailTask_ = false;
    if (hubToken_) {
        hub_.setCapturing(*hubToken_, false);
    }
    orderOutUnlessActive();
    setCandidates({});
    activeLayout_.reset();
    Q_EMIT assistChanged();
}

} // namespace tillory::snap
