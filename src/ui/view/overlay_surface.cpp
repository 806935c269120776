#include "ui/view/overlay_surface.h"

namespace tillory::ui {
namespace {

OverlayBackend* backend = nullptr;

} // namespace

void setOverlayBackend(OverlayBackend* overlayBackend) {
    backend = overlayBackend;
}

std::unique_ptr<OverlaySurface> makeOverlay(const OverlayRole& role) {
    if (backend) {
        if (auto surface = backend->create(role)) {
            return surface;
        }
    }
    return std::make_unique<WindowOverlaySurface>(role);
}

} // namespace tillory::ui
