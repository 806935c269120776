// The measuring end of bench/switcher_compare.py: owns a number of plain client windows and, told so on standard
// input, presses a switcher's keys through XTest and times what the screen shows. One command a line:
//   windows N        makes N windows of 800 × 600 (distinct titles and colours) and waits until the window
//                    manager manages them all; answers "windows N"
//   open MOD         holds MOD (super or alt), presses Tab and answers "open T0 MAP PAINT": the monotonic clock in
//                    ms when the press had reached the server, and the ms from there to the MapNotify of the
//                    switcher's override-redirect window and to the first change of its pixels on the screen
//                    (-1 when that did not come within 2 s)
//   close MOD        presses Escape, lets go of MOD and waits until the window is unmapped; answers "closed"
//   cycle MOD N      N sessions of open and close without timing the paint; answers "cycled N FAILED"
// Uses $DISPLAY.
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <X11/keysym.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

double nowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

class Probe {
public:
    bool connect() {
        c_ = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(c_) != 0) {
            return false;
        }
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
        root_ = screen->root;
        screenWidth_ = screen->width_in_pixels;
        const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(c_, root_, XCB_CW_EVENT_MASK, &mask);
        symbols_ = xcb_key_symbols_alloc(c_);
        sync();
        return true;
    }

    bool makeWindows(int count) {
        const xcb_atom_t wmState = atom("WM_STATE");
        std::vector<xcb_window_t> made;
        for (int i = 0; i < count; ++i) {
            const xcb_window_t w = xcb_generate_id(c_);
            const std::uint32_t background = 0x0d0b07u * std::uint32_t(i % 17 + 1);
            xcb_create_window(c_, XCB_COPY_FROM_PARENT, w, root_, 20 * (i % 20), 10 * (i % 20), 800, 600, 0,
                              XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL, &background);
            const std::string title = "Window " + std::to_string(i + 1);
            xcb_change_property(c_, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                                std::uint32_t(title.size()), title.data());
            static const char wmClass[] = "probe\0Probe";
            xcb_change_property(c_, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, sizeof(wmClass),
                                wmClass);
            const std::uint32_t pid = std::uint32_t(getpid());
            xcb_change_property(c_, XCB_PROP_MODE_REPLACE, w, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &pid);
            made.push_back(w);
        }
        // A window manager may drop a map request it gets just after starting: map again what it has not taken.
        for (int attempt = 0; attempt < 50; ++attempt) {
            std::vector<xcb_window_t> waiting;
            for (const xcb_window_t w : made) {
                const Reply<xcb_get_property_reply_t> state(xcb_get_property_reply(
                    c_, xcb_get_property(c_, 0, w, wmState, XCB_GET_PROPERTY_TYPE_ANY, 0, 2), nullptr));
                if (!state || xcb_get_property_value_length(state.get()) == 0) {
                    waiting.push_back(w);
                }
            }
            if (waiting.empty()) {
                return true;
            }
            for (const xcb_window_t w : waiting) {
                xcb_unmap_window(c_, w);
                xcb_map_window(c_, w);
            }
            xcb_flush(c_);
            usleep(200000);
            drain();
        }
        return false;
    }

    /// Holds the modifier, presses Tab; answers the press time and the window that appeared.
    bool open(const std::string& modifier, bool timePaint, double& t0, double& map, double& paint) {
        drain();
        std::vector<std::uint8_t> before;
        if (timePaint && known_) {
            before = line(lastGeometry_);
        }
        key(modifierCode(modifier), true);
        key(code(XK_Tab), true);
        sync();
        t0 = nowMs();
        map = paint = -1;
        shown_ = XCB_NONE;
        const double deadline = t0 + 2000;
        while (nowMs() < deadline && shown_ == XCB_NONE) {
            while (auto* event = xcb_poll_for_event(c_)) {
                const Reply<xcb_generic_event_t> owned(event);
                if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY) {
                    const auto* mapped = reinterpret_cast<xcb_map_notify_event_t*>(event);
                    if (mapped->override_redirect != 0 && shown_ == XCB_NONE) {
                        map = nowMs() - t0;
                        shown_ = mapped->window;
                    }
                }
            }
            if (shown_ == XCB_NONE) {
                usleep(100);
            }
        }
        key(code(XK_Tab), false);
        xcb_flush(c_);
        if (shown_ == XCB_NONE) {
            return false;
        }
        const Reply<xcb_get_geometry_reply_t> geometry(
            xcb_get_geometry_reply(c_, xcb_get_geometry(c_, shown_), nullptr));
        if (geometry) {
            // The row across the middle of the window, as far as it is on the screen: a switcher with many
            // windows may reach past the screen's sides, and the root's pixels end there.
            const int left = std::max<int>(geometry->x, 0);
            const int right = std::min<int>(geometry->x + geometry->width, screenWidth_);
            const Rect seen{std::int16_t(left), std::int16_t(geometry->y + geometry->height / 2),
                            std::uint16_t(std::max(right - left, 1))};
            if (!known_ || seen.x != lastGeometry_.x || seen.y != lastGeometry_.y ||
                seen.width != lastGeometry_.width) {
                before.clear(); // a different place than last time: nothing to compare with
            }
            lastGeometry_ = seen;
            known_ = true;
        }
        if (timePaint && !before.empty()) {
            while (nowMs() < deadline) {
                if (line(lastGeometry_) != before) {
                    paint = nowMs() - t0;
                    break;
                }
                usleep(100);
            }
        }
        return true;
    }

    bool close(const std::string& modifier) {
        key(code(XK_Escape), true);
        key(code(XK_Escape), false);
        key(modifierCode(modifier), false);
        xcb_flush(c_);
        const double deadline = nowMs() + 2000;
        while (shown_ != XCB_NONE && nowMs() < deadline) {
            while (auto* event = xcb_poll_for_event(c_)) {
                const Reply<xcb_generic_event_t> owned(event);
                if ((event->response_type & 0x7f) == XCB_UNMAP_NOTIFY &&
                    reinterpret_cast<xcb_unmap_notify_event_t*>(event)->window == shown_) {
                    shown_ = XCB_NONE;
                }
            }
            usleep(200);
        }
        const bool closed = shown_ == XCB_NONE;
        shown_ = XCB_NONE;
        return closed;
    }

