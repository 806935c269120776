#include "platform/sim/sim_window_capture.h"

#include "platform/sim/sim_desktop_internal.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tillory::platform::sim {

bool SimDesktop::SimWindowCapture::capture(std::vector<CaptureRequest> requests, Delivery deliver) {
    if (!d_.captureAllowed_) {
        return false;
    }
    for (const CaptureRequest& request : requests) {
        d_.pendingCaptures_.push_back(request);
        d_.captureQueue_.push_back({request, deliver});
    }
    return true;
}

void SimDesktop::finishCaptures() {
    std::vector<PendingCapture> queue;
    queue.swap(captureQueue_);
    pendingCaptures_.clear();
    for (PendingCapture& pending : queue) {
        std::optional<Bitmap> image;
        const CaptureRequest& r = pending.request;
        const auto found = windows_.find(r.window);
        if (found != windows_.end() && r.width > 0 && r.height > 0) {
            // The window keeps its shape inside the size asked.
            const Rect& bounds = found->second->bounds;
            const double scale = std::min(r.width / bounds.width, r.height / bounds.height);
            const int width = std::clamp(static_cast<int>(std::lround(bounds.width * scale)), 1, r.width);
            const int height = std::clamp(static_cast<int>(std::lround(bounds.height * scale)), 1, r.height);
            Bitmap b{width, height, 4 * width, QByteArray()};
            b.pixels.resize(static_cast<qsizetype>(b.stride) * b.height);
            const std::uint32_t pixel = 0xFF000000u | r.window;
            for (qsizetype i = 0; i < b.pixels.size(); i += 4) {
                std::memcpy(b.pixels.data() + i, &pixel, 4);
            }
            image = std::move(b);
        }
        scheduler_.post([alive = std::weak_ptr<bool>(alive_), deliver = std::move(pending.deliver), window = r.window,
                         image = std::move(image)] {
            if (alive.lock()) {
                deliver(window, image);
            }
        });
    }
}

std::optional<Bitmap> SimDesktop::SimAppIcons::icon(std::int32_t pid, std::uint32_t, int) {
    ++d_.iconRequests_;
    auto found = d_.appIcons_.find(pid);
    if (found == d_.appIcons_.end() || !d_.findApp(pid)) {
        return std::nullopt;
    }
    return found->second;
}

void SimDesktop::setAppIcon(std::int32_t pid, std::optional<Bitmap> icon) {
    if (icon) {
        appIcons_[pid] = std::move(*icon);
    } else {
        appIcons_.erase(pid);
    }
}

} // namespace tillory::platform::sim
