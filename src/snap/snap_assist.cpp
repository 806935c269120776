#include "keyhub/key_event_hub.h"
#include "snap/snap_controller.h"

#include <QPointer>
#include <QVariantMap>

#include <algorithm>
#include <cmath>

namespace tillory::snap {
namespace {

constexpr double kCandidateMinWidth = 120;
constexpr double kCandidateMinHeight = 80;

int captureExtent(double points) {
    return std::max(static_cast<int>(points * SnapController::kThumbnailScale), 1);
}

} // namespace

void SnapController::beginAssist(int layout, std::optional<int> filledZone, std::uint32_t snapped,
                                 std::optional<std::int32_t> pid, const ScreenInfo& screen) {
    if (layout < 0 || layout >= static_cast<int>(layouts_.size())) {
        cancel();
        return;
    }
    const int zones = static_cast<int>(layouts_[static_cast<std::size_t>(layout)].zones.size());
    std::optional<int> first;
    for (int z = 0; z < zones && !first; ++z) {
        if (z != filledZone) {
            first = z;
        }
    }
    if (!first || !hubToken_ || !hub_.setCapturing(*hubToken_, true)) {
        cancel();
        return;
    }
    hideDragOverlay();
    suppressMouseUp_ = false;
    if (pid) {
        targetPID_ = *pid;
    }
    targetScreen_ = screen;
    targetWindowID_ = snapped;
    activeLayout_ = layout;
    filledZones_.clear();
    if (filledZone) {
        filledZones_.insert(*filledZone);
    }
    assistZone_ = *first;
    Q_EMIT assistChanged();
    setMode(Mode::Assist);
    setSelection(focusedLayout_, 0);
    setActive(true);
    showPanel(screen, true);
    loadCandidates(snapped);
}

void SnapController::loadCandidates(std::uint32_t excluding) {
    using platform::WindowListOption;
    std::vector<SnapWindow> found;
    std::set<std::int32_t> taken;
    for (const platform::WindowInfo& w :
         platform_.windowList->windows(WindowListOption::OnScreenOnly | WindowListOption::ExcludeDesktopElements)) {
        if (w.layer != 0 || w.number == 0 || w.number == excluding || w.ownerPid == 0 ||
            w.ownerPid == access_.ownPid() || w.ownerName.isEmpty() ||
            SnapWindowAccess::excludedApps().contains(w.ownerName) || !(w.alpha > 0) ||
            !(w.bounds.width > kCandidateMinWidth) || !(w.bounds.height > kCandidateMinHeight) ||
            taken.count(w.ownerPid)) {
            continue;
        }
        taken.insert(w.ownerPid);
        SnapWindow window{w.number, w.ownerPid, w.name.isEmpty() ? w.ownerName : w.name, std::nullopt, std::nullopt};
        if (platform_.appIcons) {
            window.icon = platform_.appIcons->icon(w.ownerPid, w.number, kIconSize);
        }
        found.push_back(std::move(window));
        if (found.size() == kMaxCandidates) {
            break;
        }
    }
    setCandidates(std::move(found));
    loadThumbnails();
}

void SnapController::loadThumbnails() {
    const std::uint64_t generation = ++thumbnailGeneration_;
    thumbnailTask_ = false;
    if (!platform_.screenCapture || !platform_.screenCapture->hasAccess() || !platform_.windowCapture ||
        candidates_.empty()) {
        return;
    }
    std::map<std::uint32_t, Rect> bounds;
    using platform::WindowListOption;
    for (const platform::WindowInfo& w :
         platform_.windowList->windows(WindowListOption::OnScreenOnly | WindowListOption::ExcludeDesktopElements)) {
        bounds[w.number] = w.bounds;
    }
    std::vector<platform::CaptureRequest> requests;
    for (const SnapWindow& candidate : candidates_) {
        const auto found = bounds.find(candidate.id);
        if (found != bounds.end()) {
            requests.push_back({candidate.id, captureExtent(found->second.width), captureExtent(found->second.height)});
        }
    }
    if (requests.empty()) {
        return;
    }
    QPointer<SnapController> self(this);
    thumbnailTask_ = platform_.windowCapture->capture(
        std::move(requests), [self, generation](std::uint32_t id, std::optional<platform::Bitmap> image) {
            if (self) {
                self->storeThumbnail(generation, id, std::move(image));
            }
        });
}

void SnapController::storeThumbnail(std::uint64_t generation, std::uint32_t id, std::optional<platform::Bitmap> image) {
    if (generation != thumbnailGeneration_ || !image) {
        return;
    }
    for (SnapWindow& candidate : candidates_) {
        if (candidate.id == id) {
            candidate.thumbnail = std::move(image);
            ++imageSerial_;
            Q_EMIT candidatesChanged();
            return;
        }
    }
}

void SnapController::fillAssist(quint32 windowID) {
    if (!isActive_ || mode_ != Mode::Assist || !activeLayout_) {
        return;
    }
    const auto picked = std::find_if(candidates_.begin(), candidates_.end(),
                                     [windowID](const SnapWindow& w) { return w.id == windowID; });
    if (picked == candidates_.end()) {
        return;
    }
    const SnapLayout& layout = layouts_[static_cast<std::size_t>(*activeLayout_)];
    if (assistZone_ < 0 || assistZone_ >= static_cast<int>(layout.zones.size())) {
        return;
    }
    // The display may have gone since Snap Assist opened.
    const auto screen = targetScreen_ ? geometry_.stillAttached(*targetScreen_) : geometry_.targetScreenFallback();
    if (!screen) {
        cancel();
        return;
    }
    const Element window = access_.axWindow(picked->pid, picked->id);
    if (window) {
        access_.unminimize(window);
        placeOnce(geometry_.rect(layout.zones[static_cast<std::size_t>(assistZone_)].unit, *screen), *screen, window);
        access_.raise(window);
        // Only a zone that really got a window counts as filled.
        filledZones_.insert(assistZone_);
    }
    std::vector<SnapWindow> rest;
    for (SnapWindow& w : candidates_) {
        if (w.id != windowID) {
            rest.push_back(std::move(w));
        }
    }
    setCandidates(std::move(rest));
    setSelection(focusedLayout_, 0);
    std::optional<int> next;
    for (int z = 0; z < static_cast<int>(layout.zones.size()) && !next; ++z) {
        if (!filledZones_.count(z)) {
            next = z;
        }
    }
    if (next && !candidates_.empty()) {
        assistZone_ = *next;
        Q_EMIT assistChanged();
        return;
    }
    Q_EMIT assistChanged();
    cancel();
}

void SnapController::setCandidates(std::vector<SnapWindow> candidates) {
    candidates_ = std::move(candidates);
    ++imageSerial_;
    Q_EMIT candidatesChanged();
}

QVariantList SnapController::candidateRows() const {
    QVariantList rows;
    for (const SnapWindow& w : candidates_) {
        rows.push_back(QVariantMap{
            {QStringLiteral("id"), w.id},
            {QStringLiteral("pid"), w.pid},
            {QStringLiteral("title"), w.title},
            {QStringLiteral("hasIcon"), w.icon.has_value()},
            {QStringLiteral("hasThumbnail"), w.thumbnail.has_value()},
            {QStringLiteral("imageKey"), QString::number(imageSerial_)},
        });
    }
    return rows;
}

std::optional<platform::Bitmap> SnapController::candidateThumbnail(std::uint32_t id) const {
    for (const SnapWindow& w : candidates_) {
        if (w.id == id) {
            return w.thumbnail;
        }
    }
    return std::nullopt;
}

std::optional<platform::Bitmap> SnapController::candidateIcon(std::uint32_t id) const {
    for (const SnapWindow& w : candidates_) {
        if (w.id == id) {
            return w.icon;
        }
    }
    return std::nullopt;
}

} // namespace tillory::snap
