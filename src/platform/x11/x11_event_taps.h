#pragma once

#include "platform/api/event_taps.h"
#include "platform/api/workspace.h"

#include <QStringList>

#include <memory>

namespace tillory::platform::nix {

/// Keyboard taps on X11. X shows a program only the keys it grabs, so a tap grabs the keys of its triggers
/// (passively, only while a trigger's application is in front) and, while capturing, the whole keyboard. Every
/// key it receives runs through the callbacks; what they let through is typed again into the focused window
/// through XTest, with the tap's own grabs lifted for that moment so that it does not come back. Keys nobody
/// asked for never pass through the program. Own connection to $DISPLAY; main thread.
///
/// Mouse taps (left button down, up and dragged) watch the pointer without grabbing it and cannot swallow
/// anything (see createMouseTap). A tap of keys and mouse events together is refused.
class X11EventTaps final : public EventTaps {
public:
    /// `workspace` (may be null) tells which application is in front.
    explicit X11EventTaps(Workspace* workspace);
    ~X11EventTaps() override;
    X11EventTaps(const X11EventTaps&) = delete;
    X11EventTaps& operator=(const X11EventTaps&) = delete;

    /// True when the server offers what keyboard control needs (a connection, XTest and XKB).
    bool isAvailable() const;

    std::unique_ptr<EventTap> createTap(std::uint64_t mask, EventCallback callback) override;
    bool post(const Event& event) override;
    std::uint64_t currentFlags() const override;
    SubscriptionPtr monitorClicksElsewhere(std::uint64_t mask, std::function<void(const Event&)> onClick) override;
    SubscriptionPtr monitorOwnClicks(std::uint64_t mask,
                                     std::function<void(const Event&, std::uint64_t window)> onClick) override;

    /// True while the program holds the keyboard: during a session, and while it handles a key it grabbed.
    bool holdsKeyboard() const;

    /// Chords that another program (usually the window manager) already holds, as "Super+V"; a tap goes on
    /// without them.
    QStringList refusedChords() const;
    /// Injections waiting for the user to release modifiers; for tests.
    int pendingInjections() const;

    class Impl;

private:
    std::unique_ptr<Impl> d_;
};

} // namespace tillory::platform::nix
