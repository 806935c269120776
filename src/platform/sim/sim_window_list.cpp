#include "platform/sim/sim_window_list.h"

#include "platform/sim/sim_desktop_internal.h"

namespace tillory::platform::sim {

std::vector<WindowInfo> SimDesktop::SimWindowList::windows(unsigned options) {
    std::vector<WindowInfo> list;
    if (!d_.windowListReadable_) {
        return list;
    }
    for (std::uint32_t number : d_.zOrder_) {
        const WindowInfo info = *d_.window(number);
        if ((options & static_cast<unsigned>(WindowListOption::OnScreenOnly)) && !info.isOnscreen) {
            continue;
        }
        list.push_back(info);
    }
    return list;
}

bool SimDesktop::SimScreenCapture::hasAccess() const {
    return d_.captureAllowed_;
}

bool SimDesktop::SimScreenCapture::requestAccess() {
    ++d_.captureRequests_;
    return d_.captureAllowed_;
}

} // namespace tillory::platform::sim
