#pragma once

#include "core/scheduler.h"
#include "keys/cleaner_panel.h"
#include "platform/api/subscription.h"

#include <QObject>

#include <memory>
#include <vector>

namespace tillory::platform {
class Accessibility;
class Screens;
} // namespace tillory::platform

namespace tillory::keyhub {
class KeyEventHub;
}

namespace tillory::keys {

/// The keyboard-cleaning lock: while active it holds the hub's exclusive slot with a handler that swallows every
/// keyboard event, and shows one overlay panel per screen. The mouse keeps working, so the overlay's slider is the
/// way out; without any overlay there is no way out, so the lock never starts without one and ends when the last
/// one has been gone for `kNoOverlayGrace`. Main thread.
class KeyboardCleanerController : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isActive READ isActive NOTIFY isActiveChanged)

public:
    /// Seconds the lock outlasts its last overlay, so that a screen being swapped (its set briefly empty) does not
    /// end it.
    static constexpr double kNoOverlayGrace = 3.0;

    /// The hub, accessibility, screens, factory and scheduler must outlive the controller.
    KeyboardCleanerController(keyhub::KeyEventHub& hub, platform::Accessibility& accessibility,
                              platform::Screens& screens, CleanerPanelFactory& panels, core::Scheduler& scheduler,
                              QObject* parent = nullptr);
    /// Stops the lock, so that the keys never stay blocked without an overlay to unlock them.
    ~KeyboardCleanerController() override;

    /// The controller of the process, set by its owner; null before that and after it is destroyed.
    static KeyboardCleanerController* shared();
    static void setShared(KeyboardCleanerController* controller);

    bool isActive() const { return isActive_; }
    /// Number of overlay panels shown (one per screen while active).
    std::size_t panelCount() const { return panels_.size(); }

    /// Turns the lock on. Without accessibility it asks for the permission (the system prompt) and stays off;
    /// when the keys cannot all be blocked right now, or no overlay can be shown, it stays off without asking.
    /// Does nothing while active.
    void start();
    /// Turns the lock off and closes the panels. Does nothing while inactive.
    void stop();

Q_SIGNALS:
    void isActiveChanged();

private:
    void present();
    /// While active: starts the countdown to the end of the lock when no overlay is left, cancels it otherwise.
    void watchOverlays();

    keyhub::KeyEventHub& hub_;
    platform::Accessibility& accessibility_;
    platform::Screens& screens_;
    CleanerPanelFactory& panelFactory_;
    core::Scheduler& scheduler_;
    bool isActive_ = false;
    std::vector<std::unique_ptr<CleanerPanel>> panels_;
    platform::SubscriptionPtr screenObserver_;
    core::TimerPtr noOverlayTimer_; // running while active without any overlay
};

} // namespace tillory::keys
