#pragma once

#include "keys/cleaner_panel.h"
#include "platform/api/subscription.h"

#include <QObject>

#include <memory>
#include <vector>

namespace tillory::platform {
class Accessibility;
class Screens;
} // namespace tillory::platform

namespace tillory::shell {
class KeyEventHub;
}

namespace tillory::keys {

/// The keyboard-cleaning lock: while active it holds the hub's exclusive slot with a handler that swallows every
/// keyboard event, and shows one overlay panel per screen. The mouse keeps working, so the overlay's slider is the
/// way out. Main thread.
class KeyboardCleanerController : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isActive READ isActive NOTIFY isActiveChanged)

public:
    /// The hub, accessibility, screens and factory must outlive the controller.
    KeyboardCleanerController(shell::KeyEventHub& hub, platform::Accessibility& accessibility,
                              platform::Screens& screens, CleanerPanelFactory& panels, QObject* parent = nullptr);
    /// Stops the lock, so that the keys never stay blocked without an overlay to unlock them.
    ~KeyboardCleanerController() override;

    /// The controller of the process, set by its owner; null before that and after it is destroyed.
    static KeyboardCleanerController* shared();
    static void setShared(KeyboardCleanerController* controller);

    bool isActive() const { return isActive_; }
    /// Number of overlay panels shown (one per screen while active).
    std::size_t panelCount() const { return panels_.size(); }

    /// Turns the lock on. Without accessibility it asks for the permission (the system prompt) and stays off;
    /// when the keys cannot all be blocked right now it stays off without asking. Does nothing while active.
    void start();
    /// Turns the lock off and closes the panels. Does nothing while inactive.
    void stop();

Q_SIGNALS:
    void isActiveChanged();

private:
    void present();

    shell::KeyEventHub& hub_;
    platform::Accessibility& accessibility_;
    platform::Screens& screens_;
    CleanerPanelFactory& panelFactory_;
    bool isActive_ = false;
    std::vector<std::unique_ptr<CleanerPanel>> panels_;
    platform::SubscriptionPtr screenObserver_;
};

} // namespace tillory::keys
