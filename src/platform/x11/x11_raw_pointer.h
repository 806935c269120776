#pragma once

#include "platform/api/geometry.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace tillory::platform::nix {

/// The pointer's buttons and motion as XInput 2 raw events on the root, from every master device, on a connection
/// of its own. Nothing is grabbed, so no click is delayed and every client still gets its events first. Raw events
/// carry no position: the pointer is queried once per batch of events read together. Main thread.
class X11RawPointer {
public:
    struct Report {
        enum class Kind { Press, Release, Motion };
        Kind kind = Kind::Press;
        int button = 0;
        /// Server time in milliseconds; wraps after 49.7 days.
        std::uint32_t time = 0;
    };
    /// Where the pointer was when the batch was read: X root pixels and the core modifier and button state.
    struct Pointer {
        Point native;
        std::uint16_t state = 0;
    };
    /// Receives each batch in the server's order. It may destroy the X11RawPointer that calls it.
    using Handler = std::function<void(const std::vector<Report>&, const Pointer&)>;

    /// Reports presses, and releases too with `releases`; motion only while `setMotion(true)`.
    X11RawPointer(bool releases, Handler handler);
    ~X11RawPointer();
    X11RawPointer(const X11RawPointer&) = delete;
    X11RawPointer& operator=(const X11RawPointer&) = delete;

    /// False without a server or without XInput 2.2.
    bool available() const;
    /// Raw motion arrives for every movement of every pointer, so it is selected only while someone needs it.
    void setMotion(bool on);
    /// Off: nothing is selected at all and nothing arrives.
    void setActive(bool on);

    struct Connection;

private:
    void select();
    void read();

    std::unique_ptr<Connection> x_;
    bool releases_;
    bool motion_ = false;
    bool active_ = true;
    Handler handler_;
    std::shared_ptr<bool> alive_;
};

} // namespace tillory::platform::nix
