// A keyboard and a mouse for the Wayland end-to-end tests: one virtual keyboard and one virtual pointer kept for
// the whole run (a fresh one may lose its first events), driven from stdin a line at a time, keys sent before the
// modifier state they lead to as a physical keyboard does. Lines: "down <keysym name>", "up <keysym name>",
// "sleep <ms>", "move <x>,<y>" (the pointer to that place of the layout, 1280 × 720 unless "--extent WxH" says otherwise), "click left|right" (a press
// and a release where the pointer is). Prints "ok" or "error" after
// each line, once the compositor has taken it.
#include "platform/wayland/virtual_keyboard.h"
#include "platform/wayland/wayland_connection.h"

#include "wlr-virtual-pointer-unstable-v1-client.h"

#include <QCoreApplication>
#include <QThread>

#include <xkbcommon/xkbcommon.h>

#include <iostream>
#include <string>

using namespace tillory::platform::nix;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::uint32_t width = 1280;
    std::uint32_t height = 720;
    if (argc == 3 && std::string(argv[1]) == "--extent") {
        const std::string extent = argv[2];
        const auto x = extent.find('x');
        if (x == std::string::npos) {
            std::cout << "error bad extent" << std::endl;
            return 2;
        }
        width = std::uint32_t(std::stoul(extent.substr(0, x)));
        height = std::uint32_t(std::stoul(extent.substr(x + 1)));
    }
    std::unique_ptr<WaylandConnection> connection = WaylandConnection::open();
    std::unique_ptr<VirtualKeyboard> keyboard = connection ? VirtualKeyboard::create(*connection) : nullptr;
    if (!keyboard) {
        std::cout << "error no virtual keyboard" << std::endl;
        return 1;
    }
    auto* seat = static_cast<wl_seat*>(connection->bind(&wl_seat_interface, 1));
    auto* pointers = static_cast<zwlr_virtual_pointer_manager_v1*>(
        connection->bind(&zwlr_virtual_pointer_manager_v1_interface, 1));
    zwlr_virtual_pointer_v1* pointer = pointers && seat ? zwlr_virtual_pointer_manager_v1_create_virtual_pointer(pointers, seat) : nullptr;
    std::uint32_t time = 0;
    // Made now, so that clients have bound the new keyboard before the first real key.
    keyboard->type(XKB_KEY_Shift_L, {}, true);
    keyboard->type(XKB_KEY_Shift_L, {}, false);
    connection->roundtrip();
    QThread::msleep(200);
    std::cout << "ready" << std::endl;
    std::string verb, argument;
    while (std::cin >> verb >> argument) {
        bool ok = true;
        if (verb == "sleep") {
            QThread::msleep(std::stoul(argument));
        } else if (verb == "move") {
            const auto comma = argument.find(',');
            ok = pointer && comma != std::string::npos;
            if (ok) {
                const auto x = std::uint32_t(std::stoul(argument.substr(0, comma)));
                const auto y = std::uint32_t(std::stoul(argument.substr(comma + 1)));
                time += 10;
                zwlr_virtual_pointer_v1_motion_absolute(pointer, time, x, y, width, height);
                zwlr_virtual_pointer_v1_frame(pointer);
                connection->roundtrip();
            }
        } else if (verb == "click") {
            // Linux input codes: BTN_LEFT, BTN_RIGHT.
            const std::uint32_t button = argument == "left" ? 0x110 : argument == "right" ? 0x111 : 0;
            ok = pointer && button != 0;
            for (const std::uint32_t state : {1U, 0U}) {
                if (ok) {
                    time += 10;
                    zwlr_virtual_pointer_v1_button(pointer, time, button, state);
                    zwlr_virtual_pointer_v1_frame(pointer);
                    connection->roundtrip();
                }
            }
        } else {
            const xkb_keysym_t keysym = xkb_keysym_from_name(argument.c_str(), XKB_KEYSYM_NO_FLAGS);
            ok = keysym != XKB_KEY_NoSymbol && (verb == "down" || verb == "up") &&
                 keyboard->type(keysym, {}, verb == "down");
            connection->roundtrip();
        }
        std::cout << (ok ? "ok" : "error") << std::endl;
    }
    return 0;
}
