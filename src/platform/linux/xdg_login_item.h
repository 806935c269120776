#pragma once

#include "platform/api/system_services.h"

namespace tillory::platform::nix {

/// Launch at login as an XDG autostart entry: "tillory.desktop" in the autostart folder of the user's config.
class XdgLoginItem final : public LoginItem {
public:
    /// `configHome` is the XDG config folder; `executable` the absolute path the entry starts.
    XdgLoginItem(QString configHome, QString executable);

    bool isEnabled() override;
    bool registerItem() override;
    bool unregisterItem() override;

    QString entryPath() const;

private:
    QString configHome_;
    QString executable_;
};

} // namespace tillory::platform::nix
