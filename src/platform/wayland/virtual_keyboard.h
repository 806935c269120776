#pragma once

#include <QByteArray>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

struct zwp_virtual_keyboard_manager_v1;
struct zwp_virtual_keyboard_v1;
struct wl_seat;

namespace tillory::platform::nix {

class WaylandConnection;

/// Types keys on a Wayland compositor as a keyboard of its own (the virtual-keyboard protocol), with the seat's
/// keymap when one is known and the desktop's default otherwise. Like a physical keyboard, each key is sent
/// before the modifier state it leads to. Main thread.
class VirtualKeyboard {
public:
    /// Nothing when the compositor offers no virtual keyboards or no seat.
    static std::unique_ptr<VirtualKeyboard> create(WaylandConnection& connection);
    ~VirtualKeyboard();

    /// The keymap text the seat's own keyboard uses; keys typed from then on follow it.
    void useKeymap(const QByteArray& keymap);
    /// Presses (or releases) the key that types `keysym` without modifiers, with the modifier keys `modifiers`
    /// (X keysyms, in press order) held around it. False when the keymap has no such key.
    bool type(std::uint32_t keysym, const std::vector<std::uint32_t>& modifiers, bool press);

private:
    VirtualKeyboard(WaylandConnection& connection, zwp_virtual_keyboard_manager_v1* manager, wl_seat* seat);
    bool uploadKeymap(const QByteArray& text);
    std::optional<std::uint32_t> evdevCode(std::uint32_t keysym) const;
    void send(std::uint32_t code, bool pressed);

    WaylandConnection& connection_;
    zwp_virtual_keyboard_manager_v1* manager_;
    wl_seat* seat_;
    zwp_virtual_keyboard_v1* keyboard_ = nullptr;
    struct Xkb;
    std::unique_ptr<Xkb> xkb_;
};

} // namespace tillory::platform::nix
