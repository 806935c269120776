// What a key costs when it passes through Tillory's X11 tap: the time from a keystroke to the focused window
// receiving it, once for a key nobody grabs and once for a key the tap grabs, looks at and types again. The
// difference is the latency the tap adds. Uses $DISPLAY, or starts a private Xvfb when there is none.
//
//   tillory_x11_passthrough_bench [keystrokes]
#include "platform/x11/x11_event_taps.h"

#include <QCoreApplication>
#include <QProcess>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

using namespace tillory::platform;
using Clock = std::chrono::steady_clock;

namespace {

/// A focused window that only notes when a key press reaches it.
class Receiver {
public:
    Receiver() {
        c_ = xcb_connect(nullptr, nullptr);
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
        window_ = xcb_generate_id(c_);
        const std::uint32_t events = XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_EXPOSURE;
        xcb_create_window(c_, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, 200, 100, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_EVENT_MASK, &events);
        xcb_map_window(c_, window_);
        std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
        xcb_set_input_focus(c_, XCB_INPUT_FOCUS_POINTER_ROOT, window_, XCB_CURRENT_TIME);
        std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
    }
    ~Receiver() { xcb_disconnect(c_); }

    /// True once a key press has arrived (consuming everything queued).
    bool pressed() {
        bool seen = false;
        while (xcb_generic_event_t* event = xcb_poll_for_event(c_)) {
            seen = seen || (event->response_type & 0x7f) == XCB_KEY_PRESS;
            std::free(event);
        }
        return seen;
    }

private:
    xcb_connection_t* c_ = nullptr;
    xcb_window_t window_ = 0;
};

/// Types like a person at a keyboard (through XTest, as every test input is).
class Typist {
public:
    Typist() {
        c_ = xcb_connect(nullptr, nullptr);
        xcb_key_symbols_t* syms = xcb_key_symbols_alloc(c_);
        xcb_keycode_t* codes = xcb_key_symbols_get_keycode(syms, XK_a);
        keycode_ = codes ? codes[0] : 0;
        std::free(codes);
        xcb_key_symbols_free(syms);
        root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
    }
    ~Typist() { xcb_disconnect(c_); }
    void press() { send(XCB_KEY_PRESS); }
    void release() { send(XCB_KEY_RELEASE); }

private:
    void send(std::uint8_t type) {
        xcb_test_fake_input(c_, type, keycode_, XCB_CURRENT_TIME, root_, 0, 0, 0);
        xcb_flush(c_);
    }
    xcb_connection_t* c_ = nullptr;
    xcb_keycode_t keycode_ = 0;
    xcb_window_t root_ = 0;
};

struct Stats {
    double median = 0;
    double p90 = 0;
};

Stats measure(Receiver& receiver, Typist& typist, int keystrokes) {
    std::vector<double> micros;
    for (int i = 0; i < keystrokes; ++i) {
        receiver.pressed(); // drain
        const auto start = Clock::now();
        typist.press();
        while (!receiver.pressed()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents); // lets the tap run, as the program's loop does
            if (Clock::now() - start > std::chrono::seconds(2)) {
                std::fprintf(stderr, "a keystroke never arrived\n");
                std::exit(1);
            }
        }
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        typist.release();
        // A person's next key comes tens of milliseconds later; the tap must be idle again by then.
        const auto pause = Clock::now();
        while (Clock::now() - pause < std::chrono::milliseconds(30)) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        }
    }
    std::sort(micros.begin(), micros.end());
    return {micros[micros.size() / 2], micros[micros.size() * 9 / 10]};
}

} // namespace

int main(int argc, char** argv) {
    const int keystrokes = argc > 1 ? std::max(10, std::atoi(argv[1])) : 300;
    QProcess xvfb;
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        xvfb.start(QStringLiteral("Xvfb"),
                   {QStringLiteral("-noreset"), QStringLiteral("-displayfd"), QStringLiteral("1"),
                    QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("800x600x24"),
                    QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (!xvfb.waitForReadyRead(30000)) {
            std::fprintf(stderr, "no $DISPLAY and no Xvfb to start\n");
            return 77;
        }
        qputenv("DISPLAY", ":" + xvfb.readLine().trimmed());
    }
    QCoreApplication app(argc, argv);
    QProcess::execute(QStringLiteral("xset"), {QStringLiteral("r"), QStringLiteral("off")});

    Receiver receiver;
    Typist typist;
    const Stats direct = measure(receiver, typist, keystrokes);

    nix::X11EventTaps taps(nullptr);
    auto tap = taps.createTap(0x1C00, [](EventType, const Event& event) -> EventResult { return event; });
    if (!tap) {
        std::fprintf(stderr, "the X server offers no keyboard control\n");
        return 1;
    }
    tap->setTriggers({KeyTrigger{KeyCode::A, 0, false, {}}});
    const Stats passed = measure(receiver, typist, keystrokes);
    tap.reset();

    std::printf("keystroke to focused window, %d keystrokes each (microseconds)\n", keystrokes);
    std::printf("  %-38s median %8.1f   p90 %8.1f\n", "not grabbed (the X server alone)", direct.median, direct.p90);
    std::printf("  %-38s median %8.1f   p90 %8.1f\n", "grabbed, looked at and typed again", passed.median, passed.p90);
    std::printf("  %-38s median %8.1f   (goal: under 2000)\n", "added by Tillory's tap", passed.median - direct.median);
    xvfb.terminate();
    xvfb.waitForFinished(5000);
    return 0;
}
