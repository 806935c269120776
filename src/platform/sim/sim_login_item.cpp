#include "platform/sim/sim_login_item.h"

namespace tillory::platform::sim {

bool SimDesktop::SimLoginItem::isEnabled() {
    return d_.loginEnabled_;
}

bool SimDesktop::SimLoginItem::registerItem() {
    return change(true);
}

bool SimDesktop::SimLoginItem::unregisterItem() {
    return change(false);
}

bool SimDesktop::SimLoginItem::change(bool enabled) {
    ++d_.loginCalls_;
    if (d_.loginRefuses_) {
        return false;
    }
    d_.loginEnabled_ = enabled;
    return true;
}

} // namespace tillory::platform::sim
