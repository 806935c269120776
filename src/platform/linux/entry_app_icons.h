#pragma once

#include "platform/api/app_icons.h"
#include "platform/api/workspace.h"
#include "platform/linux/desktop_entries.h"

namespace tillory::platform::nix {

/// Application icons as the desktop's menus show them: the Icon of the application's desktop entry (found by the
/// application id the workspace reports), from the icon theme or an absolute path; else what `windows` has (the
/// windows' own icons). With `WindowsFirst` the other way round, as a window's own picture is the better one for
/// that window. Main thread.
class EntryAppIcons final : public AppIcons {
public:
    enum class Order { EntryFirst, WindowsFirst };
    EntryAppIcons(AppIcons& windows, Workspace& workspace, DesktopEntryIndex& entries, Order order = Order::EntryFirst)
        : fallback_(windows), workspace_(workspace), entries_(entries), order_(order) {}
    std::optional<Bitmap> icon(std::int32_t pid, std::uint32_t window, int size) override;

private:
    std::optional<Bitmap> entryIcon(std::int32_t pid, int size);
    AppIcons& fallback_;
    Workspace& workspace_;
    DesktopEntryIndex& entries_;
    Order order_;
};

} // namespace tillory::platform::nix
