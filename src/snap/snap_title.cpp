#include "snap/snap_controller.h"

#include <QPointer>

#include <unordered_set>

namespace tillory::snap {
namespace {

// How far the focused window's frame may be from the clicked one's and still be taken for it.
constexpr double kSameWindowTolerance = 2;
// A frame the window manager changed by less than this was not its doing.
constexpr double kOwnChangeTolerance = 1;

} // namespace

std::optional<SnapController::TopStripTarget> SnapController::topStripTarget(Point p) {
    const auto hit = access_.topmostWindow(p);
    if (!hit) {
        return std::nullopt;
    }
    Element window = access_.axWindow(hit->pid, hit->windowID);
    if (!window) {
        // The focused window stands in only when it is the clicked one.
        window = access_.focusedAXWindow(hit->pid);
        const auto frame = window ? access_.currentFrame(window) : std::nullopt;
        if (!frame || !isClose(*frame, hit->frame, kSameWindowTolerance)) {
            return std::nullopt;
        }
    }
    const auto frame = access_.currentFrame(window);
    if (!isTopStrip(p, frame ? *frame : hit->frame) && !isTopStrip(p, hit->frame)) {
        return std::nullopt;
    }
    auto screen = hit->screen;
    if (!screen) {
        screen = geometry_.screen(p);
    }
    if (!screen) {
        screen = geometry_.screenForWindow(hit->windowID);
    }
    if (!screen) {
        const auto all = geometry_.screens();
        if (!all.empty()) {
            screen = all.front();
        }
    }
    if (!screen) {
        return std::nullopt;
    }
    return TopStripTarget{hit->pid, hit->windowID, window, *screen};
}

void SnapController::maximizeTopStripTarget(const TopStripTarget& target) {
    const auto frame = access_.currentFrame(target.window);
    Rect next;
    if (frame && geometry_.isFullScreenSized(*frame, target.screen)) {
        const auto remembered = restoreFrames_.find(target.windowID);
        std::optional<Rect> restore;
        if (remembered != restoreFrames_.end()) {
            restore = geometry_.validRestoreFrame(remembered->second, target.screen);
            restoreFrames_.erase(remembered);
        }
        next = restore ? *restore : geometry_.rect(SnapUnits::kCentred, target.screen);
    } else {
        if (frame && geometry_.validRestoreFrame(*frame, target.screen)) {
            restoreFrames_[target.windowID] = *frame;
            pruneRestoreFrames();
        }
        next = geometry_.rect(SnapUnits::kFull, target.screen);
    }
    access_.unminimize(target.window);
    placeTwice(next, target.screen, target.window, target.windowID);
}

void SnapController::pruneRestoreFrames() {
    if (restoreFrames_.size() < kPruneThreshold) {
        return;
    }
    const auto windows =
        platform_.windowList->windows(static_cast<unsigned>(platform::WindowListOption::ExcludeDesktopElements));
    // An empty list means it could not be read, not that every window is gone.
    if (windows.empty()) {
        return;
    }
    std::unordered_set<std::uint32_t> alive;
    for (const platform::WindowInfo& w : windows) {
        alive.insert(w.number);
    }
    std::erase_if(restoreFrames_, [&alive](const auto& entry) { return !alive.count(entry.first); });
}

bool SnapController::handleTitleDoubleClick(Point p) {
    const auto target = topStripTarget(p);
    if (!target) {
        return false;
    }
    lastClickStamp_.reset();
    dragPhase_ = DragPhase::Ignored;
    downPoint_ = p;
    clearDragTracking();
    if (!mouseTap_ || mouseTap_->swallowsEvents()) {
        maximizeTopStripTarget(*target);
        suppressMouseUp_ = true;
        return true;
    }
    // The clicks have reached the window manager already, and many act on a title double click themselves
    // (maximise, shade). Tillory stands back when the window changed on its own since the first click, or does
    // within a moment of the second; otherwise it acts.
    const auto frame = access_.currentFrame(target->window);
    const bool sameWindow = lastPressHit_ && lastPressHit_->windowID == target->windowID;
    if (!frame || (sameWindow && !isClose(*frame, lastPressHit_->frame, kOwnChangeTolerance))) {
        return true;
    }
    QPointer<SnapController> self(this);
    const Rect before = *frame;
    settleTimer_ = scheduler_.after(kWindowManagerSettle, [self, p, id = target->windowID, before] {
        if (self) {
            self->settleTitleDoubleClick(p, id, before);
        }
    });
    return true;
}

void SnapController::settleTitleDoubleClick(Point p, std::uint32_t windowID, Rect frameAtClick) {
    // When the window manager acted, the strip has usually moved away from the pointer too.
    const auto target = topStripTarget(p);
    if (!target || target->windowID != windowID) {
        return;
    }
    const auto frame = access_.currentFrame(target->window);
    if (!frame || !isClose(*frame, frameAtClick, kOwnChangeTolerance)) {
        return;
    }
    maximizeTopStripTarget(*target);
}

} // namespace tillory::snap
