#include "keyhub/key_event_hub.h"

#include "core/manual_scheduler.h"
#include "platform/sim/sim_desktop.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tillory::keyhub {
namespace {

using platform::Event;
using platform::EventResult;
using platform::EventType;
namespace KeyCode = platform::KeyCode;

class KeyEventHubTest : public ::testing::Test {
protected:
    KeyEventHubTest() {
        pid_ = sim_.launchApp(QStringLiteral("org.example.editor"), QStringLiteral("Editor"));
        sim_.activate(pid_);
        sim_.grantAccessibility(); // the usual case; the test of a late grant revokes it first
    }

    /// A handler that notes its name and lets the event through unchanged.
    KeyEventHub::Handler passing(std::string name) {
        return [this, name](EventType, const Event& event) -> EventResult {
            calls_.push_back(name);
            return event;
        };
    }

    const std::vector<Event>& received() const { return sim_.receivedEvents(pid_); }

    core::ManualScheduler scheduler_;
    platform::sim::SimDesktop sim_{scheduler_};
    platform::Platform platform_ = sim_.platform();
    KeyEventHub hub_{*platform_.eventTaps, *platform_.accessibility, scheduler_};
    std::int32_t pid_ = 0;
    std::vector<std::string> calls_;
};

TEST_F(KeyEventHubTest, HandlersRunInRegistrationOrder) {
    hub_.registerHandler(passing("first"));
    hub_.registerHandler(passing("second"));
    hub_.registerHandler(passing("third"));

    sim_.pressKey(KeyCode::A);
    EXPECT_EQ(calls_, (std::vector<std::string>{"first", "second", "third"}));
    ASSERT_EQ(received().size(), 1u);
    EXPECT_EQ(received()[0].keyCode, KeyCode::A);
}

TEST_F(KeyEventHubTest, TapSeesKeyDownKeyUpAndModifierChangesOnly) {
    std::vector<EventType> seen;
    hub_.registerHandler([&seen](EventType type, const Event& event) -> EventResult {
        seen.push_back(type);
        return event;
    });
    const EventType types[] = {EventType::KeyDown,       EventType::KeyUp,           EventType::FlagsChanged,
                               EventType::LeftMouseDown, EventType::LeftMouseUp,     EventType::RightMouseDown,
                               EventType::MouseMoved,    EventType::LeftMouseDragged};
    for (const EventType type : types) {
        Event event;
        event.type = type;
        sim_.inject(event);
    }
    EXPECT_EQ(seen, (std::vector<EventType>{EventType::KeyDown, EventType::KeyUp, EventType::FlagsChanged}));
    EXPECT_EQ(received().size(), std::size(types)); // the rest passes by untouched
}

TEST_F(KeyEventHubTest, SwallowingHandlerStopsLaterHandlers) {
    hub_.registerHandler(passing("first"));
    hub_.registerHandler([this](EventType, const Event&) -> EventResult {
        calls_.push_back("swallower");
        return std::nullopt;
    });
    hub_.registerHandler(passing("last"));

    EXPECT_FALSE(sim_.pressKey(KeyCode::V, platform::EventFlags::Command).has_value());
    EXPECT_EQ(calls_, (std::vector<std::string>{"first", "swallower"}));
    EXPECT_TRUE(received().empty());
}

TEST_F(KeyEventHubTest, ReplacementIsSeenByLaterHandlersAndDelivered) {
    hub_.registerHandler([](EventType, const Event& event) -> EventResult {
        Event changed = event;
        changed.keyCode = KeyCode::Z;
        return changed;
    });
    std::int64_t seen = -1;
    hub_.registerHandler([&](EventType, const Event& event) -> EventResult {
        seen = event.keyCode;
        return event;
    });

    sim_.pressKey(KeyCode::A);
    EXPECT_EQ(seen, KeyCode::Z);
    ASSERT_EQ(received().size(), 1u);
    EXPECT_EQ(received()[0].keyCode, KeyCode::Z);
}

TEST_F(KeyEventHubTest, ExclusiveHandlerAloneDecidesPassOrSwallow) {
    hub_.registerHandler(passing("registered"));
    bool swallow = false;
    int exclusiveCalls = 0;
    hub_.setExclusive([&](EventType, const Event& event) -> EventResult {
        ++exclusiveCalls;
        if (swallow) {
            return std::nullopt;
        }
        Event replacement = event;
        replacement.keyCode = KeyCode::Escape;
        return replacement; // ignored: the original passes
    });
    EXPECT_TRUE(hub_.hasExclusive());

    sim_.pressKey(KeyCode::A);
    swallow = true;
    sim_.pressKey(KeyCode::Tab);

    EXPECT_EQ(exclusiveCalls, 2);
    EXPECT_TRUE(calls_.empty());
    ASSERT_EQ(received().size(), 1u);
    EXPECT_EQ(received()[0].keyCode, KeyCode::A);
}

TEST_F(KeyEventHubTest, ClearingExclusiveKeepsTheTapForRemainingRegistrations) {
    hub_.registerHandler(passing("registered"));
    hub_.setExclusive([](EventType, const Event&) -> EventResult { return std::nullopt; });
    hub_.setExclusive(std::nullopt);

    EXPECT_FALSE(hub_.hasExclusive());
    EXPECT_TRUE(hub_.hasTap());
    EXPECT_TRUE(hub_.hasWatchdog());
    EXPECT_EQ(sim_.liveTapCount(), 1);
    sim_.pressKey(KeyCode::A);
    EXPECT_EQ(calls_, (std::vector<std::string>{"registered"}));
    EXPECT_EQ(received().size(), 1u);
}

TEST_F(KeyEventHubTest, UnregisteringTheLastTokenTearsDownAndRegisteringRecreates) {
    const QUuid first = hub_.registerHandler(passing("first"));
    const QUuid second = hub_.registerHandler(passing("second"));
    EXPECT_EQ(sim_.liveTapCount(), 1); // one shared tap, however many handlers

    hub_.unregister(first);
    EXPECT_TRUE(hub_.hasTap());
    EXPECT_TRUE(hub_.hasWatchdog());

    hub_.unregister(second);
    EXPECT_FALSE(hub_.hasTap());
    EXPECT_FALSE(hub_.hasWatchdog());
    EXPECT_EQ(sim_.liveTapCount(), 0);
    EXPECT_EQ(scheduler_.timerCount(), 0u);
    sim_.pressKey(KeyCode::A);
    EXPECT_TRUE(calls_.empty());

    hub_.registerHandler(passing("again"));
    EXPECT_TRUE(hub_.hasTap());
    EXPECT_TRUE(hub_.hasWatchdog());
    EXPECT_EQ(sim_.liveTapCount(), 1);
    sim_.pressKey(KeyCode::A);
    EXPECT_EQ(calls_, (std::vector<std::string>{"again"}));
}

TEST_F(KeyEventHubTest, UnregisteringAnUnknownTokenChangesNothing) {
    hub_.registerHandler(passing("kept"));
    hub_.unregister(QUuid::createUuid());

    EXPECT_EQ(hub_.registrationCount(), 1u);
    EXPECT_TRUE(hub_.hasTap());
    EXPECT_TRUE(hub_.hasWatchdog());
    sim_.pressKey(KeyCode::A);
    EXPECT_EQ(calls_, (std::vector<std::string>{"kept"}));
}

TEST_F(KeyEventHubTest, TapArrivesAtTheWatchdogTickAfterAccessibilityIsGranted) {
    sim_.revokeAccessibility();
    hub_.registerHandler(passing("handler"));
    EXPECT_FALSE(hub_.hasTap());
    EXPECT_TRUE(hub_.hasWatchdog());
    EXPECT_EQ(sim_.liveTapCount(), 0);

    sim_.grantAccessibility();
    scheduler_.advance(4.9);
    sim_.pressKey(KeyCode::A);
    EXPECT_TRUE(calls_.empty());
    EXPECT_FALSE(hub_.hasTap());

    scheduler_.advance(0.1);
    EXPECT_TRUE(hub_.hasTap());
    EXPECT_EQ(sim_.liveTapCount(), 1);
    sim_.pressKey(KeyCode::A);
    EXPECT_EQ(calls_, (std::vector<std::string>{"handler"}));
    EXPECT_EQ(received().size(), 2u);
}

TEST_F(KeyEventHubTest, DisabledNoticeReEnablesTheTapAndIsHiddenFromHandlers) {
    hub_.registerHandler(passing("handler"));

    for (const EventType reason : {EventType::TapDisabledByTimeout, EventType::TapDisabledByUserInput}) {
        sim_.disableTaps(reason);
        EXPECT_EQ(sim_.enabledTapCount(), 1);
    }
    EXPECT_TRUE(calls_.empty());
    sim_.pressKey(KeyCode::A);
    EXPECT_EQ(calls_, (std::vector<std::string>{"handler"}));
}

TEST_F(KeyEventHubTest, WatchdogReEnablesATapSwitchedOffWithoutNotice) {
    hub_.registerHandler(passing("handler"));
    // A notice the hub does not recognise stands in for the system switching the tap off silently.
    sim_.disableTaps(EventType::Null);
    ASSERT_EQ(sim_.enabledTapCount(), 0);

    scheduler_.advance(4.9);
    EXPECT_EQ(sim_.enabledTapCount(), 0);
    scheduler_.advance(0.1);
    EXPECT_EQ(sim_.enabledTapCount(), 1);
    EXPECT_EQ(sim_.liveTapCount(), 1); // the same tap, not a second one

    calls_.clear();
    sim_.pressKey(KeyCode::A);
    EXPECT_EQ(calls_, (std::vector<std::string>{"handler"}));
}

TEST_F(KeyEventHubTest, WatchdogRetriesAFailedTapCreation) {
    sim_.setTapCreationFails(true);
    hub_.registerHandler(passing("handler"));
    EXPECT_FALSE(hub_.hasTap());
    EXPECT_TRUE(hub_.hasWatchdog());

    scheduler_.advance(5);
    EXPECT_FALSE(hub_.hasTap());

    sim_.setTapCreationFails(false);
    scheduler_.advance(5);
    EXPECT_TRUE(hub_.hasTap());
    EXPECT_EQ(sim_.liveTapCount(), 1);
    sim_.pressKey(KeyCode::A);
    EXPECT_EQ(calls_, (std::vector<std::string>{"handler"}));
}

TEST_F(KeyEventHubTest, LastHandlerUnregisteringItselfDuringDispatchTearsDownSafely) {
    QUuid token;
    int calls = 0;
    token = hub_.registerHandler([&](EventType, const Event& event) -> EventResult {
        ++calls;
        hub_.unregister(token); // destroys the tap that is delivering this very event
        return event;
    });

    const EventResult result = sim_.pressKey(KeyCode::A);
    EXPECT_TRUE(result.has_value());
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(hub_.hasTap());
    EXPECT_EQ(sim_.liveTapCount(), 0);
    EXPECT_EQ(received().size(), 1u);

    sim_.pressKey(KeyCode::A);
    EXPECT_EQ(calls, 1);
}

TEST_F(KeyEventHubTest, HandlersUnregisteredDuringDispatchDoNotMakeOthersMissTheEvent) {
    QUuid self;
    QUuid victim;
    self = hub_.registerHandler([&](EventType, const Event& event) -> EventResult {
        calls_.push_back("remover");
        hub_.unregister(self);
        hub_.unregister(victim);
        return event;
    });
    victim = hub_.registerHandler(passing("victim"));
    hub_.registerHandler(passing("third"));
    hub_.registerHandler(passing("fourth"));

    sim_.pressKey(KeyCode::A);
    EXPECT_EQ(calls_, (std::vector<std::string>{"remover", "third", "fourth"}));
    EXPECT_EQ(hub_.registrationCount(), 2u);
}

TEST_F(KeyEventHubTest, NestedDispatchThatUnregistersKeepsTheOuterDispatchOnItsNextHandler) {
    // The first handler runs a nested event loop (as a clipboard write may) in which the next key arrives and
    // the first handler goes away; the outer key must still reach every later handler.
    QUuid first;
    first = hub_.registerHandler([&](EventType, const Event& event) -> EventResult {
        calls_.push_back(event.keyCode == KeyCode::A ? "first A" : "first Z");
        if (event.keyCode == KeyCode::A) {
            sim_.pressKey(KeyCode::Z);
        } else {
            hub_.unregister(first);
        }
        return event;
    });
    hub_.registerHandler(passing("second"));
    hub_.registerHandler(passing("third"));

    sim_.pressKey(KeyCode::A);
    EXPECT_EQ(calls_, (std::vector<std::string>{"first A", "first Z", "second", "third", "second", "third"}));
}

TEST_F(KeyEventHubTest, TapIsToldTheTriggersOfEveryRegistration) {
    const platform::KeyTrigger pasteChord{KeyCode::V, platform::EventFlags::Command, true, {}};
    const platform::KeyTrigger trash{KeyCode::Delete, 0, false, {QStringLiteral("org.example.files")}};
    const QUuid first = hub_.registerHandler(passing("palette"), {pasteChord});
    hub_.registerHandler(passing("trash"), {trash});
    EXPECT_EQ(sim_.tapTriggers(), (std::vector<platform::KeyTrigger>{pasteChord, trash}));

    hub_.unregister(first);
    EXPECT_EQ(sim_.tapTriggers(), (std::vector<platform::KeyTrigger>{trash}));

    const QUuid second = hub_.registerHandler(passing("palette"), {pasteChord});
    hub_.setTriggers(second, {}); // switched off: asks for nothing
    EXPECT_EQ(sim_.tapTriggers(), (std::vector<platform::KeyTrigger>{trash}));
    hub_.setTriggers(second, {pasteChord});
    EXPECT_EQ(sim_.tapTriggers(), (std::vector<platform::KeyTrigger>{trash, pasteChord}));
}

TEST_F(KeyEventHubTest, TapCreatedLateLearnsTriggersAndCapture) {
    sim_.revokeAccessibility();
    const platform::KeyTrigger chord{KeyCode::V, platform::EventFlags::Command, true, {}};
    const QUuid token = hub_.registerHandler(passing("palette"), {chord});
    EXPECT_TRUE(hub_.setCapturing(token, true)); // no tap yet: nothing refused
    sim_.grantAccessibility();
    scheduler_.advance(5);
    ASSERT_TRUE(hub_.hasTap());
    EXPECT_EQ(sim_.tapTriggers(), std::vector<platform::KeyTrigger>{chord});
    EXPECT_TRUE(sim_.tapCapturing());
}

TEST_F(KeyEventHubTest, CaptureLastsWhileAnyoneAsks) {
    const QUuid a = hub_.registerHandler(passing("a"));
    const QUuid b = hub_.registerHandler(passing("b"));
    EXPECT_TRUE(hub_.setCapturing(a, true));
    EXPECT_TRUE(hub_.setCapturing(b, true));
    hub_.setCapturing(a, false);
    EXPECT_TRUE(sim_.tapCapturing());
    hub_.unregister(b); // leaving ends its capture too
    EXPECT_FALSE(sim_.tapCapturing());
}

TEST_F(KeyEventHubTest, RefusedCaptureIsReportedAndRetriedByTheWatchdog) {
    const QUuid token = hub_.registerHandler(passing("palette"));
    sim_.setCaptureFails(true);
    EXPECT_FALSE(hub_.setCapturing(token, true));
    EXPECT_FALSE(sim_.tapCapturing());
    sim_.setCaptureFails(false);
    scheduler_.advance(5);
    EXPECT_TRUE(sim_.tapCapturing());
}

TEST_F(KeyEventHubTest, ExclusiveThatCannotCaptureIsNotKept) {
    hub_.registerHandler(passing("palette"));
    sim_.setCaptureFails(true);
    EXPECT_FALSE(hub_.setExclusive([](EventType, const Event&) -> EventResult { return std::nullopt; }));
    EXPECT_FALSE(hub_.hasExclusive());
    ASSERT_TRUE(sim_.pressKey(KeyCode::A).has_value()); // keys still flow through the registered handler
    EXPECT_EQ(calls_, std::vector<std::string>{"palette"});

    sim_.setCaptureFails(false);
    EXPECT_TRUE(hub_.setExclusive([](EventType, const Event&) -> EventResult { return std::nullopt; }));
    EXPECT_TRUE(sim_.tapCapturing());
    hub_.setExclusive(std::nullopt);
    EXPECT_FALSE(sim_.tapCapturing());
    EXPECT_TRUE(hub_.hasTap());
}

} // namespace
} // namespace tillory::keyhub
