#pragma once

#include "monitor/process_sample.h"
#include "platform/api/app_icons.h"
#include "platform/api/workspace.h"

#include <cstdint>
#include <optional>
#include <unordered_map>

namespace tillory::monitor {

/// Icons for the process list, looked up once per process id and kept (a kept "no icon" included). The cache is
/// bounded by emptying it when an entry would be the 257th. Main thread.
class ProcessIcons {
public:
    static constexpr std::size_t kMaxEntries = 256;

    /// The one cache of the program; its sources are set by whoever knows the platform.
    static ProcessIcons& shared();

    /// Without sources every process has no icon.
    void setSources(platform::AppIcons* icons, platform::Workspace* workspace);

    /// The process's application icon, else the icon of the first running application of the same name.
    const std::optional<platform::Bitmap>& icon(const ProcessSample& sample);
    /// What the cache holds for `pid`, without looking anything up.
    std::optional<platform::Bitmap> cached(std::int32_t pid) const;
    std::size_t size() const { return cache_.size(); }
    void clear() { cache_.clear(); }

private:
    std::optional<platform::Bitmap> lookUp(const ProcessSample& sample);

    platform::AppIcons* icons_ = nullptr;
    platform::Workspace* workspace_ = nullptr;
    std::unordered_map<std::int32_t, std::optional<platform::Bitmap>> cache_;
};

} // namespace tillory::monitor
