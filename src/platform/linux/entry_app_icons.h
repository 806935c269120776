#pragma once

#include "platform/api/app_icons.h"
#include "platform/api/workspace.h"
#include "platform/linux/desktop_entries.h"

namespace tillory::platform::nix {

/// Application icons as the desktop's menus show them: the Icon of the application's desktop entry (found by the
/// application id the workspace reports), from the icon theme or an absolute path; else what `fallback` has (the
/// windows' own icons). Main thread.
class EntryAppIcons final : public AppIcons {
public:
    EntryAppIcons(AppIcons& fallback, Workspace& workspace, DesktopEntryIndex& entries)
        : fallback_(fallback), workspace_(workspace), entries_(entries) {}
    std::optional<Bitmap> icon(std::int32_t pid, std::uint32_t window, int size) override;

private:
    AppIcons& fallback_;
    Workspace& workspace_;
    DesktopEntryIndex& entries_;
};

} // namespace tillory::platform::nix
