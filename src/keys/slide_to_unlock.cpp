#include "keys/slide_to_unlock.h"

#include <QLoggingCategory>

#include <algorithm>
#include <cmath>

namespace tillory::keys {

Q_LOGGING_CATEGORY(lcSlider, "tillory.keys.slider", QtWarningMsg)

SlideToUnlock::SlideToUnlock(QObject* parent) : QObject(parent) {}

double SlideToUnlock::labelOpacity() const {
    return std::max(kLabelMaxOpacity - offset_ / kTravel, kLabelMinOpacity);
}

void SlideToUnlock::dragChanged(double translationX, double translationY) {
    if (unlocked_) {
        return;
    }
    if (!dragging_) {
        // A small wobble of a click is not a drag.
        if (std::hypot(translationX, translationY) < kMinimumDragDistance) {
            return;
        }
        dragging_ = true;
    }
    setOffset(std::clamp(translationX, 0.0, kTravel));
}

void SlideToUnlock::released() {
    qCDebug(lcSlider) << "released at" << offset_ << (dragging_ ? "after a drag" : "without a drag");
    if (unlocked_ || !dragging_) {
        return;
    }
    dragging_ = false;
    if (offset_ >= kThreshold) {
        unlocked_ = true;
        setOffset(kTravel);
        Q_EMIT unlockedChanged();
        Q_EMIT knobSymbolChanged();
        Q_EMIT unlockRequested();
    } else {
        setOffset(0);
    }
}

void SlideToUnlock::setOffset(double offset) {
    if (offset == offset_) {
        return;
    }
    const double opacityBefore = labelOpacity();
    offset_ = offset;
    Q_EMIT offsetChanged();
    if (labelOpacity() != opacityBefore) {
        Q_EMIT labelOpacityChanged();
    }
}

} // namespace tillory::keys
