#pragma once

#include "ui/view/overlay_surface.h"

#include <QRegion>

#include <functional>
#include <utility>

namespace tillory::ui {

/// Puts a floating panel window on screen and takes it off again: its mask while shown, and the hook that keeps it
/// above windows mapped after it (called with the window's id when it shows and with 0 when it goes). Main thread.
class PanelPresence {
public:
    using KeepOnTop = std::function<void(quintptr window)>;

    PanelPresence(OverlaySurface& window, KeepOnTop keepOnTop) : window_(window), keepOnTop_(std::move(keepOnTop)) {}
    ~PanelPresence() {
        if (keepOnTop_ && onTop_) {
            keepOnTop_(0);
        }
    }
    PanelPresence(const PanelPresence&) = delete;
    PanelPresence& operator=(const PanelPresence&) = delete;

    /// Shows the window with `mask` (an empty region: no mask) or hides it.
    void update(bool shows, const QRegion& mask) {
        if (shows && mask != mask_) {
            mask_ = mask;
            window_.setMask(mask);
        }
        if (shows && !window_.isVisible()) {
            window_.show();
            window_.raise();
            if (keepOnTop_) {
                keepOnTop_(window_.windowId());
                onTop_ = true;
            }
        } else if (!shows && window_.isVisible()) {
            if (keepOnTop_) {
                keepOnTop_(0);
                onTop_ = false;
            }
            window_.hide();
        }
    }

private:
    OverlaySurface& window_;
    KeepOnTop keepOnTop_;
    QRegion mask_;
    bool onTop_ = false;
};

} // namespace tillory::ui
