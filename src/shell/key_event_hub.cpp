#include "shell/key_event_hub.h"

#include "core/uuid.h"
#include "platform/api/accessibility.h"
#include "platform/api/event_taps.h"

#include <algorithm>

namespace tillory::shell {
namespace {
KeyEventHub* sharedHub = nullptr;
}

KeyEventHub::KeyEventHub(platform::EventTaps& taps, platform::Accessibility& accessibility,
                         core::Scheduler& scheduler)
    : taps_(taps), accessibility_(accessibility), scheduler_(scheduler) {}

KeyEventHub::~KeyEventHub() {
    if (sharedHub == this) {
        sharedHub = nullptr;
    }
}

KeyEventHub* KeyEventHub::shared() { return sharedHub; }

void KeyEventHub::setShared(KeyEventHub* hub) { sharedHub = hub; }

QUuid KeyEventHub::registerHandler(Handler handler) {
    const QUuid token = core::makeUuid();
    registrations_.push_back({token, std::make_shared<const Handler>(std::move(handler))});
    ensureTap();
    startWatchdog();
    return token;
}

void KeyEventHub::unregister(const QUuid& token) {
    for (std::size_t i = registrations_.size(); i-- > 0;) {
        if (registrations_[i].id == token) {
            registrations_.erase(registrations_.begin() + static_cast<std::ptrdiff_t>(i));
            if (i < nextHandler_) {
                --nextHandler_; // unregistered during dispatch: the handler due next moved down one place
            }
        }
    }
    tearDownIfIdle();
}

void KeyEventHub::setExclusive(std::optional<Handler> handler) {
    exclusive_ = handler ? std::make_shared<const Handler>(std::move(*handler)) : nullptr;
    if (exclusive_) {
        ensureTap();
        startWatchdog();
    } else {
        tearDownIfIdle();
    }
}

void KeyEventHub::ensureTap() {
    if (tap_ || !accessibility_.isTrusted()) {
        return;
    }
    tap_ = taps_.createTap(kKeyboardMask, [this](platform::EventType type, const platform::Event& event) {
        return dispatch(type, event);
    });
    if (tap_) {
        tap_->setEnabled(true);
    }
}

platform::EventResult KeyEventHub::dispatch(platform::EventType type, const platform::Event& event) {
    if (type == platform::EventType::TapDisabledByTimeout || type == platform::EventType::TapDisabledByUserInput) {
        if (tap_) {
            tap_->setEnabled(true);
        }
        return event;
    }
    if (exclusive_) {
        // A replacement from the exclusive handler is ignored: it only decides pass or swallow.
        const std::shared_ptr<const Handler> exclusive = exclusive_;
        return (*exclusive)(type, event) ? platform::EventResult(event) : std::nullopt;
    }
    // A handler may unregister itself or others while it runs; unregister() keeps nextHandler_ on the handler
    // due next, so that nobody is skipped and nobody removed is called.
    const std::size_t outer = nextHandler_;
    platform::EventResult current(event);
    for (nextHandler_ = 0; current && nextHandler_ < registrations_.size();) {
        const std::shared_ptr<const Handler> handler = registrations_[nextHandler_++].handler;
        current = (*handler)(type, *current);
    }
    nextHandler_ = outer;
    return current;
}

void KeyEventHub::startWatchdog() {
    if (watchdog_) {
        return;
    }
    watchdog_ = scheduler_.every(kWatchdogInterval, [this] { watchdogTick(); });
}

void KeyEventHub::watchdogTick() {
    if (!isInUse()) {
        return;
    }
    if (tap_) {
        if (!tap_->isEnabled()) {
            tap_->setEnabled(true);
        }
    } else {
        ensureTap();
    }
}

void KeyEventHub::tearDownIfIdle() {
    if (isInUse()) {
        return;
    }
    if (tap_) {
        tap_->setEnabled(false);
        tap_.reset();
    }
    watchdog_.reset();
}

} // namespace tillory::shell
