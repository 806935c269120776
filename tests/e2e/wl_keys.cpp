// A keyboard for the Wayland end-to-end tests: one virtual keyboard kept for the whole run (a fresh one may lose
// its first keys), driven from stdin a line at a time, keys sent before the modifier state they lead to as a
// physical keyboard does. Lines: "down <keysym name>", "up <keysym name>", "sleep <ms>". Prints "ok" or "error"
// after each line, once the compositor has taken it.
#include "platform/wayland/virtual_keyboard.h"
#include "platform/wayland/wayland_connection.h"

#include <QCoreApplication>
#include <QThread>

#include <xkbcommon/xkbcommon.h>

#include <iostream>
#include <string>

using namespace tillory::platform::nix;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::unique_ptr<WaylandConnection> connection = WaylandConnection::open();
    std::unique_ptr<VirtualKeyboard> keyboard = connection ? VirtualKeyboard::create(*connection) : nullptr;
    if (!keyboard) {
        std::cout << "error no virtual keyboard" << std::endl;
        return 1;
    }
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
