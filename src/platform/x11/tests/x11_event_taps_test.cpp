// The X11 keyboard tap against a real server: a focused window of this test process stands for the user's
// application, xdotool types as the user, and the tap sits on its own connection as it does in the program.
#include "platform/x11/x11_event_taps.h"
#include "platform/x11/x11_mouse_tap.h"
#include "platform/x11/x11_raw_pointer.h"

#include "platform/x11/tests/x_test_env.h"

#include <QKeyEvent>
#include <QRasterWindow>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <vector>

namespace tillory::platform::nix {
namespace {

using testing::pumpUntil;
using testing::XEnvironment;
using testing::XServer;

const bool installed = XEnvironment::install(true);

struct Key {
    bool press;
    int key;
    Qt::KeyboardModifiers modifiers;
};

/// The application the user types into.
class TargetWindow : public QRasterWindow {
public:
    std::vector<Key> keys;
    QString typed() const {
        QString text;
        for (const Key& key : keys) {
            if (key.press && key.key >= Qt::Key_A && key.key <= Qt::Key_Z) {
                text += QChar(u'a' + (key.key - Qt::Key_A));
            }
        }
        return text;
    }
    bool received(int key, Qt::KeyboardModifiers modifiers) const {
        return std::any_of(keys.begin(), keys.end(),
                           [&](const Key& k) { return k.press && k.key == key && k.modifiers == modifiers; });
    }

protected:
    void keyPressEvent(QKeyEvent* event) override { keys.push_back({true, event->key(), event->modifiers()}); }
    void keyReleaseEvent(QKeyEvent* event) override { keys.push_back({false, event->key(), event->modifiers()}); }
};

/// A front application that the test switches by hand.
class FakeWorkspace final : public Workspace {
public:
    std::optional<AppInfo> front;
    std::function<void(const AppInfo&)> observer;
    std::optional<AppInfo> frontApplication() override { return front; }
    std::vector<AppInfo> runningApplications() override { return {}; }
    SubscriptionPtr observeActivations(std::function<void(const AppInfo&)> onActivate) override {
        observer = std::move(onActivate);
        return std::make_unique<Subscription>();
    }
    bool openUrl(const QUrl&) override { return false; }
    void bringToFront(const QString& id) {
        front = AppInfo{1, id, id};
        if (observer) {
            observer(*front);
        }
    }
};

int xdotool(const QStringList& arguments) {
    return XServer::run(QStringLiteral("xdotool"), arguments);
}

/// Super+V the way a person types it: Super stays down until the V has been handled (xdotool's own chords
/// let go of Super first, and the tap runs in this process only while the test pumps events).
void superV(TargetWindow& window) {
    xdotool({QStringLiteral("keydown"), QStringLiteral("super")});
    xdotool({QStringLiteral("key"), QStringLiteral("v")});
    pumpUntil([&window] {
        return std::any_of(window.keys.begin(), window.keys.end(),
                           [](const Key& k) { return !k.press && k.key == Qt::Key_V; });
    });
    xdotool({QStringLiteral("keyup"), QStringLiteral("super")});
}

class X11EventTapsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!XEnvironment::skipReason().isEmpty()) {
            GTEST_SKIP() << XEnvironment::skipReason().toStdString();
        }
        XServer::run(QStringLiteral("xset"), {QStringLiteral("r"), QStringLiteral("off")});
        target_ = std::make_unique<TargetWindow>(); // only once there is an application to own it
        target_->setGeometry(100, 100, 300, 200);
        target_->show();
        ASSERT_TRUE(pumpUntil([this] { return target_->isExposed(); }));
        xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), QString::number(target_->winId())});
        ASSERT_TRUE(pumpUntil([this] { return target_->isActive(); }));
        taps_ = std::make_unique<X11EventTaps>(&workspace_);
        ASSERT_TRUE(taps_->isAvailable());
    }
    void TearDown() override {
        taps_.reset();
        XServer::run(QStringLiteral("xset"), {QStringLiteral("r"), QStringLiteral("on")});
    }

    /// Types with xdotool, then lets both connections deliver until `done`.
    template <typename Predicate> bool type(const QStringList& keys, Predicate done) {
        QStringList arguments{QStringLiteral("key")};
        arguments << keys;
        xdotool(arguments);
        return pumpUntil(done, 3000);
    }
    /// Waits long enough for a key that is not going to arrive, by typing a marker key that always arrives.
    void settle() {
        const std::size_t before = target_->keys.size();
        xdotool({QStringLiteral("key"), QStringLiteral("F12")});
        pumpUntil([&] {
            return std::any_of(target_->keys.begin() + static_cast<std::ptrdiff_t>(before), target_->keys.end(),
                               [](const Key& k) { return !k.press && k.key == Qt::Key_F12; });
        });
    }

    std::unique_ptr<EventTap> tap(std::function<EventResult(EventType, const Event&)> callback) {
        return taps_->createTap(0x1C00, std::move(callback));
    }

    std::unique_ptr<TargetWindow> target_;
    FakeWorkspace workspace_;
    std::unique_ptr<X11EventTaps> taps_;
    std::vector<Event> seen_;
};

