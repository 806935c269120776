#pragma once

#include "platform/api/power.h"
#include "platform/api/subscription.h"

#include <QDBusConnection>

#include <functional>

namespace tillory::platform::nix {

/// Calls `onChange` on the main thread after a power supply changes (plugged, unplugged, a new charge level):
/// UPower's signals when it runs on the system bus, else the kernel's power_supply uevents through udev, which
/// many batteries send only when plugged or unplugged, not as they drain (so they do not count as telling levels).
/// No subscription when neither can be heard. Main thread.
PowerChanges observePowerEvents(std::function<void()> onChange);

/// UPower's display device and on-battery state on `bus`; nothing when UPower is not on that bus.
SubscriptionPtr observeUPower(const QDBusConnection& bus, std::function<void()> onChange);

/// power_supply uevents as udev passes them on; nothing when its monitor cannot be opened.
SubscriptionPtr observePowerSupplyUevents(std::function<void()> onChange);

} // namespace tillory::platform::nix
