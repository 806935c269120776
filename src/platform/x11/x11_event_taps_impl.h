#pragma once

// The X11 key taps' state, shared by the file that watches keys and the one that types them.

#include "platform/x11/x11_event_taps.h"

#include "platform/linux/key_table.h"
#include "platform/linux/native_pixels.h"
#include "platform/x11/x11_click_monitors.h"
#include "platform/x11/x11_mouse_tap.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xinput.h>
// The XKB header names a field `explicit`, which C++ reserves.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#include <xcb/xtest.h>

#include <algorithm>
#include <bitset>
#include <cstdlib>
#include <deque>
#include <map>
#include <set>

namespace tillory::platform::nix {

Q_DECLARE_LOGGING_CATEGORY(lcTaps)

constexpr std::uint16_t kChordMods = XMod::Shift | XMod::Control | XMod::Alt | XMod::Super;
// Grabs must hold whatever the lock keys are doing.
constexpr std::array<std::uint16_t, 4> kLockVariants{0, XMod::Lock, XMod::NumLock, XMod::Lock | XMod::NumLock};
// How long an injection of ours may take to come back through our own grabs and still be recognised. Our grabs
// are lifted while we type, so nothing should come back; this is the net under that. It is matched on key,
// direction and modifiers and kept far shorter than anyone types the same key twice, so that the user's own
// next key is never taken for ours.
constexpr qint64 kExpectMs = 25;
// How long an injection waits for the user to let go of modifiers it must not carry.
constexpr qint64 kModifierWaitMs = 1500;
constexpr int kModifierPollMs = 10;
constexpr int kGrabAttempts = 10;
constexpr unsigned long kGrabRetryMs = 20;
constexpr int kCaptureRetryMs = 250;
// Key codes outside the logic's keyboard: no feature mistakes them for a key it knows.
constexpr std::int64_t kUnknownKeyBase = 0x1000;
// How long after the server saw a chord of ours pressed its grab must have brought it here. Another program that
// holds the whole keyboard while a modifier is down (a window manager that opens its menu on Super alone) keeps it
// from us for good; this only has to be longer than delivery takes.
constexpr int kArrivalMs = 300;
// Our own typing is left out of that watch for this long.
constexpr qint64 kTypedMs = 200;

template <typename T> struct FreeDeleter {
    void operator()(T* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter<T>>;

class X11Tap;

class X11EventTaps::Impl {
public:
    explicit Impl(Workspace* workspace);
    ~Impl();

    bool available() const { return available_; }
    bool holdsKeyboard() const { return capturing_ || dispatching_; }
    xcb_connection_t* connection() const { return c_; }
    xcb_window_t root() const { return root_; }

    void addTap(X11Tap* tap);
    void removeTap(X11Tap* tap);
    void tapsChanged() { updateGrabs(); }
    /// Takes or lets go of the keyboard as the taps want; a refused grab is asked again up to `attempts` times.
    bool updateCapture(int attempts = kGrabAttempts);
    bool wantsCapture() const;
    void post(const Event& event);
    std::uint16_t heldMods() const;

    QStringList refused;
    int pending() const { return static_cast<int>(injections_.size()); }

private:
    struct Expected {
        std::uint8_t keycode;
        bool press;
        std::uint16_t mods; // the chord modifiers it carries
        std::int64_t userData;
        qint64 deadline;
    };
    struct Injection {
        std::uint8_t keycode = 0; // a key as it was typed: the server's modifier state applies
        bool press = false;
        std::optional<XChord> chord; // or a chord to type with exactly its modifiers
        std::uint16_t mods = 0;      // the modifiers the typed key carries
        std::int64_t userData = 0;
        qint64 since = 0;
    };
    using GrabKey = std::pair<std::uint8_t, std::uint16_t>; // keycode, modifiers

    void readEvents();
    void watchReleases();
    /// A key the server saw pressed, whoever it went to: when it makes a chord we grab, the grab must bring it
    /// here; `checkArrivals` tells whether it did.
    void onRawPress(std::uint8_t keycode, xcb_timestamp_t time);
    void checkArrivals();
    /// The keys the server holds down now: after our grab ends their releases go elsewhere, and a key still
    /// held must go on counting as held, or its next repeat would pass for a fresh press.
    void syncPressed();
    void onKey(const xcb_key_press_event_t* event, bool press);
    std::set<GrabKey> wantedGrabs() const;
    void updateGrabs();
    void grabKeys(const std::set<GrabKey>& keys);
    std::vector<std::uint8_t> keycodesFor(std::uint32_t keysym) const;
    std::uint32_t keysymOf(std::uint8_t keycode) const;

    void enqueue(Injection injection);
    void flushInjections();
    void typeKey(std::uint8_t keycode, bool press, std::uint16_t mods, std::int64_t userData);
    bool isDown(std::uint8_t keycode) const;
    void typeChord(const XChord& chord, std::int64_t userData);
    struct Keystroke {
        std::uint8_t keycode;
        bool press;
        std::uint16_t mods;    // the chord modifiers it will carry, to recognise it should it come back
        std::int64_t userData; // what it is marked with if it comes back; negative: not watched for
    };
    void type(const std::vector<Keystroke>& strokes);
    void releaseHeldModifiers(std::uint16_t mods);

    xcb_connection_t* c_ = nullptr;
    xcb_window_t root_ = 0;
    xcb_key_symbols_t* syms_ = nullptr;
    bool available_ = false;
    Workspace* workspace_ = nullptr;
    SubscriptionPtr activations_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::vector<X11Tap*> taps_;
    std::set<GrabKey> grabbed_;
    bool capturing_ = false;
    bool dispatching_ = false;
    std::bitset<256> pressed_;
    std::uint8_t xinputOpcode_ = 0; // 0: no XInput 2, so releases we do not receive cannot be followed
    std::deque<Expected> expected_;
    std::deque<Injection> injections_;
    struct Pressed {
        std::uint8_t keycode;
        xcb_timestamp_t time;
        std::uint16_t mods;
        qint64 deadline;
    };
    std::deque<Pressed> awaited_; // chords of ours the server saw pressed, until they arrive
    std::deque<Pressed> arrived_; // the last presses our grabs brought, to match their raw twins in either order
    std::deque<Pressed> typed_;   // presses we typed ourselves, never to be awaited
    QStringList unheard_;         // in `refused` because they stopped arriving, not because a grab failed
    QTimer arrivalCheck_;
    QTimer modifierPoll_;
    QTimer captureRetry_; // while a capture someone still wants has been lost
    QElapsedTimer clock_;
};

} // namespace tillory::platform::nix
