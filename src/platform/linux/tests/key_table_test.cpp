#include "platform/linux/key_table.h"

#include "platform/api/event.h"

#include <X11/keysym.h>

#include <gtest/gtest.h>

namespace tillory::platform::nix {
namespace {

TEST(X11KeyTable, KeysTheLogicHandlesHaveTheirCodes) {
    EXPECT_EQ(keyCodeForKeysym(XK_v), KeyCode::V);
    EXPECT_EQ(keyCodeForKeysym(XK_V), KeyCode::V); // a keymap may list the shifted letter first
    EXPECT_EQ(keyCodeForKeysym(XK_5), KeyCode::Five);
    EXPECT_EQ(keyCodeForKeysym(XK_6), KeyCode::Six);
    EXPECT_EQ(keyCodeForKeysym(XK_BackSpace), KeyCode::Delete);
    EXPECT_EQ(keyCodeForKeysym(XK_KP_Enter), KeyCode::KeypadEnter);
    EXPECT_EQ(keyCodeForKeysym(XK_Down), KeyCode::DownArrow);
    EXPECT_EQ(keyCodeForKeysym(XK_Meta_L), keyCodeForKeysym(XK_Super_L));
    EXPECT_FALSE(keyCodeForKeysym(0x1008FF14).has_value()); // a media key: no code to be mistaken for
    for (int code : {KeyCode::A, KeyCode::Z, KeyCode::Eight, KeyCode::Return, KeyCode::Escape, KeyCode::UpArrow}) {
        EXPECT_EQ(keyCodeForKeysym(keysymForKeyCode(code)), code) << code;
    }
}

TEST(X11KeyTable, ModifierStateMapsBothWays) {
    EXPECT_EQ(flagsFromXState(XMod::Super | XMod::Shift), EventFlags::Command | EventFlags::Shift);
    EXPECT_EQ(flagsFromXState(XMod::Alt | XMod::Control | XMod::NumLock), EventFlags::Option | EventFlags::Control);
    EXPECT_EQ(xModsFromFlags(EventFlags::Command | EventFlags::Option), XMod::Super | XMod::Alt);
    EXPECT_EQ(xModsFromFlags(flagsFromXState(XMod::Lock)), 0); // caps lock is state, not a chord modifier
    EXPECT_EQ(modifierKey(XK_Super_R)->xMod, XMod::Super);
    EXPECT_FALSE(modifierKey(XK_v).has_value());
}

TEST(X11KeyTable, ChordsWithAnotherMeaningHereAreTranslated) {
    EXPECT_EQ(xChordFor(KeyCode::V, EventFlags::Command), (XChord{XK_v, XMod::Control}));
    EXPECT_EQ(xChordFor(KeyCode::Delete, EventFlags::Command), (XChord{XK_Delete, 0}));
    // Only the exact chord is translated; others keep their modifiers.
    EXPECT_EQ(xChordFor(KeyCode::V, EventFlags::Command | EventFlags::Shift),
              (XChord{XK_v, XMod::Super | XMod::Shift}));
    EXPECT_EQ(xChordFor(KeyCode::Delete, 0), (XChord{XK_BackSpace, 0}));
    EXPECT_EQ(xChordFor(KeyCode::V, EventFlags::Command | 0x10000), (XChord{XK_v, XMod::Control}));
    EXPECT_FALSE(xChordFor(0x1000 + 160, 0).has_value());
    EXPECT_EQ(modifierKeysyms(XMod::Control | XMod::Super), (std::vector<std::uint32_t>{XK_Control_L, XK_Super_L}));
}

} // namespace
} // namespace tillory::platform::nix