const KeyTrigger kPasteChord{KeyCode::V, EventFlags::Command, true, {}};

TEST_F(X11EventTapsTest, TriggerChordReachesTheTapAndCanBeSwallowed) {
    auto t = tap([this](EventType, const Event& e) -> EventResult {
        seen_.push_back(e);
        return e.type == EventType::FlagsChanged ? EventResult(e) : std::nullopt;
    });
    t->setTriggers({kPasteChord});
    auto keyUpSeen = [this] {
        return std::any_of(seen_.begin(), seen_.end(), [](const Event& e) { return e.type == EventType::KeyUp; });
    };
    ASSERT_TRUE(type({QStringLiteral("super+shift+v")}, keyUpSeen));
    EXPECT_EQ(seen_[0].type, EventType::KeyDown);
    EXPECT_EQ(seen_[0].keyCode, KeyCode::V);
    EXPECT_EQ(seen_[0].flags & (EventFlags::Command | EventFlags::Shift), EventFlags::Command | EventFlags::Shift);
    EXPECT_EQ(seen_[0].autorepeat, 0);
    settle();
    EXPECT_FALSE(target_->received(Qt::Key_V, Qt::MetaModifier | Qt::ShiftModifier));
}

TEST_F(X11EventTapsTest, KeysNobodyAskedForNeverReachTheTap) {
    auto t = tap([this](EventType, const Event& e) -> EventResult {
        seen_.push_back(e);
        return std::nullopt;
    });
    t->setTriggers({kPasteChord});
    ASSERT_TRUE(type({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("ctrl+v")},
                     [this] { return target_->received(Qt::Key_V, Qt::ControlModifier); }));
    EXPECT_EQ(target_->typed(), QStringLiteral("abv"));
    EXPECT_TRUE(seen_.empty());
}

TEST_F(X11EventTapsTest, PassedTriggerIsTypedIntoTheFocusedWindow) {
    auto t = tap([this](EventType, const Event& e) -> EventResult {
        seen_.push_back(e);
        return e;
    });
    t->setTriggers({kPasteChord});
    superV(*target_);
    ASSERT_TRUE(pumpUntil([this] { return target_->received(Qt::Key_V, Qt::MetaModifier); }));
    EXPECT_FALSE(seen_.empty());
}

