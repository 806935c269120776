#include "keyhub/key_event_hub.h"

#include "core/uuid.h"
#include "platform/api/accessibility.h"
#include "platform/api/event_taps.h"

#include <algorithm>

namespace tillory::keyhub {
namespace {
KeyEventHub* sharedHub = nullptr;
}

KeyEventHub::KeyEventHub(platform::EventTaps& taps, platform::Accessibility& accessibility, core::Scheduler& scheduler)
    : taps_(taps), accessibility_(accessibility), scheduler_(scheduler) {}

KeyEventHub::~KeyEventHub() {
    if (sharedHub == this) {
        sharedHub = nullptr;
    }
}

KeyEventHub* KeyEventHub::shared() {
    return sharedHub;
}

void KeyEventHub::setShared(KeyEventHub* hub) {
    sharedHub = hub;
}

QUuid KeyEventHub::registerHandler(Handler handler, std::vector<platform::KeyTrigger> triggers) {
    const QUuid token = core::makeUuid();
    registrations_.push_back({token, std::make_shared<const Handler>(std::move(handler)), std::move(triggers)});
    pushTriggers();
    ensureTap();
    startWatchdog();
    return token;
}

void KeyEventHub::unregister(const QUuid& token) {
    for (std::size_t i = registrations_.size(); i-- > 0;) {
        if (registrations_[i].id == token) {
            registrations_.erase(registrations_.begin() + static_cast<std::ptrdiff_t>(i));
            for (std::size_t* next : dispatches_) {
                if (i < *next) {
                    --*next; // unregistered during dispatch: the handler due next moved down one place
                }
            }
        }
    }
    pushTriggers();
    pushCapturing();
    tearDownIfIdle();
}

void KeyEventHub::setTriggers(const QUuid& token, std::vector<platform::KeyTrigger> triggers) {
    for (Registration& registration : registrations_) {
        if (registration.id == token) {
            registration.triggers = triggers;
        }
    }
    pushTriggers();
}

bool KeyEventHub::setCapturing(const QUuid& token, bool capturing) {
    bool known = false;
    for (Registration& registration : registrations_) {
        if (registration.id == token) {
            registration.capturing = capturing;
            known = true;
        }
    }
    const bool ok = pushCapturing();
    return !known || !capturing || ok;
}

bool KeyEventHub::setExclusive(std::optional<Handler> handler) {
    exclusive_ = handler ? std::make_shared<const Handler>(std::move(*handler)) : nullptr;
    if (!exclusive_) {
        pushCapturing();
        tearDownIfIdle();
        return true;
    }
    ensureTap();
    startWatchdog();
    if (!pushCapturing()) {
        // Keys could not be blocked: keeping the handler would only block the few the tap does see.
        exclusive_ = nullptr;
        pushCapturing();
        tearDownIfIdle();
        return false;
    }
    return true;
}

bool KeyEventHub::wantsCapture() const {
    return exclusive_ ||
           std::any_of(registrations_.begin(), registrations_.end(), [](const Registration& r) { return r.capturing; });
}

void KeyEventHub::pushTriggers() {
    if (!tap_) {
        return;
    }
    std::vector<platform::KeyTrigger> triggers;
    for (const Registration& registration : registrations_) {
        triggers.insert(triggers.end(), registration.triggers.begin(), registration.triggers.end());
    }
    tap_->setTriggers(std::move(triggers));
}

bool KeyEventHub::pushCapturing() {
    const bool wanted = wantsCapture();
    if (!tap_) {
        tapCapturing_ = false;
        return true; // nothing to capture with yet; the tap captures when it comes up
    }
    if (wanted == tapCapturing_) {
        return true;
    }
    const bool ok = tap_->setCapturing(wanted);
    tapCapturing_ = wanted && ok;
    return ok;
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
        tapCapturing_ = false;
        pushTriggers();
        pushCapturing();
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
    // A handler may unregister itself or others while it runs, or dispatch another event from a nested event
    // loop; unregister() keeps every dispatch's index on the handler due next, so that nobody is skipped and
    // nobody removed is called.
    std::size_t next = 0;
    dispatches_.push_back(&next);
    struct Pop {
        std::vector<std::size_t*>& stack;
        ~Pop() { stack.pop_back(); }
    } pop{dispatches_};
    platform::EventResult current(event);
    while (current && next < registrations_.size()) {
        const std::shared_ptr<const Handler> handler = registrations_[next++].handler;
        current = (*handler)(type, *current);
    }
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
        pushCapturing(); // a capture the platform refused earlier is tried again
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
    tapCapturing_ = false;
    watchdog_.reset();
}

} // namespace tillory::keyhub
