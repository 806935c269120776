#include "monitor/process_icons.h"

namespace tillory::monitor {
namespace {
// Rows show icons at 16 to 20 points: twice that covers a scaled screen without keeping large pictures.
constexpr int kIconPixels = 40;
} // namespace

ProcessIcons& ProcessIcons::shared() {
    static ProcessIcons icons;
    return icons;
}

void ProcessIcons::setSources(platform::AppIcons* icons, platform::Workspace* workspace) {
    icons_ = icons;
    workspace_ = workspace;
    cache_.clear();
}

const std::optional<platform::Bitmap>& ProcessIcons::icon(const ProcessSample& sample) {
    if (const auto it = cache_.find(sample.pid); it != cache_.end()) {
        return it->second;
    }
    auto found = lookUp(sample);
    if (cache_.size() >= kMaxEntries) {
        cache_.clear();
    }
    return cache_.emplace(sample.pid, std::move(found)).first->second;
}

std::optional<platform::Bitmap> ProcessIcons::cached(std::int32_t pid) const {
    const auto it = cache_.find(pid);
    return it != cache_.end() ? it->second : std::nullopt;
}

std::optional<platform::Bitmap> ProcessIcons::lookUp(const ProcessSample& sample) {
    if (!icons_) {
        return std::nullopt;
    }
    if (auto own = icons_->icon(sample.pid, 0, kIconPixels)) {
        return own;
    }
    // A helper process of an application (a browser's renderer) borrows the icon of the application it is named
    // after.
    if (workspace_) {
        for (const platform::AppInfo& app : workspace_->runningApplications()) {
            if (app.name == sample.name && app.pid != sample.pid) {
                return icons_->icon(app.pid, 0, kIconPixels);
            }
        }
    }
    return std::nullopt;
}

} // namespace tillory::monitor