TEST_F(X11EventTapsTest, CapturingSeesEveryKeyAndPassesThemInOrder) {
    bool swallow = true;
    auto t = tap([&](EventType, const Event& e) -> EventResult {
        seen_.push_back(e);
        return swallow ? std::nullopt : EventResult(e);
    });
    ASSERT_TRUE(t->setCapturing(true));
    type({QStringLiteral("x"), QStringLiteral("y")}, [this] { return seen_.size() >= 4; });
    EXPECT_EQ(seen_.size(), 4u);
    EXPECT_EQ(seen_[0].keyCode, 7); // x
    swallow = false;
    ASSERT_TRUE(
        type({QStringLiteral("h"), QStringLiteral("e"), QStringLiteral("l"), QStringLiteral("l"), QStringLiteral("o")},
             [this] { return target_->typed().size() >= 5; }));
    EXPECT_EQ(target_->typed(), QStringLiteral("hello"));

    ASSERT_TRUE(t->setCapturing(false));
    seen_.clear();
    ASSERT_TRUE(type({QStringLiteral("z")}, [this] { return target_->typed().endsWith(u'z'); }));
    EXPECT_TRUE(seen_.empty());
}

TEST_F(X11EventTapsTest, SessionOpenedByATriggerPassesTheKeyThatEndsIt) {
    // The palette's life: a held trigger starts a capturing session; a key it does not use ends the session
    // from inside the callback and is passed on, and must reach the window like any typed key.
    EventTap* self = nullptr;
    auto t = tap([&](EventType type, const Event& e) -> EventResult {
        seen_.push_back(e);
        if (e.keyCode == KeyCode::V) {
            if (type == EventType::KeyDown) {
                self->setCapturing(true);
            }
            return std::nullopt;
        }
        if (type == EventType::KeyDown && e.keyCode == 12) { // q
            self->setCapturing(false);
        }
        return e;
    });
    self = t.get();
    t->setTriggers({kPasteChord});
    xdotool({QStringLiteral("keydown"), QStringLiteral("super"), QStringLiteral("key"), QStringLiteral("v")});
    ASSERT_TRUE(pumpUntil([this] {
        return std::any_of(seen_.begin(), seen_.end(), [](const Event& e) { return e.type == EventType::KeyUp; });
    }));
    xdotool({QStringLiteral("keyup"), QStringLiteral("super")});
    ASSERT_TRUE(pumpUntil([this] { return seen_.back().type == EventType::FlagsChanged; }));
    EXPECT_EQ(seen_.back().flags & EventFlags::Command, 0u);
    ASSERT_TRUE(type({QStringLiteral("q")}, [this] { return target_->typed() == QStringLiteral("q"); }));
    EXPECT_TRUE(target_->received(Qt::Key_Q, Qt::NoModifier));
}

TEST_F(X11EventTapsTest, CaptureIsRefusedWhileAnotherProgramHoldsTheKeyboard) {
    X11EventTaps other(nullptr);
    auto holder = other.createTap(0x1C00, [](EventType, const Event&) -> EventResult { return std::nullopt; });
    ASSERT_TRUE(holder->setCapturing(true));
    auto t = tap([](EventType, const Event& e) -> EventResult { return e; });
    EXPECT_FALSE(t->setCapturing(false) && t->setCapturing(true));
    holder.reset();
    EXPECT_TRUE(t->setCapturing(true));
}

TEST_F(X11EventTapsTest, ChordHeldByAnotherProgramIsReported) {
    X11EventTaps other(nullptr);
    auto first = other.createTap(0x1C00, [](EventType, const Event& e) -> EventResult { return e; });
    first->setTriggers({KeyTrigger{KeyCode::Z, EventFlags::Command | EventFlags::Control, false, {}}});
    auto t = tap([](EventType, const Event& e) -> EventResult { return e; });
    t->setTriggers({KeyTrigger{KeyCode::Z, EventFlags::Command | EventFlags::Control, false, {}}, kPasteChord});
    ASSERT_FALSE(taps_->refusedChords().isEmpty());
    EXPECT_TRUE(taps_->refusedChords().front().startsWith(QStringLiteral("Super+Ctrl")));
    // The chords it could take still work.
    superV(*target_);
    ASSERT_TRUE(pumpUntil([this] { return target_->received(Qt::Key_V, Qt::MetaModifier); }));
}

