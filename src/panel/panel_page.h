#pragma once

namespace tillory::panel {

/// The page the tray panel shows.
enum class PanelPage { home, dashboard, clipboard };

} // namespace tillory::panel
