#include "switcher/window_switcher_engine.h"

#include "core/settings.h"
#include "keyhub/key_event_hub.h"
#include "switcher/window_catalogue.h"

#include <QLoggingCategory>
#include <QVariantMap>

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>

namespace tillory::switcher {

Q_LOGGING_CATEGORY(lcSwitcher, "tillory.switcher", QtWarningMsg)

namespace {

using platform::Event;
using platform::EventType;
using platform::EventFlags::Command;
using platform::EventFlags::Shift;
namespace KeyCode = platform::KeyCode;

constexpr unsigned kCatalogueOptions = static_cast<unsigned>(platform::WindowListOption::ExcludeDesktopElements);
constexpr unsigned kOnScreenOptions =
    static_cast<unsigned>(platform::WindowListOption::OnScreenOnly) | kCatalogueOptions;

/// Pixels of the picture in a tile's preview box on a display of `scale` pixels per point.
int captureExtent(double points, double scale) {
    return std::max(static_cast<int>(std::ceil((points - 2 * SwitcherLayout::kThumbnailInset) * scale)), 1);
}

} // namespace

WindowSwitcherEngine::WindowSwitcherEngine(const platform::Platform& platform, keyhub::KeyEventHub& hub,
                                           core::Settings& settings, core::Scheduler& scheduler,
                                           SwitcherPanelFactory* panels, QObject* parent)
    : QObject(parent), platform_(platform), hub_(hub), settings_(settings), scheduler_(scheduler), panels_(panels) {
    hasAccessibility_ = platform_.accessibility->isTrusted();
    hasScreenRecording_ = platform_.screenCapture && platform_.screenCapture->hasAccess();
    settings_.registerDefaults({{kScreenRecordingRequestedKey, false}});
}

WindowSwitcherEngine::~WindowSwitcherEngine() {
    // A session holds every key of the keyboard; that must not outlive the engine.
    if (hubToken_) {
        hub_.unregister(*hubToken_);
    }
}

void WindowSwitcherEngine::enable() {
    wantsEnabled_ = true;
    if (hubToken_) {
        return;
    }
    setHasAccessibility(platform_.accessibility->isTrustedPrompting());
    if (!hasAccessibility_) {
        startPermissionWatch();
        return;
    }
    platform::ScreenCapture* capture = platform_.screenCapture;
    if (capture && !hasScreenRecording_ && !settings_.boolValue(kScreenRecordingRequestedKey)) {
        // Asked once per user: the prompt is a system dialog, not something to show at every start.
        settings_.setBool(kScreenRecordingRequestedKey, true);
        capture->requestAccess();
        setHasScreenRecording(capture->hasAccess());
    }
    QPointer<WindowSwitcherEngine> self(this);
    auto handler = [self](EventType type, const Event& event) -> platform::EventResult {
        if (self && self->handle(type, event)) {
            return std::nullopt;
        }
        return event;
    };
    // Tab with ⌘ and any other modifiers: ⌘⇧Tab opens backwards.
    hubToken_ = hub_.registerHandler(handler, {platform::KeyTrigger{KeyCode::Tab, Command, true, {}}});
    if (!activationObserver_ && platform_.workspace) {
        activationObserver_ = platform_.workspace->observeActivations([self](const platform::AppInfo& app) {
            if (self) {
                self->noteActivation(app.pid);
            }
        });
    }
    // Activations of applications miss a move between two windows of one application.
    if (!activeWindowObserver_ && platform_.windowList) {
        activeWindowObserver_ = platform_.windowList->observeActiveWindow([self](std::uint32_t id) {
            if (self) {
                self->noteActiveWindow(id);
            }
        });
    }
}

void WindowSwitcherEngine::disable() {
    wantsEnabled_ = false;
    permissionTimer_.reset();
    if (isActive_) {
        endSession();
    }
    if (hubToken_) {
        hub_.unregister(*hubToken_);
        hubToken_.reset();
    }
    activationObserver_.reset();
    activeWindowObserver_.reset();
}

void WindowSwitcherEngine::startPermissionWatch() {
    if (permissionTimer_) {
        return;
    }
    QPointer<WindowSwitcherEngine> self(this);
    permissionTimer_ = scheduler_.every(kPermissionWatchInterval, [self] {
        if (!self) {
            return;
        }
        self->recheckPermission();
        if (self->hubToken_ || !self->wantsEnabled_) {
            self->permissionTimer_.reset();
        }
    });
}

void WindowSwitcherEngine::recheckPermission() {
    setHasAccessibility(platform_.accessibility->isTrusted());
    setHasScreenRecording(platform_.screenCapture && platform_.screenCapture->hasAccess());
    if (wantsEnabled_ && hasAccessibility_ && !hubToken_) {
        enable();
    }
    if (hub_.isInUse() && !hub_.hasTap()) {
        hub_.ensureTap();
    }
}

std::vector<SwitcherWindow> WindowSwitcherEngine::allWindows() {
    std::vector<SwitcherWindow> list;
    if (!platform_.windowList) {
        return list;
    }
    const std::vector<platform::ScreenInfo> screens =
        platform_.screens ? platform_.screens->screens() : std::vector<platform::ScreenInfo>{};
    for (const platform::WindowInfo& info : platform_.windowList->windows(kCatalogueOptions)) {
        std::optional<SwitcherWindow> entry = catalogueEntry(info, screens);
        if (!entry) {
            continue;
        }
        entry->icon = icon(entry->pid, entry->id);
        list.push_back(std::move(*entry));
    }
    return list;
}

std::optional<platform::Bitmap> WindowSwitcherEngine::icon(std::int32_t pid, std::uint32_t window) {
    if (auto found = iconCache_.find(pid); found != iconCache_.end()) {
        return found->second;
    }
    if (!platform_.appIcons) {
        return std::nullopt;
    }
    // A window that had no icon is not asked again: on X11 each miss reads the whole window list to try the
    // process's other windows, which made every session quadratic in the icon-less windows.
    const std::uint64_t missKey = (std::uint64_t(std::uint32_t(pid)) << 32) | window;
    if (iconMisses_.contains(missKey)) {
        return std::nullopt;
    }
    std::optional<platform::Bitmap> image = platform_.appIcons->icon(pid, window, kIconSize);
    if (!image || !image->isValid()) {
        if (iconMisses_.size() > kRecencyLimit) {
            iconMisses_.clear();
        }
        iconMisses_.insert(missKey);
        return std::nullopt;
    }
    if (iconCache_.size() > kIconCacheLimit) {
        iconCache_.clear();
    }
    iconCache_[pid] = *image;
    return image;
}

void WindowSwitcherEngine::noteActivation(std::int32_t pid) {
    const bool reported = activePid_ == pid;
    activePid_.reset();
    // The active window itself has been stamped for this activation already; the front window of the
    // application in the stacking order need not be that one (a window manager may not have restacked yet).
    if (reported || !platform_.windowList) {
        return;
    }
    for (const platform::WindowInfo& info : platform_.windowList->windows(kOnScreenOptions)) {
        if (info.ownerPid == pid && isStampable(info)) {
            stampWindow(info.number);
            return;
        }
    }
}

void WindowSwitcherEngine::noteActiveWindow(std::uint32_t id) {
    if (!platform_.windowList) {
        return;
    }
    for (const platform::WindowInfo& info : platform_.windowList->windows(kOnScreenOptions)) {
        if (info.number == id) {
            if (isStampable(info)) {
                stampWindow(id);
                activePid_ = info.ownerPid;
            }
            return;
        }
    }
}

void WindowSwitcherEngine::stampWindow(std::uint32_t id) {
    recency_[id] = ++recencyCounter_;
    boundRecency();
}

void WindowSwitcherEngine::boundRecency() {
    // Sessions prune the table; a user who never opens one would otherwise keep a stamp for every window ever
    // activated.
    if (recency_.size() <= kRecencyLimit || !platform_.windowList) {
        return;
    }
    std::set<std::uint32_t> live;
    for (const platform::WindowInfo& info : platform_.windowList->windows(kCatalogueOptions)) {
        live.insert(info.number);
    }
    std::erase_if(recency_, [&live](const auto& item) { return !live.count(item.first); });
    if (recency_.size() <= kRecencyLimit) {
        return;
    }
    std::vector<std::uint64_t> stamps;
    for (const auto& item : recency_) {
        stamps.push_back(item.second);
    }
    std::nth_element(stamps.begin(), stamps.end() - kRecencyLimit, stamps.end());
    const std::uint64_t oldestKept = *(stamps.end() - kRecencyLimit);
    std::erase_if(recency_, [oldestKept](const auto& item) { return item.second < oldestKept; });
}

std::optional<std::uint64_t> WindowSwitcherEngine::stamp(std::uint32_t id) const {
    auto found = recency_.find(id);
    return found == recency_.end() ? std::nullopt : std::optional<std::uint64_t>(found->second);
}

void WindowSwitcherEngine::orderByRecency(std::vector<SwitcherWindow>& list) const {
    std::stable_sort(list.begin(), list.end(), [this](const SwitcherWindow& a, const SwitcherWindow& b) {
        return stamp(a.id).value_or(0) > stamp(b.id).value_or(0);
    });
}

void WindowSwitcherEngine::loadThumbnails() {
    const std::uint64_t generation = ++thumbnailGeneration_;
    if (!platform_.windowCapture || windows_.empty()) {
        return;
    }
    // Captured at the pixels the preview box has on the panel's display, not at a share of the window: a quarter
    // of a window narrower than about 690 points is smaller than the box and would be drawn enlarged.
    const double scale = panel_ ? std::max(panel_->backingScale(), 1.0) : 1.0;
    const int width = captureExtent(SwitcherLayout::kPreviewWidth, scale);
    const int height = captureExtent(SwitcherLayout::kPreviewHeight, scale);
    std::vector<platform::CaptureRequest> requests;
    for (const SwitcherWindow& window : windows_) {
        requests.push_back({window.id, width, height});
    }
    QPointer<WindowSwitcherEngine> self(this);
    const std::size_t expected = requests.size();
    auto delivered = std::make_shared<std::pair<std::size_t, std::size_t>>(0, 0); // deliveries, images
    platform_.windowCapture->capture(std::move(requests), [self, generation, expected, delivered](
                                                              std::uint32_t id, std::optional<platform::Bitmap> image) {
        ++delivered->first;
        delivered->second += image && image->isValid() ? 1 : 0;
        if (delivered->first == expected) {
            qCDebug(lcSwitcher) << "captures delivered:" << expected << "with" << delivered->second << "images";
        }
        if (self) {
            self->storeCapture(generation, id, std::move(image));
        }
    });
}

void WindowSwitcherEngine::storeCapture(std::uint64_t generation, std::uint32_t id,
                                        std::optional<platform::Bitmap> image) {
    if (!image || !image->isValid()) {
        return;
    }
    thumbnailCache_[id] = *image;
    ++thumbnailRevisions_[id];
    if (generation == thumbnailGeneration_) {
        for (std::size_t i = 0; i < windows_.size(); ++i) {
            if (windows_[i].id == id) {
                windows_[i].thumbnail = std::move(image);
                Q_EMIT thumbnailChanged(static_cast<int>(i));
                Q_EMIT windowsChanged();
                break;
            }
        }
    }
    if (!isActive_) {
        // Landed after its session ended: the cache is trimmed only at session ends, so trim here too.
        trimThumbnailCache(id);
    }
}

void WindowSwitcherEngine::trimThumbnailCache(std::optional<std::uint32_t> keep) {
    for (auto it = thumbnailCache_.begin(); thumbnailCache_.size() > kThumbnailCacheLimit;) {
        if (keep && it->first == *keep) {
            ++it;
            continue;
        }
        thumbnailRevisions_.erase(it->first);
        it = thumbnailCache_.erase(it);
    }
}

std::optional<platform::Bitmap> WindowSwitcherEngine::thumbnailAt(int index) const {
    if (index < 0 || index >= static_cast<int>(windows_.size())) {
        return std::nullopt;
    }
    return windows_[static_cast<std::size_t>(index)].thumbnail;
}

std::optional<platform::Bitmap> WindowSwitcherEngine::iconAt(int index) const {
    if (index < 0 || index >= static_cast<int>(windows_.size())) {
        return std::nullopt;
    }
    return windows_[static_cast<std::size_t>(index)].icon;
}

QString WindowSwitcherEngine::hint() const {
    if (hasScreenRecording_) {
        return {};
    }
    // Where the desktop itself lacks what captures need, no setting would help: say what is missing.
    const QString missing = missingCapability();
    return missing.isEmpty() ? kHint : missing;
}

QString WindowSwitcherEngine::missingCapability() const {
    return platform_.screenCapture ? platform_.screenCapture->missingCapability() : QString();
}

QVariantList WindowSwitcherEngine::windowRows() const {
    QVariantList rows;
    for (std::size_t i = 0; i < windows_.size(); ++i) {
        const SwitcherWindow& w = windows_[i];
        auto revision = thumbnailRevisions_.find(w.id);
        QVariantMap row;
        row.insert(QStringLiteral("index"), static_cast<int>(i));
        row.insert(QStringLiteral("id"), static_cast<quint32>(w.id));
        row.insert(QStringLiteral("pid"), static_cast<qint32>(w.pid));
        row.insert(QStringLiteral("title"), w.title);
        row.insert(QStringLiteral("appName"), w.appName);
        row.insert(QStringLiteral("hasIcon"), w.icon.has_value());
        row.insert(QStringLiteral("hasThumbnail"), w.thumbnail.has_value());
        row.insert(QStringLiteral("thumbnailKey"),
                   QStringLiteral("%1-%2").arg(w.id).arg(revision == thumbnailRevisions_.end() ? 0 : revision->second));
        rows.append(row);
    }
    return rows;
}

void WindowSwitcherEngine::setWindows(std::vector<SwitcherWindow> windows) {
    windows_ = std::move(windows);
    // The card's size before the tiles: a view that places the new tiles must not see the old card.
    updateLayout();
    Q_EMIT windowsChanged();
}

void WindowSwitcherEngine::setSelectedIndex(int index) {
    if (selectedIndex_ != index) {
        selectedIndex_ = index;
        Q_EMIT selectedIndexChanged();
    }
    updateLayout();
}

void WindowSwitcherEngine::setActive(bool active) {
    if (isActive_ != active) {
        isActive_ = active;
        Q_EMIT isActiveChanged();
    }
}

void WindowSwitcherEngine::setHasAccessibility(bool value) {
    if (hasAccessibility_ != value) {
        hasAccessibility_ = value;
        Q_EMIT hasAccessibilityChanged();
    }
}

void WindowSwitcherEngine::setHasScreenRecording(bool value) {
    if (hasScreenRecording_ != value) {
        hasScreenRecording_ = value;
        Q_EMIT hasScreenRecordingChanged();
        updateLayout();
    }
}

void WindowSwitcherEngine::updateLayout() {
    const SwitcherLayout next = SwitcherLayout::make(static_cast<int>(windows_.size()), selectedIndex_, displaySize_,
                                                     !hasScreenRecording_, layout_.firstVisibleRow);
    if (!(next == layout_)) {
        layout_ = next;
        Q_EMIT layoutChanged();
    }
}

} // namespace tillory::switcher
