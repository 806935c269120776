#pragma once

#include "platform/api/accessibility.h"
#include "platform/api/window_list.h"
#include "platform/api/workspace.h"
#include "switcher/switcher_window.h"

#include <QSet>
#include <QString>

#include <optional>
#include <vector>

namespace tillory::switcher {

/// Owners whose windows never appear in the switcher, this program included.
const QSet<QString>& excludedApps();
/// Window titles that never appear in the switcher.
const QSet<QString>& excludedTitles();

/// The entry a window of the window list makes, or nothing when it is a phantom: not a normal window, an excluded
/// owner or title, invisible, too small, or an untitled window off screen that is not full-screen size on any of
/// `screens`. The entry has no icon and no thumbnail.
std::optional<SwitcherWindow> catalogueEntry(const platform::WindowInfo& info,
                                             const std::vector<platform::ScreenInfo>& screens);

/// True for a window that activating its application may stamp: normal layer, a number, big enough, not
/// transparent.
bool isStampable(const platform::WindowInfo& info);

/// Which of one application's window elements is `window`: by window number where the platform can tell, else by
/// title, else the only element there is. Nothing when none is.
platform::Element matchElement(platform::Accessibility& accessibility, const SwitcherWindow& window,
                               const std::vector<platform::Element>& elements);

} // namespace tillory::switcher
