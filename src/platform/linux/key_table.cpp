#include "platform/linux/key_table.h"

#include "platform/api/event.h"

#include <X11/keysym.h>

#include <array>

namespace tillory::platform::nix {
namespace {

struct KeyPair {
    int keyCode;
    std::uint32_t keysym;
};

// Positions of the ANSI keyboard the logic's key codes name, with the keysym each types unshifted.
constexpr std::array kKeys{
    KeyPair{0, XK_a},
    KeyPair{1, XK_s},
    KeyPair{2, XK_d},
    KeyPair{3, XK_f},
    KeyPair{4, XK_h},
    KeyPair{5, XK_g},
    KeyPair{6, XK_z},
    KeyPair{7, XK_x},
    KeyPair{8, XK_c},
    KeyPair{9, XK_v},
    KeyPair{11, XK_b},
    KeyPair{12, XK_q},
    KeyPair{13, XK_w},
    KeyPair{14, XK_e},
    KeyPair{15, XK_r},
    KeyPair{16, XK_y},
    KeyPair{17, XK_t},
    KeyPair{18, XK_1},
    KeyPair{19, XK_2},
    KeyPair{20, XK_3},
    KeyPair{21, XK_4},
    KeyPair{22, XK_6},
    KeyPair{23, XK_5},
    KeyPair{24, XK_equal},
    KeyPair{25, XK_9},
    KeyPair{26, XK_7},
    KeyPair{27, XK_minus},
    KeyPair{28, XK_8},
    KeyPair{29, XK_0},
    KeyPair{30, XK_bracketright},
    KeyPair{31, XK_o},
    KeyPair{32, XK_u},
    KeyPair{33, XK_bracketleft},
    KeyPair{34, XK_i},
    KeyPair{35, XK_p},
    KeyPair{36, XK_Return},
    KeyPair{37, XK_l},
    KeyPair{38, XK_j},
    KeyPair{39, XK_apostrophe},
    KeyPair{40, XK_k},
    KeyPair{41, XK_semicolon},
    KeyPair{42, XK_backslash},
    KeyPair{43, XK_comma},
    KeyPair{44, XK_slash},
    KeyPair{45, XK_n},
    KeyPair{46, XK_m},
    KeyPair{47, XK_period},
    KeyPair{48, XK_Tab},
    KeyPair{49, XK_space},
    KeyPair{50, XK_grave},
    KeyPair{51, XK_BackSpace},
    KeyPair{53, XK_Escape},
    KeyPair{54, XK_Super_R},
    KeyPair{55, XK_Super_L},
    KeyPair{56, XK_Shift_L},
    KeyPair{57, XK_Caps_Lock},
    KeyPair{58, XK_Alt_L},
    KeyPair{59, XK_Control_L},
    KeyPair{60, XK_Shift_R},
    KeyPair{61, XK_Alt_R},
    KeyPair{62, XK_Control_R},
    KeyPair{65, XK_KP_Decimal},
    KeyPair{67, XK_KP_Multiply},
    KeyPair{69, XK_KP_Add},
    KeyPair{75, XK_KP_Divide},
    KeyPair{76, XK_KP_Enter},
    KeyPair{78, XK_KP_Subtract},
    KeyPair{81, XK_KP_Equal},
    KeyPair{82, XK_KP_0},
    KeyPair{83, XK_KP_1},
    KeyPair{84, XK_KP_2},
    KeyPair{85, XK_KP_3},
    KeyPair{86, XK_KP_4},
    KeyPair{87, XK_KP_5},
    KeyPair{88, XK_KP_6},
    KeyPair{89, XK_KP_7},
    KeyPair{91, XK_KP_8},
    KeyPair{92, XK_KP_9},
    KeyPair{96, XK_F5},
    KeyPair{97, XK_F6},
    KeyPair{98, XK_F7},
    KeyPair{99, XK_F3},
    KeyPair{100, XK_F8},
    KeyPair{101, XK_F9},
    KeyPair{103, XK_F11},
    KeyPair{109, XK_F10},
    KeyPair{111, XK_F12},
    KeyPair{114, XK_Help},
    KeyPair{115, XK_Home},
    KeyPair{116, XK_Prior},
    KeyPair{117, XK_Delete},
    KeyPair{118, XK_F4},
    KeyPair{119, XK_End},
    KeyPair{120, XK_F2},
    KeyPair{121, XK_Next},
    KeyPair{122, XK_F1},
    KeyPair{123, XK_Left},
    KeyPair{124, XK_Right},
    KeyPair{125, XK_Down},
    KeyPair{126, XK_Up},
};

// Keys that type the same as a listed key on this side of the keyboard or with another keysym.
constexpr std::array kAliases{
    KeyPair{55, XK_Meta_L},
    KeyPair{54, XK_Meta_R},
    KeyPair{58, XK_ISO_Level3_Shift},
    KeyPair{48, XK_ISO_Left_Tab},
};

struct ChordTranslation {
    int keyCode;
    std::uint64_t flags;
    XChord chord;
};

constexpr std::array kChords{
    ChordTranslation{KeyCode::V, EventFlags::Command, XChord{XK_v, XMod::Control}},
    ChordTranslation{KeyCode::Delete, EventFlags::Command, XChord{XK_Delete, 0}},
};

constexpr std::uint64_t kCapsLockFlag = 0x10000;
constexpr std::uint64_t kModifierFlags =
    EventFlags::Shift | EventFlags::Control | EventFlags::Option | EventFlags::Command;

} // namespace

std::optional<int> keyCodeForKeysym(std::uint32_t keysym) {
    // Shifted letters arrive when a keymap lists upper case first; they are the same key.
    if (keysym >= XK_A && keysym <= XK_Z) {
        keysym += XK_a - XK_A;
    }
    for (const KeyPair& pair : kKeys) {
        if (pair.keysym == keysym) {
            return pair.keyCode;
        }
    }
    for (const KeyPair& pair : kAliases) {
        if (pair.keysym == keysym) {
            return pair.keyCode;
        }
    }
    return std::nullopt;
}

std::uint32_t keysymForKeyCode(int keyCode) {
    for (const KeyPair& pair : kKeys) {
        if (pair.keyCode == keyCode) {
            return pair.keysym;
        }
    }
    return 0;
}

std::uint64_t flagsFromXState(std::uint16_t state) {
    std::uint64_t flags = 0;
    if (state & XMod::Shift) {
        flags |= EventFlags::Shift;
    }
    if (state & XMod::Control) {
        flags |= EventFlags::Control;
    }
    if (state & XMod::Alt) {
        flags |= EventFlags::Option;
    }
    if (state & XMod::Super) {
        flags |= EventFlags::Command;
    }
    if (state & XMod::Lock) {
        flags |= kCapsLockFlag;
    }
    return flags;
}

std::uint16_t xModsFromFlags(std::uint64_t flags) {
    std::uint16_t mods = 0;
    if (flags & EventFlags::Shift) {
        mods |= XMod::Shift;
    }
    if (flags & EventFlags::Control) {
        mods |= XMod::Control;
    }
    if (flags & EventFlags::Option) {
        mods |= XMod::Alt;
    }
    if (flags & EventFlags::Command) {
        mods |= XMod::Super;
    }
    return mods;
}

std::optional<ModifierKey> modifierKey(std::uint32_t keysym) {
    switch (keysym) {
    case XK_Shift_L:
    case XK_Shift_R:
        return ModifierKey{XMod::Shift};
    case XK_Control_L:
    case XK_Control_R:
        return ModifierKey{XMod::Control};
    case XK_Alt_L:
    case XK_Alt_R:
    case XK_Meta_L:
    case XK_Meta_R:
        return ModifierKey{XMod::Alt};
    case XK_Super_L:
    case XK_Super_R:
        return ModifierKey{XMod::Super};
    case XK_Caps_Lock:
        return ModifierKey{XMod::Lock};
    default:
        return std::nullopt;
    }
}

std::optional<XChord> xChordFor(int keyCode, std::uint64_t flags) {
    const std::uint64_t modifiers = flags & kModifierFlags;
    for (const ChordTranslation& translation : kChords) {
        if (translation.keyCode == keyCode && translation.flags == modifiers) {
            return translation.chord;
        }
    }
    const std::uint32_t keysym = keysymForKeyCode(keyCode);
    if (keysym == 0) {
        return std::nullopt;
    }
    return XChord{keysym, xModsFromFlags(modifiers)};
}

std::vector<std::uint32_t> modifierKeysyms(std::uint16_t mods) {
    std::vector<std::uint32_t> keysyms;
    if (mods & XMod::Control) {
        keysyms.push_back(XK_Control_L);
    }
    if (mods & XMod::Shift) {
        keysyms.push_back(XK_Shift_L);
    }
    if (mods & XMod::Alt) {
        keysyms.push_back(XK_Alt_L);
    }
    if (mods & XMod::Super) {
        keysyms.push_back(XK_Super_L);
    }
    return keysyms;
}

} // namespace tillory::platform::nix