private:
    struct Rect {
        std::int16_t x = 0;
        std::int16_t y = 0;
        std::uint16_t width = 0;
    };

    /// One row of screen pixels across the switcher's window, as the screen shows it.
    std::vector<std::uint8_t> line(const Rect& r) {
        const Reply<xcb_get_image_reply_t> image(xcb_get_image_reply(
            c_, xcb_get_image(c_, XCB_IMAGE_FORMAT_Z_PIXMAP, root_, r.x, r.y, r.width, 1, ~0u), nullptr));
        if (!image) {
            return {};
        }
        const std::uint8_t* data = xcb_get_image_data(image.get());
        return {data, data + xcb_get_image_data_length(image.get())};
    }

    xcb_atom_t atom(const char* name) {
        const Reply<xcb_intern_atom_reply_t> reply(
            xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, std::uint16_t(std::strlen(name)), name), nullptr));
        return reply ? reply->atom : XCB_NONE;
    }

    xcb_keycode_t code(xcb_keysym_t symbol) {
        const std::unique_ptr<xcb_keycode_t, FreeDeleter> codes(xcb_key_symbols_get_keycode(symbols_, symbol));
        return codes ? codes.get()[0] : 0;
    }

    xcb_keycode_t modifierCode(const std::string& name) { return code(name == "alt" ? XK_Alt_L : XK_Super_L); }

    void key(xcb_keycode_t keycode, bool press) {
        xcb_test_fake_input(c_, press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, keycode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    }

    void sync() { std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr)); }

    void drain() {
        while (auto* event = xcb_poll_for_event(c_)) {
            std::free(event);
        }
    }

    xcb_connection_t* c_ = nullptr;
    xcb_window_t root_ = XCB_NONE;
    int screenWidth_ = 0;
    xcb_key_symbols_t* symbols_ = nullptr;
    xcb_window_t shown_ = XCB_NONE;
    Rect lastGeometry_;
    bool known_ = false;
};

} // namespace

int main() {
    Probe probe;
    if (!probe.connect()) {
        std::fprintf(stderr, "switcher_probe: no X display\n");
        return 1;
    }
    std::string text;
    while (std::getline(std::cin, text)) {
        std::istringstream in(text);
        std::string command;
        std::string modifier;
        in >> command;
        if (command == "windows") {
            int count = 0;
            in >> count;
            std::printf(probe.makeWindows(count) ? "windows %d\n" : "windows failed %d\n", count);
        } else if (command == "open") {
            in >> modifier;
            double t0 = 0, map = -1, paint = -1;
            probe.open(modifier, true, t0, map, paint);
            std::printf("open %.3f %.3f %.3f\n", t0, map, paint);
        } else if (command == "close") {
            in >> modifier;
            std::printf(probe.close(modifier) ? "closed\n" : "close failed\n");
        } else if (command == "cycle") {
            int count = 0;
            in >> modifier >> count;
            int failed = 0;
            for (int i = 0; i < count; ++i) {
                double t0 = 0, map = -1, paint = -1;
                const bool opened = probe.open(modifier, false, t0, map, paint);
                failed += (opened && probe.close(modifier)) ? 0 : 1;
            }
            std::printf("cycled %d %d\n", count, failed);
        } else {
            std::printf("unknown %s\n", command.c_str());
        }
        std::fflush(stdout);
    }
    return 0;
}
