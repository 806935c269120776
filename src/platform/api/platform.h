#pragma once

#include "platform/api/accessibility.h"
#include "platform/api/app_icons.h"
#include "platform/api/appearance.h"
#include "platform/api/event_taps.h"
#include "platform/api/key_names.h"
#include "platform/api/network.h"
#include "platform/api/pasteboard.h"
#include "platform/api/power.h"
#include "platform/api/script_runner.h"
#include "platform/api/system_counters.h"
#include "platform/api/system_services.h"
#include "platform/api/window_capture.h"
#include "platform/api/window_list.h"
#include "platform/api/workspace.h"

namespace tillory::platform {

/// Every platform service, as the composition root hands them to the controllers. The backend owns them.
struct Platform {
    Accessibility* accessibility = nullptr;
    EventTaps* eventTaps = nullptr;
    WindowList* windowList = nullptr;
    ScreenCapture* screenCapture = nullptr;
    /// Without it windows have no thumbnails.
    WindowCapture* windowCapture = nullptr;
    /// Without it applications have no icons.
    AppIcons* appIcons = nullptr;
    /// Icons for the process list, as the desktop's menus show applications; without it `appIcons` serves.
    AppIcons* processIcons = nullptr;
    Pasteboard* pasteboard = nullptr;
    Workspace* workspace = nullptr;
    Screens* screens = nullptr;
    LoginItem* loginItem = nullptr;
    ProcessRunner* processRunner = nullptr;
    /// Used from the sampling thread only.
    SystemCounters* systemCounters = nullptr;
    PowerSources* powerSources = nullptr;
    /// Without it nothing plays as far as the program can tell.
    ScriptRunner* scriptRunner = nullptr;
    /// Without them there is no cover art and nothing is downloaded.
    UrlFetcher* urlFetcher = nullptr;
    ImageDecoder* imageDecoder = nullptr;
    Smc* smc = nullptr;
    /// Without it the desktop states no colour scheme.
    Appearance* appearance = nullptr;
    /// The identifier the platform knows this program by (for the accessibility reset); may be empty.
    QString bundleIdentifier;
    /// How views name the modifier keys.
    KeyNames keyNames;
};

} // namespace tillory::platform
