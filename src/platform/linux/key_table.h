#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace tillory::platform::nix {

// The one place where Linux keys meet the key codes and modifier flags the program's logic is written against.
// Keys are matched by keysym (what the key types without modifiers; X11 and Wayland keymaps name them alike), so
// letters and digits follow the user's layout the way the logic expects them to.

/// X core modifier bits as found on common desktops (and under Xvfb): Alt on Mod1, NumLock on Mod2, Super on
/// Mod4. Wayland compositors send the same bits for the usual keymaps.
namespace XMod {
inline constexpr std::uint16_t Shift = 0x0001;
inline constexpr std::uint16_t Lock = 0x0002;
inline constexpr std::uint16_t Control = 0x0004;
inline constexpr std::uint16_t Alt = 0x0008;
inline constexpr std::uint16_t NumLock = 0x0010;
inline constexpr std::uint16_t Super = 0x0040;
} // namespace XMod

/// The key code of the logic's keyboard for a keysym; nothing for keys it has no code for.
std::optional<int> keyCodeForKeysym(std::uint32_t keysym);
/// The keysym that types a key code; 0 when unknown.
std::uint32_t keysymForKeyCode(int keyCode);

/// Modifier flags (Shift, Control, Option, Command, plus caps lock) from an X modifier state.
std::uint64_t flagsFromXState(std::uint16_t state);
/// The X modifiers for Shift, Control, Option and Command in `flags`.
std::uint16_t xModsFromFlags(std::uint64_t flags);

/// A modifier key, by the X modifier bit it sets.
struct ModifierKey {
    std::uint16_t xMod = 0;
};
/// Nothing when the keysym is not a modifier key.
std::optional<ModifierKey> modifierKey(std::uint32_t keysym);

/// What to type on X11 for a chord of the logic's keyboard. The logic speaks the chords of the platform it was
/// designed on; the ones with a different meaning here are translated (Command-V pastes with Control-V,
/// Command-Backspace is the file managers' Delete). Anything else: the key with Super for Command, Alt for
/// Option, Control and Shift.
struct XChord {
    std::uint32_t keysym = 0;
    std::uint16_t mods = 0;
    friend bool operator==(const XChord&, const XChord&) = default;
};
std::optional<XChord> xChordFor(int keyCode, std::uint64_t flags);

/// The keysyms of the modifiers to press around a chord, in press order.
std::vector<std::uint32_t> modifierKeysyms(std::uint16_t mods);

} // namespace tillory::platform::nix