TEST_F(X11EventTapsTest, ChordKeptFromUsWhileAnotherProgramHoldsTheKeyboardForSuperIsReported) {
    // The other program binds Super alone, as a window manager that opens its menu with it: pressing Super makes
    // the server give it the whole keyboard until Super is let go.
    xcb_connection_t* other = xcb_connect(nullptr, nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
    constexpr xcb_keycode_t kSuperL = 133; // Xvfb's keymap
    auto t = tap([this](EventType, const Event& e) -> EventResult {
        seen_.push_back(e);
        return e;
    });
    const KeyTrigger superTab{KeyCode::Tab, EventFlags::Command, true, {}};
    t->setTriggers({superTab});
    struct Step {
        const char* name;
        bool held; // the other program binds Super
        bool arrives;
        bool reported;
    };
    const Step steps[] = {
        {"free: the chord arrives", false, true, false},
        {"held: it never does, and that is reported", true, false, true},
        {"let go: it arrives again and the report goes", false, true, false},
    };
    for (const Step& step : steps) {
        if (step.held) {
            xcb_grab_key(other, 0, root, XCB_MOD_MASK_ANY, kSuperL, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        } else {
            xcb_ungrab_key(other, kSuperL, root, XCB_MOD_MASK_ANY);
        }
        std::free(xcb_get_input_focus_reply(other, xcb_get_input_focus(other), nullptr));
        seen_.clear();
        xdotool({QStringLiteral("keydown"), QStringLiteral("super"), QStringLiteral("key"), QStringLiteral("Tab")});
        const auto tabSeen = [this] {
            return std::any_of(seen_.begin(), seen_.end(), [](const Event& e) { return e.keyCode == KeyCode::Tab; });
        };
        EXPECT_EQ(pumpUntil(tabSeen, 600), step.arrives) << step.name;
        xdotool({QStringLiteral("keyup"), QStringLiteral("super")});
        settle();
        EXPECT_EQ(taps_->refusedChords().contains(QStringLiteral("Super+Tab")), step.reported) << step.name;
    }
    xcb_disconnect(other);
}

TEST_F(X11EventTapsTest, PostedPasteChordWaitsForHeldModifiersAndArrivesAsControlV) {
    xdotool({QStringLiteral("keydown"), QStringLiteral("super")});
    Event down = Event::key(EventType::KeyDown, KeyCode::V, EventFlags::Command);
    Event up = Event::key(EventType::KeyUp, KeyCode::V, EventFlags::Command);
    ASSERT_TRUE(taps_->post(down));
    ASSERT_TRUE(taps_->post(up));
    EXPECT_GT(taps_->pendingInjections(), 0);
    pumpUntil([] { return false; }, 100);
    EXPECT_FALSE(target_->received(Qt::Key_V, Qt::ControlModifier));
    EXPECT_FALSE(target_->received(Qt::Key_V, Qt::ControlModifier | Qt::MetaModifier));

    xdotool({QStringLiteral("keyup"), QStringLiteral("super")});
    ASSERT_TRUE(pumpUntil([this] { return target_->received(Qt::Key_V, Qt::ControlModifier); }));
    EXPECT_EQ(taps_->pendingInjections(), 0);
    // Nothing of ours is left held: the next letter arrives bare.
    ASSERT_TRUE(type({QStringLiteral("q")}, [this] { return target_->typed().endsWith(u'q'); }));
    EXPECT_TRUE(target_->received(Qt::Key_Q, Qt::NoModifier));
}

TEST_F(X11EventTapsTest, InjectedKeysDoNotComeBackThroughOurOwnGrabs) {
    auto t = tap([this](EventType, const Event& e) -> EventResult {
        seen_.push_back(e);
        return e;
    });
    t->setTriggers({kPasteChord}); // Super+V with any other modifiers, Super+Ctrl+V included
    xdotool({QStringLiteral("keydown"), QStringLiteral("super")});
    ASSERT_TRUE(taps_->post(Event::key(EventType::KeyDown, KeyCode::V, EventFlags::Command)));
    pumpUntil([] { return false; }, 100);
    xdotool({QStringLiteral("keyup"), QStringLiteral("super")});
    ASSERT_TRUE(pumpUntil([this] { return target_->received(Qt::Key_V, Qt::ControlModifier); }));
    EXPECT_TRUE(seen_.empty());
}

TEST_F(X11EventTapsTest, RewrittenBackspaceArrivesAsDelete) {
    auto t = tap([](EventType, const Event& e) -> EventResult {
        if (e.type == EventType::KeyDown && e.keyCode == KeyCode::Delete) {
            Event trash = e;
            trash.flags = EventFlags::Command;
            return trash;
        }
        return e;
    });
    t->setTriggers({KeyTrigger{KeyCode::Delete, 0, false, {}}});
    ASSERT_TRUE(
        type({QStringLiteral("BackSpace")}, [this] { return target_->received(Qt::Key_Delete, Qt::NoModifier); }));
    settle();
    EXPECT_FALSE(target_->received(Qt::Key_Backspace, Qt::NoModifier));
}

TEST_F(X11EventTapsTest, TriggerLimitedToAnApplicationIsGrabbedOnlyWhileItIsInFront) {
    auto t = tap([this](EventType, const Event& e) -> EventResult {
        seen_.push_back(e);
        return std::nullopt;
    });
    workspace_.bringToFront(QStringLiteral("org.example.Editor"));
    t->setTriggers({KeyTrigger{KeyCode::Delete, 0, false, {QStringLiteral("org.example.Files")}}});
    ASSERT_TRUE(
        type({QStringLiteral("BackSpace")}, [this] { return target_->received(Qt::Key_Backspace, Qt::NoModifier); }));
    EXPECT_TRUE(seen_.empty());

    workspace_.bringToFront(QStringLiteral("org.example.Files"));
    ASSERT_TRUE(type({QStringLiteral("BackSpace")}, [this] { return !seen_.empty(); }));
    workspace_.bringToFront(QStringLiteral("org.example.Editor"));
    seen_.clear();
    target_->keys.clear();
    ASSERT_TRUE(
        type({QStringLiteral("BackSpace")}, [this] { return target_->received(Qt::Key_Backspace, Qt::NoModifier); }));
    EXPECT_TRUE(seen_.empty());
}

TEST_F(X11EventTapsTest, HeldKeyRepeatsAsAutorepeatPresses) {
    XServer::run(QStringLiteral("xset"), {QStringLiteral("r"), QStringLiteral("on")});
    auto t = tap([this](EventType, const Event& e) -> EventResult {
        seen_.push_back(e);
        return e.type == EventType::FlagsChanged ? EventResult(e) : std::nullopt;
    });
    t->setTriggers({kPasteChord});
    xdotool({QStringLiteral("keydown"), QStringLiteral("super+v")});
    const bool repeated = pumpUntil(
        [this] { return std::any_of(seen_.begin(), seen_.end(), [](const Event& e) { return e.autorepeat == 1; }); });
    xdotool({QStringLiteral("keyup"), QStringLiteral("v")});
    xdotool({QStringLiteral("keyup"), QStringLiteral("super")});
    ASSERT_TRUE(repeated);
    EXPECT_EQ(seen_[0].autorepeat, 0);
    ASSERT_TRUE(pumpUntil([this] { return seen_.back().type == EventType::KeyUp; }));
    // Repeats come as presses only, not as release-press pairs.
    EXPECT_EQ(std::count_if(seen_.begin(), seen_.end(), [](const Event& e) { return e.type == EventType::KeyUp; }), 1);
}

TEST_F(X11EventTapsTest, CurrentFlagsFollowTheHeldModifiers) {
    EXPECT_EQ(taps_->currentFlags() & EventFlags::Command, 0u);
    xdotool({QStringLiteral("keydown"), QStringLiteral("super"), QStringLiteral("keydown"), QStringLiteral("alt")});
    const std::uint64_t held = taps_->currentFlags();
    xdotool({QStringLiteral("keyup"), QStringLiteral("alt"), QStringLiteral("keyup"), QStringLiteral("super")});
    EXPECT_EQ(held & (EventFlags::Command | EventFlags::Option | EventFlags::Shift),
              EventFlags::Command | EventFlags::Option);
    EXPECT_EQ(taps_->currentFlags() & EventFlags::Command, 0u);
}

TEST_F(X11EventTapsTest, TapMayDestroyItselfFromItsCallback) {
    std::unique_ptr<EventTap> t;
    t = tap([&](EventType, const Event& e) -> EventResult {
        t.reset();
        return e;
    });
    t->setTriggers({kPasteChord});
    superV(*target_);
    ASSERT_TRUE(pumpUntil([&] { return t == nullptr; }));
    superV(*target_);
    ASSERT_TRUE(pumpUntil([this] { return target_->received(Qt::Key_V, Qt::MetaModifier); }));
}

TEST(ClickCounter, CountsPressesCloseInTimeAndPlace) {
    struct Case {
        std::uint32_t time;
        Point at;
        int expected;
    };
    ClickCounter counter;
    const std::vector<Case> cases = {
        {1000, {100, 100}, 1},    {1300, {105, 103}, 2},    // within 400 ms and 8 points
        {1600, {100, 100}, 3},    {2100, {100, 100}, 1},    // too late
        {2200, {108, 100}, 1},                              // 8 points away is too far
        {0xFFFFFF00u, {0, 0}, 1}, {0x00000080u, {0, 0}, 2}, // the server clock wraps
    };
    for (const Case& c : cases) {
        EXPECT_EQ(counter.press(c.time, c.at, 400), c.expected) << c.time;
    }
}

TEST_F(X11EventTapsTest, MouseTapsTakeOnlyLeftButtonMasksAndCannotSwallow) {
    const auto ignore = [](EventType, const Event& e) -> EventResult { return e; };
    for (const std::uint64_t mask : {70u, 2u, 64u, 6u, 32u, 38u}) {
        auto t = taps_->createTap(mask, ignore);
        ASSERT_TRUE(t) << mask;
        EXPECT_FALSE(t->swallowsEvents()) << mask;
    }
    for (const std::uint64_t mask : {70u | 0x400u, 8u, 0u}) {
        EXPECT_FALSE(taps_->createTap(mask, ignore)) << mask;
    }
    EXPECT_TRUE(tap(ignore)->swallowsEvents());
}

TEST_F(X11EventTapsTest, MouseTapSeesPressDragsAtEachStepAndRelease) {
    xdotool({QStringLiteral("mousemove"), QStringLiteral("600"), QStringLiteral("400")});
    auto t = taps_->createTap(70, [this](EventType, const Event& e) -> EventResult {
        seen_.push_back(e);
        return e;
    });
    const auto last = [this](EventType type, double x) {
        return !seen_.empty() && seen_.back().type == type && seen_.back().location == Point{x, 400};
    };
    xdotool({QStringLiteral("keydown"), QStringLiteral("shift"), QStringLiteral("mousedown"), QStringLiteral("1")});
    ASSERT_TRUE(pumpUntil([&] { return last(EventType::LeftMouseDown, 600); }));
    EXPECT_EQ(seen_.back().clickState, 1);
    EXPECT_EQ(seen_.back().flags & EventFlags::Shift, EventFlags::Shift);
    for (const double x : {610, 620, 630}) {
        xdotool(
            {QStringLiteral("mousemove_relative"), QStringLiteral("--"), QStringLiteral("10"), QStringLiteral("0")});
        ASSERT_TRUE(pumpUntil([&] { return last(EventType::LeftMouseDragged, x); })) << x;
    }
    xdotool({QStringLiteral("mouseup"), QStringLiteral("1"), QStringLiteral("keyup"), QStringLiteral("shift")});
    ASSERT_TRUE(pumpUntil([&] { return last(EventType::LeftMouseUp, 630); }));
    // Moving with the button up is not watched at all.
    const std::size_t before = seen_.size();
    xdotool({QStringLiteral("mousemove_relative"), QStringLiteral("--"), QStringLiteral("10"), QStringLiteral("0")});
    xdotool({QStringLiteral("click"), QStringLiteral("3")});
    testing::pump(200);
    EXPECT_EQ(seen_.size(), before);
}

// Movements with the button up, asked for: one report per batch with where the pointer is; with the button held
// they are drags, not movements. Movements are what a device reports, so a warp of the pointer is none.
TEST_F(X11EventTapsTest, MouseTapReportsMovementsWhenAskedFor) {
    xdotool(QStringLiteral("mousemove 300 200").split(u' '));
    auto t = taps_->createTap(38, [this](EventType, const Event& e) -> EventResult { // down, up, moved
        seen_.push_back(e);
        return e;
    });
    const struct {
        const char* what;
        const char* command;
        EventType type;
        Point at;
    } steps[] = {
        {"a move", "mousemove_relative -- 20 10", EventType::MouseMoved, {320, 210}},
        {"another", "mousemove_relative -- 5 5", EventType::MouseMoved, {325, 215}},
        {"a press", "mousedown 1", EventType::LeftMouseDown, {325, 215}},
        {"a move while held", "mousemove_relative -- 10 0", EventType::Null, {}},
        {"the release", "mouseup 1", EventType::LeftMouseUp, {335, 215}},
        {"a move again", "mousemove_relative -- -35 -15", EventType::MouseMoved, {300, 200}},
        // xdotool's absolute move warps the pointer: no device moved, so it is not a movement.
        {"a warp", "mousemove 400 300", EventType::Null, {}},
    };
    for (const auto& s : steps) {
        const std::size_t before = seen_.size();
        xdotool(QString::fromUtf8(s.command).split(u' '));
        if (s.type == EventType::Null) {
            testing::pump(200);
            EXPECT_EQ(seen_.size(), before) << s.what;
            continue;
        }
        ASSERT_TRUE(pumpUntil([&] { return seen_.size() > before && seen_.back().location == s.at; })) << s.what;
        EXPECT_EQ(seen_.back().type, s.type) << s.what;
    }
}

TEST_F(X11EventTapsTest, MouseTapFollowsADragWhileAnotherClientHoldsThePointer) {
    // Another client takes the press and then the pointer, as a window manager does when it moves a window.
    xcb_connection_t* wm = xcb_connect(nullptr, nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(wm)).data->root;
    const xcb_window_t title = xcb_generate_id(wm);
    const std::uint32_t values[] = {1, XCB_EVENT_MASK_BUTTON_PRESS};
    xcb_create_window(wm, 0, title, root, 500, 300, 200, 200, 0, XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT,
                      XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    xcb_map_window(wm, title);
    std::free(xcb_get_input_focus_reply(wm, xcb_get_input_focus(wm), nullptr));
    xdotool(QStringLiteral("mousemove 600 400").split(u' '));
    auto t = taps_->createTap(70, [this](EventType, const Event& e) -> EventResult {
        seen_.push_back(e);
        return e;
    });
    xdotool(QStringLiteral("mousedown 1").split(u' '));
    ASSERT_TRUE(pumpUntil([this] { return !seen_.empty(); }));
    std::unique_ptr<xcb_grab_pointer_reply_t, decltype(&std::free)> grab(
        xcb_grab_pointer_reply(wm,
                               xcb_grab_pointer(wm, 0, root, XCB_EVENT_MASK_POINTER_MOTION, XCB_GRAB_MODE_ASYNC,
                                                XCB_GRAB_MODE_ASYNC, XCB_NONE, XCB_NONE, XCB_CURRENT_TIME),
                               nullptr),
        &std::free);
    EXPECT_TRUE(grab && grab->status == XCB_GRAB_STATUS_SUCCESS);
    xdotool(QStringLiteral("mousemove_relative -- 40 0").split(u' '));
    EXPECT_TRUE(pumpUntil([this] { return seen_.back().location == Point{640, 400}; }));
    EXPECT_EQ(seen_.back().type, EventType::LeftMouseDragged);
    xdotool(QStringLiteral("mouseup 1").split(u' '));
    EXPECT_TRUE(pumpUntil([this] { return seen_.back().type == EventType::LeftMouseUp; }));
    xcb_disconnect(wm);
}

TEST_F(X11EventTapsTest, MouseTapCountsADoubleClickAndStopsWhenDestroyedFromItsCallback) {
    xdotool({QStringLiteral("mousemove"), QStringLiteral("700"), QStringLiteral("500")});
    std::unique_ptr<EventTap> t;
    t = taps_->createTap(eventMaskBit(EventType::LeftMouseDown), [&](EventType, const Event& e) -> EventResult {
        seen_.push_back(e);
        if (e.clickState == 2) {
            t.reset();
        }
        return e;
    });
    xdotool({QStringLiteral("click"), QStringLiteral("--repeat"), QStringLiteral("2"), QStringLiteral("--delay"),
             QStringLiteral("80"), QStringLiteral("1")});
    ASSERT_TRUE(pumpUntil([&] { return t == nullptr; }));
    xdotool({QStringLiteral("click"), QStringLiteral("1")});
    testing::pump(200);
    ASSERT_EQ(seen_.size(), 2u);
    EXPECT_EQ(seen_[0].clickState, 1);
    EXPECT_EQ(seen_[1].clickState, 2);
}

TEST_F(X11EventTapsTest, ClicksElsewhereComeWithTheirPlaceButNotThoseInOwnWindows) {
    auto monitor = taps_->monitorClicksElsewhere(eventMaskBit(EventType::LeftMouseDown),
                                                 [this](const Event& e) { seen_.push_back(e); });
    // Raw clicks have no place of their own: they are placed where the pointer is when they are read.
    xdotool(QStringLiteral("mousemove 700 600 click 3 click 1").split(u' '));
    ASSERT_TRUE(pumpUntil([this] { return !seen_.empty(); }));
    xdotool(QStringLiteral("mousemove 200 200 click 1 click 3").split(u' ')); // in this program's window
    testing::pump(200);
    ASSERT_EQ(seen_.size(), 1u);
    EXPECT_EQ(seen_[0].type, EventType::LeftMouseDown);
    EXPECT_EQ(seen_[0].location, (Point{700, 600}));
    // Shaped to its top half (as a panel is without a compositor), the window's lower half is elsewhere.
    target_->setMask(QRegion(0, 0, 300, 100));
    testing::pump(100);
    const QPoint inside = target_->geometry().topLeft() + QPoint(100, 50);
    const QPoint below = inside + QPoint(0, 100);
    for (const QPoint& at : {inside, below}) {
        xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()), QStringLiteral("click"),
                 QStringLiteral("1")});
        testing::pump(200); // read while the pointer is still where it clicked
    }
    ASSERT_TRUE(pumpUntil([this] { return seen_.size() >= 2; }));
    testing::pump(200);
    ASSERT_EQ(seen_.size(), 2u);
    EXPECT_EQ(seen_[1].location, (Point{double(below.x()), double(below.y())}));
}

TEST_F(X11EventTapsTest, RawMotionArrivesOnlyWhileSelected) {
    int motions = 0;
    X11RawPointer pointer(true, [&](const std::vector<X11RawPointer::Report>& reports, const X11RawPointer::Pointer&) {
        motions += int(std::count_if(reports.begin(), reports.end(), [](const X11RawPointer::Report& r) {
            return r.kind == X11RawPointer::Report::Kind::Motion;
        }));
    });
    ASSERT_TRUE(pointer.available());
    const auto step = [] {
        xdotool({QStringLiteral("mousemove_relative"), QStringLiteral("--"), QStringLiteral("5"), QStringLiteral("5")});
    };
    step();
    testing::pump(200);
    EXPECT_EQ(motions, 0);
    pointer.setMotion(true);
    step();
    ASSERT_TRUE(pumpUntil([&] { return motions > 0; }));
    pointer.setMotion(false);
    testing::pump(50);
    motions = 0;
    step();
    testing::pump(200);
    EXPECT_EQ(motions, 0);
}

} // namespace
} // namespace tillory::platform::nix
