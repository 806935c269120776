#include "platform/wayland/virtual_keyboard.h"

#include "platform/wayland/wayland_connection.h"

#include "virtual-keyboard-unstable-v1-client.h"

#include <QElapsedTimer>
#include <QLoggingCategory>

#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <sys/mman.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcVirtualKeyboard, "tillory.wayland.keys", QtInfoMsg)

namespace tillory::platform::nix {

struct VirtualKeyboard::Xkb {
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    xkb_keymap* keymap = nullptr;
    xkb_state* state = nullptr;
    QElapsedTimer clock;

    Xkb() { clock.start(); }
    ~Xkb() {
        set(nullptr);
        xkb_context_unref(context);
    }
    void set(xkb_keymap* map) {
        xkb_state_unref(state);
        xkb_keymap_unref(keymap);
        keymap = map;
        state = map ? xkb_state_new(map) : nullptr;
    }
};

std::unique_ptr<VirtualKeyboard> VirtualKeyboard::create(WaylandConnection& connection) {
    auto* manager =
        static_cast<zwp_virtual_keyboard_manager_v1*>(connection.bind(&zwp_virtual_keyboard_manager_v1_interface, 1));
    if (!manager) {
        return nullptr;
    }
    auto* seat = static_cast<wl_seat*>(connection.bind(&wl_seat_interface, 1));
    if (!seat) {
        zwp_virtual_keyboard_manager_v1_destroy(manager);
        return nullptr;
    }
    return std::unique_ptr<VirtualKeyboard>(new VirtualKeyboard(connection, manager, seat));
}

VirtualKeyboard::VirtualKeyboard(WaylandConnection& connection, zwp_virtual_keyboard_manager_v1* manager, wl_seat* seat)
    : connection_(connection), manager_(manager), seat_(seat), xkb_(std::make_unique<Xkb>()) {
    // The desktop's layout until the seat's own keymap is known (XKB_DEFAULT_* as every xkb program reads them).
    xkb_->set(xkb_keymap_new_from_names(xkb_->context, nullptr, XKB_KEYMAP_COMPILE_NO_FLAGS));
}

VirtualKeyboard::~VirtualKeyboard() {
    if (keyboard_) {
        zwp_virtual_keyboard_v1_destroy(keyboard_);
    }
    zwp_virtual_keyboard_manager_v1_destroy(manager_);
    wl_seat_destroy(seat_);
    connection_.flush();
}

void VirtualKeyboard::useKeymap(const QByteArray& keymap) {
    xkb_keymap* map = xkb_keymap_new_from_buffer(xkb_->context, keymap.constData(), size_t(keymap.size()),
                                                 XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!map) {
        return;
    }
    xkb_->set(map);
    if (keyboard_) {
        uploadKeymap(keymap);
    }
}

bool VirtualKeyboard::uploadKeymap(const QByteArray& text) {
    const int fd = memfd_create("tillory-keymap", MFD_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const QByteArray withEnd = text + '\0';
    const bool written = ::write(fd, withEnd.constData(), size_t(withEnd.size())) == withEnd.size();
    if (written) {
        zwp_virtual_keyboard_v1_keymap(keyboard_, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, std::uint32_t(withEnd.size()));
    }
    ::close(fd);
    return written;
}

std::optional<std::uint32_t> VirtualKeyboard::evdevCode(std::uint32_t keysym) const {
    if (!xkb_->keymap) {
        return std::nullopt;
    }
    const xkb_keycode_t first = xkb_keymap_min_keycode(xkb_->keymap);
    const xkb_keycode_t last = xkb_keymap_max_keycode(xkb_->keymap);
    for (xkb_keycode_t code = first; code <= last; ++code) {
        const xkb_keysym_t* syms = nullptr;
        const int count = xkb_keymap_key_get_syms_by_level(xkb_->keymap, code, 0, 0, &syms);
        for (int i = 0; i < count; ++i) {
            if (syms[i] == keysym) {
                return code - 8; // keymaps count from 8, the protocol from evdev's 0
            }
        }
    }
    return std::nullopt;
}

void VirtualKeyboard::send(std::uint32_t code, bool pressed) {
    const auto time = std::uint32_t(xkb_->clock.elapsed());
    zwp_virtual_keyboard_v1_key(keyboard_, time, code,
                                pressed ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
    xkb_state_update_key(xkb_->state, code + 8, pressed ? XKB_KEY_DOWN : XKB_KEY_UP);
    zwp_virtual_keyboard_v1_modifiers(keyboard_, xkb_state_serialize_mods(xkb_->state, XKB_STATE_MODS_DEPRESSED),
                                      xkb_state_serialize_mods(xkb_->state, XKB_STATE_MODS_LATCHED),
                                      xkb_state_serialize_mods(xkb_->state, XKB_STATE_MODS_LOCKED),
                                      xkb_state_serialize_layout(xkb_->state, XKB_STATE_LAYOUT_EFFECTIVE));
}

bool VirtualKeyboard::type(std::uint32_t keysym, const std::vector<std::uint32_t>& modifiers, bool press) {
    if (!xkb_->state) {
        return false;
    }
    const std::optional<std::uint32_t> key = evdevCode(keysym);
    std::vector<std::uint32_t> held;
    for (std::uint32_t modifier : modifiers) {
        const std::optional<std::uint32_t> code = evdevCode(modifier);
        if (!code) {
            return false;
        }
        held.push_back(*code);
    }
    if (!key) {
        qCDebug(lcVirtualKeyboard, "no key types keysym 0x%x", keysym);
        return false;
    }
    if (!keyboard_) {
        keyboard_ = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(manager_, seat_);
        char* text = xkb_keymap_get_as_string(xkb_->keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
        const bool uploaded = text && uploadKeymap(QByteArray(text));
        std::free(text);
        if (!uploaded) {
            return false;
        }
    }
    if (press) {
        for (std::uint32_t code : held) {
            send(code, true);
        }
        send(*key, true);
    } else {
        send(*key, false);
        for (auto it = held.rbegin(); it != held.rend(); ++it) {
            send(*it, false);
        }
    }
    connection_.flush();
    return true;
}

} // namespace tillory::platform::nix
