// The session half of WindowSwitcherEngine: keys, the highlight, the panel and the switch.
#include "keyhub/key_event_hub.h"
#include "switcher/window_catalogue.h"
#include "switcher/window_switcher_engine.h"

#include <QLoggingCategory>
#include <QPointer>

#include <limits>
#include <set>

namespace tillory::switcher {

Q_DECLARE_LOGGING_CATEGORY(lcSwitcher)

namespace {

using platform::Event;
using platform::EventType;
using platform::EventFlags::Command;
using platform::EventFlags::Shift;
namespace KeyCode = platform::KeyCode;

/// The display under the pointer, else the main (first) one; nothing without displays.
std::optional<platform::ScreenInfo> displayUnderPointer(platform::Screens* screens) {
    if (!screens) {
        return std::nullopt;
    }
    const std::vector<platform::ScreenInfo> all = screens->screens();
    if (all.empty()) {
        return std::nullopt;
    }
    // Compared in global top-left space, flipped against the first display: there a display's top pixel row is
    // its inclusive minimum edge, where in screen space it would be the excluded maximum one (and, with displays
    // stacked, the bottom row of the display above).
    const double flip = all.front().frame.maxY();
    const platform::Point p = screens->mouseLocation();
    const platform::Point pointer{p.x, flip - p.y};
    for (const platform::ScreenInfo& screen : all) {
        const platform::Rect& f = screen.frame;
        if (platform::Rect{f.minX(), flip - f.maxY(), f.width, f.height}.contains(pointer)) {
            return screen;
        }
    }
    return all.front();
}

} // namespace

bool WindowSwitcherEngine::handle(EventType type, const Event& event) {
    if (type == EventType::FlagsChanged) {
        if (isActive_ && !(event.flags & Command)) {
            commit();
        }
        return false;
    }
    if (type != EventType::KeyDown) {
        return false;
    }
    if (isActive_) {
        return handleSessionKey(event);
    }
    if (event.keyCode == KeyCode::Tab && (event.flags & Command)) {
        begin(!(event.flags & Shift));
        return true;
    }
    return false;
}

bool WindowSwitcherEngine::handleSessionKey(const Event& event) {
    if (event.keyCode == KeyCode::Escape) {
        endSession();
        return true;
    }
    if (!(event.flags & Command)) {
        // ⌘ is up though its release never came (the tap was off for a moment, another program held the
        // keyboard): that was the release. Switch, and let the key reach the application it was typed for.
        commit();
        return false;
    }
    switch (event.keyCode) {
    case KeyCode::Tab:
        advance((event.flags & Shift) ? -1 : 1);
        break;
    case KeyCode::LeftArrow:
        advance(-1);
        break;
    case KeyCode::RightArrow:
        advance(1);
        break;
    default:
        break;
    }
    return true;
}

void WindowSwitcherEngine::begin(bool forward) {
    setHasScreenRecording(platform_.screenCapture && platform_.screenCapture->hasAccess());
    std::vector<SwitcherWindow> list = allWindows();
    if (list.empty()) {
        return;
    }
    // A session that does not get the keys could never be ended from the keyboard.
    if (hubToken_ && !hub_.setCapturing(*hubToken_, true)) {
        return;
    }
    orderByRecency(list);
    for (SwitcherWindow& window : list) {
        if (auto cached = thumbnailCache_.find(window.id); cached != thumbnailCache_.end()) {
            window.thumbnail = cached->second;
        }
    }
    const std::optional<platform::ScreenInfo> display = displayUnderPointer(platform_.screens);
    constexpr double unbounded = std::numeric_limits<double>::max();
    displaySize_ = display ? display->frame.size() : platform::Size{unbounded, unbounded};
    layout_.firstVisibleRow = 0;
    const int count = static_cast<int>(list.size());
    // The highlight first, so the layout published with the list already scrolls to it.
    setSelectedIndex(count < 2 ? 0 : (forward ? 1 : count - 1));
    setWindows(std::move(list));
    setActive(true);
    if (lcSwitcher().isDebugEnabled()) {
        QString ids;
        for (const SwitcherWindow& window : windows_) {
            ids += QStringLiteral(" 0x%1").arg(window.id, 0, 16);
        }
        qCDebug(lcSwitcher).noquote()
            << QStringLiteral("session of %1 windows, selected %2:").arg(count).arg(selectedIndex_) << ids.trimmed();
    }
    // ⌘ may have been let go before the keyboard was ours (a quick ⌘Tab): its release is not coming.
    if (platform_.eventTaps && !(platform_.eventTaps->currentFlags() & Command)) {
        commit();
        return;
    }
    present();
    loadThumbnails();
}

void WindowSwitcherEngine::present() {
    // Made at the first session and let go a while after the last: a switcher that is not in use holds no
    // window, scene or pictures.
    releaseTimer_.reset();
    if (!panel_ && panels_) {
        panel_ = panels_->create();
    }
    const std::optional<platform::ScreenInfo> display = displayUnderPointer(platform_.screens);
    if (panel_ && display) {
        panel_->present(display->frame);
    }
}

void WindowSwitcherEngine::advance(int delta) {
    const int count = static_cast<int>(windows_.size());
    if (count == 0) {
        return;
    }
    setSelectedIndex(((selectedIndex_ + delta) % count + count) % count);
}

void WindowSwitcherEngine::select(int index) {
    if (index < 0 || index >= static_cast<int>(windows_.size())) {
        return;
    }
    setSelectedIndex(index);
    commit();
}

void WindowSwitcherEngine::commit() {
    if (!isActive_) {
        return;
    }
    if (selectedIndex_ < 0 || selectedIndex_ >= static_cast<int>(windows_.size())) {
        endSession();
        return;
    }
    const SwitcherWindow chosen = windows_[static_cast<std::size_t>(selectedIndex_)];
    // Ended first, so the panel is gone when the window comes forward.
    endSession();
    switchTo(chosen);
}

void WindowSwitcherEngine::endSession() {
    if (!isActive_) {
        return;
    }
    setActive(false);
    if (panel_) {
        panel_->orderOut();
        QPointer<WindowSwitcherEngine> self(this);
        releaseTimer_ = scheduler_.after(kReleaseDelay, [self] {
            if (self && !self->isActive_) {
                self->releaseTimer_.reset();
                self->panel_.reset();
                self->thumbnailCache_.clear();
                self->thumbnailRevisions_.clear();
            }
        });
    }
    if (hubToken_) {
        hub_.setCapturing(*hubToken_, false);
    }
    std::set<std::uint32_t> shown;
    for (const SwitcherWindow& window : windows_) {
        shown.insert(window.id);
    }
    std::erase_if(recency_, [&shown](const auto& item) { return !shown.count(item.first); });
    for (auto it = thumbnailCache_.begin(); it != thumbnailCache_.end();) {
        if (shown.count(it->first)) {
            ++it;
        } else {
            thumbnailRevisions_.erase(it->first);
            it = thumbnailCache_.erase(it);
        }
    }
    trimThumbnailCache(std::nullopt);
    setWindows({});
}

void WindowSwitcherEngine::switchTo(const SwitcherWindow& window) {
    stampWindow(window.id);
    // What the switch brings forward is reported afresh; an earlier report says nothing about this activation.
    activePid_.reset();
    platform::Accessibility& accessibility = *platform_.accessibility;
    if (platform::Element app = accessibility.application(window.pid)) {
        const platform::AXValue value = accessibility.attribute(app, platform::AXAttribute::Windows);
        if (const auto* elements = std::get_if<std::vector<platform::Element>>(&value)) {
            if (platform::Element element = matchElement(accessibility, window, *elements)) {
                accessibility.setAttribute(element, platform::AXAttribute::Minimized, false);
                accessibility.performAction(element, platform::kAXRaiseAction);
            }
        }
    } else if (platform_.windowList && platform_.windowList->activateWindow(window.id)) {
        // No application to reach (a window that names no process): the window itself was brought forward.
        return;
    }
    // Even when no element was found the application comes forward.
    if (platform_.workspace) {
        platform_.workspace->activate(window.pid);
    }
}

} // namespace tillory::switcher
