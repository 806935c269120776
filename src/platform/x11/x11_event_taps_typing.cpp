#include "platform/x11/x11_event_taps_impl.h"

// Typing keys through XTest: what the taps let through, and what the program posts.
namespace tillory::platform::nix {

void X11EventTaps::Impl::post(const Event& event) {
    Injection injection;
    injection.since = clock_.elapsed();
    injection.userData = event.userData;
    injection.press = event.type == EventType::KeyDown;
    injection.chord = xChordFor(int(event.keyCode), event.flags);
    if (injection.chord) {
        enqueue(injection);
    }
}

void X11EventTaps::Impl::enqueue(Injection injection) {
    injections_.push_back(injection);
    flushInjections();
}

void X11EventTaps::Impl::flushInjections() {
    while (!injections_.empty()) {
        const Injection& next = injections_.front();
        if (next.chord) {
            // A chord must reach the application with its own modifiers only, so wait for the user to let go
            // of the others (the Super of Super+V still held after a pick), and in the end lift them.
            const std::uint16_t extra = heldMods() & kChordMods & ~next.chord->mods;
            if (extra && clock_.elapsed() - next.since < kModifierWaitMs) {
                if (!modifierPoll_.isActive()) {
                    modifierPoll_.start();
                }
                return;
            }
            if (extra) {
                releaseHeldModifiers(extra);
            }
            if (next.press) {
                typeChord(*next.chord, next.userData);
            }
        } else {
            typeKey(next.keycode, next.press, next.mods, next.userData);
        }
        injections_.pop_front();
    }
    modifierPoll_.stop();
    xcb_flush(c_);
}

void X11EventTaps::Impl::type(const std::vector<Keystroke>& strokes) {
    if (strokes.empty()) {
        return;
    }
    // Our grabs are lifted around the whole injection, so the keys reach the focused window and not us; should
    // one come back anyway, it is recognised as ours for a short while.
    xcb_ungrab_keyboard(c_, XCB_CURRENT_TIME);
    std::set<std::uint8_t> keycodes;
    for (const Keystroke& stroke : strokes) {
        if (keycodes.insert(stroke.keycode).second) {
            xcb_ungrab_key(c_, stroke.keycode, root_, XCB_MOD_MASK_ANY);
        }
    }
    for (const Keystroke& stroke : strokes) {
        qCDebug(lcTaps) << "typing" << (stroke.press ? "press" : "release") << stroke.keycode;
        if (stroke.press) {
            typed_.push_back({stroke.keycode, 0, 0, clock_.elapsed() + kTypedMs});
        }
        xcb_test_fake_input(c_, stroke.press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, stroke.keycode, XCB_CURRENT_TIME, root_,
                            0, 0, 0);
        if (stroke.userData >= 0) {
            expected_.push_back(
                {stroke.keycode, stroke.press, stroke.mods, stroke.userData, clock_.elapsed() + kExpectMs});
        }
    }
    for (const GrabKey& key : grabbed_) {
        if (keycodes.count(key.first)) {
            xcb_grab_key(c_, 0, root_, key.second, key.first, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        }
    }
    if (!capturing_) {
        syncPressed();
        return;
    }
    Reply<xcb_grab_keyboard_reply_t> reply(xcb_grab_keyboard_reply(
        c_, xcb_grab_keyboard(c_, 0, root_, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC), nullptr));
    if (!reply || reply->status != XCB_GRAB_STATUS_SUCCESS) {
        // Another program took the keyboard in the moment ours was let go: take it back as soon as it is free.
        qCWarning(lcTaps) << "lost the keyboard to another program; taking it back when it is free";
        capturing_ = false;
        captureRetry_.start();
    }
}

void X11EventTaps::Impl::typeKey(std::uint8_t keycode, bool press, std::uint16_t mods, std::int64_t userData) {
    if (!press) {
        return;
    }
    std::vector<Keystroke> strokes;
    // The user's own press may still hold the key down where ours is typed (one XTest device under a test
    // server): let it up first, or ours would count as a repeat.
    if (isDown(keycode)) {
        strokes.push_back({keycode, false, mods, -1});
    }
    strokes.push_back({keycode, true, mods, userData});
    strokes.push_back({keycode, false, mods, userData});
    type(strokes);
}

} // namespace tillory::platform::nix
