#pragma once

#include "platform/api/geometry.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace tillory::platform {

/// Event types, with the numbers of the platform the program was designed on; a backend translates its own.
enum class EventType : std::uint32_t {
    Null = 0,
    LeftMouseDown = 1,
    LeftMouseUp = 2,
    RightMouseDown = 3,
    RightMouseUp = 4,
    MouseMoved = 5,
    LeftMouseDragged = 6,
    KeyDown = 10,
    KeyUp = 11,
    FlagsChanged = 12,
    TapDisabledByTimeout = 0xFFFFFFFEu,
    TapDisabledByUserInput = 0xFFFFFFFFu,
};

/// An event mask has bit n set for event type n.
constexpr std::uint64_t eventMaskBit(EventType type) {
    return std::uint64_t{1} << static_cast<std::uint32_t>(type);
}

namespace EventFlags {
inline constexpr std::uint64_t Shift = 0x20000;
inline constexpr std::uint64_t Control = 0x40000;
inline constexpr std::uint64_t Option = 0x80000;
inline constexpr std::uint64_t Command = 0x100000;
} // namespace EventFlags

/// Integer field numbers.
namespace EventField {
inline constexpr int MouseClickState = 1;
inline constexpr int KeyboardAutorepeat = 8;
inline constexpr int KeyboardKeycode = 9;
inline constexpr int SourceUserData = 42;
} // namespace EventField

/// Virtual key codes of the keys the program handles.
namespace KeyCode {
inline constexpr int A = 0;
inline constexpr int Z = 6;
inline constexpr int V = 9;
inline constexpr int One = 18;
inline constexpr int Two = 19;
inline constexpr int Three = 20;
inline constexpr int Four = 21;
inline constexpr int Six = 22;
inline constexpr int Five = 23;
inline constexpr int Nine = 25;
inline constexpr int Seven = 26;
inline constexpr int Eight = 28;
inline constexpr int Zero = 29;
inline constexpr int Return = 36;
inline constexpr int Tab = 48;
inline constexpr int Space = 49;
inline constexpr int Delete = 51;
inline constexpr int Escape = 53;
inline constexpr int KeypadEnter = 76;
inline constexpr int LeftArrow = 123;
inline constexpr int RightArrow = 124;
inline constexpr int DownArrow = 125;
inline constexpr int UpArrow = 126;
} // namespace KeyCode

/// One input event as the taps see it: a plain value, cheap to copy, never allocating.
struct Event {
    EventType type = EventType::Null;
    std::uint64_t flags = 0;
    /// Global top-left space.
    Point location;
    std::int64_t clickState = 0;
    std::int64_t autorepeat = 0;
    std::int64_t keyCode = 0;
    std::int64_t userData = 0;

    /// Reads an integer field by number; unknown fields read 0.
    std::int64_t integerField(int field) const {
        switch (field) {
        case EventField::MouseClickState:
            return clickState;
        case EventField::KeyboardAutorepeat:
            return autorepeat;
        case EventField::KeyboardKeycode:
            return keyCode;
        case EventField::SourceUserData:
            return userData;
        default:
            return 0;
        }
    }

    /// Writes an integer field by number; unknown fields are ignored.
    void setIntegerField(int field, std::int64_t value) {
        switch (field) {
        case EventField::MouseClickState:
            clickState = value;
            break;
        case EventField::KeyboardAutorepeat:
            autorepeat = value;
            break;
        case EventField::KeyboardKeycode:
            keyCode = value;
            break;
        case EventField::SourceUserData:
            userData = value;
            break;
        default:
            break;
        }
    }

    static Event key(EventType type, int code, std::uint64_t flags = 0, bool isAutorepeat = false) {
        Event event;
        event.type = type;
        event.keyCode = code;
        event.flags = flags;
        event.autorepeat = isAutorepeat ? 1 : 0;
        return event;
    }

    friend bool operator==(const Event&, const Event&) = default;
};

/// What a tap callback answers: the event to let through (possibly changed or replaced), or nothing to swallow it.
using EventResult = std::optional<Event>;
using EventCallback = std::function<EventResult(EventType, const Event&)>;

} // namespace tillory::platform
