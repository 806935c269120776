#include "core/manual_scheduler.h"
#include "keyhub/key_event_hub.h"
#include "platform/sim/sim_desktop.h"
#include "snap/snap_controller.h"

#include <gtest/gtest.h>

#include <functional>

namespace tillory::platform {
void PrintTo(const Rect& r, std::ostream* os) {
    *os << "(" << r.x << ", " << r.y << ", " << r.width << ", " << r.height << ")";
}
} // namespace tillory::platform

namespace tillory::snap {
namespace {

using platform::Event;
using platform::EventType;
using namespace platform::EventFlags;
namespace KeyCode = platform::KeyCode;
using Phase = SnapController::DragPhase;
using platform::Size;

// 1440 × 900 at the origin with a 25-point menu bar; a 1280 × 800 screen to its right.
const ScreenInfo kMain{{0, 0, 1440, 900}, {0, 0, 1440, 875}};
const ScreenInfo kRight{{1440, 100, 1280, 800}, {1440, 100, 1280, 800}};
constexpr std::int32_t kOwnPid = 1;

struct FakePanels final : SnapPanelFactory {
    struct Panel final : SnapPanel {
        explicit Panel(FakePanels& o) : owner(o) {}
        void setFrame(Rect frame) override { owner.frames.push_back(frame); }
        void setIgnoresMouseEvents(bool ignores) override { owner.ignoresMouse = ignores; }
        void orderFrontRegardless() override { owner.shown = true; }
        void orderOut() override { owner.shown = false; }
        FakePanels& owner;
    };
    std::unique_ptr<SnapPanel> create() override {
        ++created;
        return std::make_unique<Panel>(*this);
    }
    int created = 0;
    std::vector<Rect> frames;
    bool ignoresMouse = false;
    bool shown = false;
};

class SnapControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim_.setScreens({kMain, kRight});
        sim_.grantAccessibility();
        editor_ = sim_.launchApp(QStringLiteral("org.editor"), QStringLiteral("Editor"));
        window_ = sim_.openWindow(editor_, QStringLiteral("Notes"), {100, 100, 1200, 800});
        sim_.activate(editor_);
    }

    SnapController& make(std::int32_t ownPid = kOwnPid) {
        snap_ = std::make_unique<SnapController>(platform_, hub_, scheduler_, &panels_, ownPid);
        snap_->enable();
        return *snap_;
    }

    static Event mouse(EventType type, Point p, std::int64_t clicks = 1) {
        Event e;
        e.type = type;
        e.location = p;
        e.clickState = clicks;
        return e;
    }
    platform::EventResult press(Point p, std::int64_t clicks = 1) {
        return sim_.inject(mouse(EventType::LeftMouseDown, p, clicks));
    }
    platform::EventResult release(Point p) { return sim_.inject(mouse(EventType::LeftMouseUp, p)); }
    /// Drags the pointer from `from` to `to` in steps, the window following it as a window manager moves it.
    void dragWindow(Point from, Point to, int steps = 4) {
        const Rect start = bounds();
        for (int i = 1; i <= steps; ++i) {
            const Point p{from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps};
            sim_.setWindowBounds(window_, {start.x + p.x - from.x, start.y + p.y - from.y, start.width, start.height});
            sim_.inject(mouse(EventType::LeftMouseDragged, p));
        }
    }
    void dropAt(Point to) {
        press({600, 110});
        dragWindow({600, 110}, to);
        release(to);
    }
    Rect bounds(std::uint32_t w = 0) const { return sim_.window(w ? w : window_)->bounds; }

    core::ManualScheduler scheduler_;
    platform::sim::SimDesktop sim_{scheduler_};
    platform::Platform platform_ = sim_.platform();
    keyhub::KeyEventHub hub_{*platform_.eventTaps, *platform_.accessibility, scheduler_};
    FakePanels panels_;
    std::unique_ptr<SnapController> snap_;
    std::int32_t editor_ = 0;
    std::uint32_t window_ = 0;
};

TEST_F(SnapControllerTest, WaitsForTrustAndForTheMouseTap) {
    sim_.revokeAccessibility();
    auto& snap = make();
    EXPECT_EQ(sim_.trustPromptCount(), 1);
    EXPECT_TRUE(snap.isWaitingForPermission());
    sim_.grantAccessibility();
    sim_.setTapCreationFails(true);
    scheduler_.advance(2.0);
    EXPECT_TRUE(snap.isListening());
    EXPECT_FALSE(snap.hasMouseTap());
    // The watch goes on while the mouse tap is missing.
    EXPECT_TRUE(snap.isWaitingForPermission());
    sim_.setTapCreationFails(false);
    scheduler_.advance(2.0);
    EXPECT_TRUE(snap.hasMouseTap());
    EXPECT_FALSE(snap.isWaitingForPermission());
    snap.disable();
    EXPECT_FALSE(snap.isListening());
    EXPECT_FALSE(snap.hasMouseTap());
    EXPECT_EQ(sim_.liveTapCount(), 0);
}

// Where drags are never shown (Wayland), nothing waits for a mouse tap that cannot come; the chords still snap.
TEST_F(SnapControllerTest, WithoutThePointerOnlyChordsSnapAndNothingWaits) {
    sim_.setPointerUnseen(true);
    auto& snap = make();
    EXPECT_FALSE(snap.dragsObservable());
    EXPECT_TRUE(snap.isListening());
    EXPECT_FALSE(snap.hasMouseTap());
    EXPECT_FALSE(snap.isWaitingForPermission());
    scheduler_.advance(10.0);
    EXPECT_FALSE(snap.isWaitingForPermission());
    EXPECT_EQ(sim_.liveTapCount(), 1) << "the keyboard's tap only";
    sim_.setWindowBounds(window_, {100, 100, 1200, 800});
    EXPECT_FALSE(sim_.pressKey(KeyCode::LeftArrow, Control | Option).has_value());
    EXPECT_EQ(bounds(), (Rect{0, 25, 720, 875}));
    snap.disable();
    snap.enable();
    EXPECT_FALSE(snap.isWaitingForPermission());
}

TEST_F(SnapControllerTest, DropsSnapToEdgesCornersAndBarZones) {
    struct Case {
        Point drop;
        Rect frame; // the window's frame afterwards
        bool assist;
    };
    const Case cases[]{
        {{5, 500}, {0, 25, 720, 875}, false},
        {{1435, 500}, {720, 25, 720, 875}, false},
        {{10, 30}, {0, 25, 720, 438}, false}, // rounded edges of 437.5
        {{1430, 895}, {720, 463, 720, 437}, false},
        {{470, 65}, {720, 25, 720, 875}, true},    // "Halves", zone 1
        {{1445, 400}, {1440, 0, 640, 800}, false}, // onto the right screen's left edge
        {{700, 140}, {}, false},                   // between the bar's cards: nothing moves
        {{700, 500}, {}, false},                   // no target
    };
    for (const Case& c : cases) {
        SetUp();
        sim_.setWindowBounds(window_, {100, 100, 1200, 800});
        auto& snap = make();
        press({600, 110});
        dragWindow({600, 110}, c.drop);
        const Rect moved = bounds();
        release(c.drop);
        scheduler_.advance(0.1);
        const Rect expected = c.frame.width > 0 ? c.frame : moved;
        EXPECT_EQ(bounds(), expected) << c.drop.x << "," << c.drop.y;
        EXPECT_EQ(snap.isActive(), c.assist);
        EXPECT_FALSE(snap.dragVisible());
        EXPECT_EQ(snap.dragPhase(), Phase::Idle);
        EXPECT_EQ(panels_.shown, c.assist);
    }
}

TEST_F(SnapControllerTest, OverlayFollowsThePointer) {
    auto& snap = make();
    int published = 0;
    QObject::connect(&snap, &SnapController::dragChanged, [&published] { ++published; });
    press({600, 110});
    dragWindow({600, 110}, {470, 65});
    const int afterFirstZone = published;
    dragWindow({470, 65}, {475, 70}); // within the same zone: nothing new to draw
    EXPECT_EQ(published, afterFirstZone);
    EXPECT_TRUE(snap.dragVisible());
    EXPECT_TRUE(snap.dragBarVisible());
    EXPECT_EQ(std::pair(snap.dragHoverLayout(), snap.dragHoverZone()), std::pair(0, 1));
    EXPECT_EQ(snap.dragPreview(), (Rect{720, 25, 720, 875}));
    EXPECT_TRUE(panels_.ignoresMouse);
    EXPECT_EQ(panels_.frames.back(), kMain.frame);
    // Onto the other screen: the bar is laid out again and the panel moves with it.
    dragWindow({470, 65}, {1445, 300});
    EXPECT_EQ(snap.barGeometry()->screenSize.width, 1280);
    EXPECT_EQ(snap.dragPreview(), (Rect{0, 0, 640, 800}));
    EXPECT_EQ(panels_.frames.back(), kRight.frame);
    // Straight back from one edge target to another: the overlay never hides, and still follows.
    dragWindow({1445, 300}, {1435, 500}, 1);
    EXPECT_TRUE(snap.dragVisible());
    EXPECT_EQ(panels_.frames.back(), kMain.frame);
    // A press without the release between (a release that was lost) takes the overlay down.
    press({1445, 300});
    EXPECT_FALSE(snap.dragVisible());
    EXPECT_FALSE(panels_.shown);
}

TEST_F(SnapControllerTest, PressesThatAreNotWindowDrags) {
    auto& snap = make();
    // A 4-point move.
    press({600, 110});
    sim_.inject(mouse(EventType::LeftMouseDragged, {604, 110}));
    EXPECT_EQ(snap.dragPhase(), Phase::Idle);
    // Selecting text: the window stays.
    sim_.inject(mouse(EventType::LeftMouseDragged, {5, 500}));
    EXPECT_EQ(snap.dragPhase(), Phase::Watching);
    sim_.inject(mouse(EventType::LeftMouseDragged, {6, 510}));
    EXPECT_FALSE(snap.dragVisible());
    release({6, 510});
    EXPECT_EQ(bounds(), (Rect{100, 100, 1200, 800}));
    // Resizing by the left edge moves the window too, but changes its size.
    press({100, 500});
    sim_.inject(mouse(EventType::LeftMouseDragged, {80, 500}));
    sim_.setWindowBounds(window_, {5, 100, 1295, 800});
    sim_.inject(mouse(EventType::LeftMouseDragged, {5, 500}));
    EXPECT_EQ(snap.dragPhase(), Phase::Ignored);
    EXPECT_FALSE(snap.dragVisible());
    // A drag while this program is in front.
    sim_.setWindowBounds(window_, {100, 100, 1200, 800});
    auto& own = make(editor_);
    press({600, 110});
    sim_.inject(mouse(EventType::LeftMouseDragged, {640, 110}));
    EXPECT_EQ(own.dragPhase(), Phase::Ignored);
}

TEST_F(SnapControllerTest, WindowThatVanishesOrRefusesMidDrag) {
    auto& snap = make();
    press({600, 110});
    dragWindow({600, 110}, {300, 300});
    sim_.closeWindow(window_);
    sim_.inject(mouse(EventType::LeftMouseDragged, {5, 500}));
    release({5, 500});
    EXPECT_FALSE(snap.dragVisible());
    EXPECT_FALSE(panels_.shown);
    EXPECT_EQ(snap.dragPhase(), Phase::Idle);

    window_ = sim_.openWindow(editor_, QStringLiteral("Fixed"), {100, 100, 500, 400});
    sim_.setWindowSizeLimits(window_, {500, 400}, {500, 400});
    press({300, 110});
    dragWindow({300, 110}, {1435, 500});
    release({1435, 500});
    scheduler_.advance(0.1);
    // Kept its size and its right edge on the work area's; the half reaches from top to bottom, so its top edge.
    EXPECT_EQ(bounds(), (Rect{940, 25, 500, 400}));
    EXPECT_EQ(snap.dragPhase(), Phase::Idle);

    // One that ignores every move ends the same way, where it was let go.
    sim_.setWindowFrozen(window_, false);
    sim_.setWindowBounds(window_, {100, 100, 500, 400});
    press({300, 110});
    dragWindow({300, 110}, {5, 500});
    sim_.setWindowFrozen(window_, true);
    const Rect held = bounds();
    release({5, 500});
    scheduler_.advance(0.1);
    EXPECT_EQ(bounds(), held);
    EXPECT_FALSE(snap.dragVisible());
    EXPECT_FALSE(panels_.shown);
    EXPECT_EQ(snap.dragPhase(), Phase::Idle);
}

TEST_F(SnapControllerTest, FrameCorrectionForWindowsThatKeepTheirSize) {
    auto& snap = make();
    struct Case {
        Size minimum;
        Size maximum;
        Rect unit;
        Rect frame;
        std::size_t writes;
    };
    const Size any{1e9, 1e9};
    const Case cases[]{
        {{900, 0}, any, Rect{0.5, 0, 0.5, 1}, {540, 25, 900, 875}, 3},
        {{900, 0}, any, Rect{0, 0, 0.5, 1}, {0, 25, 900, 875}, 3},
        {{0, 0}, any, Rect{0, 0, 0.5, 1}, {0, 25, 720, 875}, 2},                 // took the size: no correction
        {{0, 0}, {719, 1e9}, Rect{0.5, 0, 0.5, 1}, {720, 25, 719, 875}, 2},      // within 2 points: as good as taken
        {{1600, 1000}, any, Rect{0.5, 0, 0.5, 1}, {0, 25, 1600, 1000}, 3},       // larger than the screen: stays on it
        {{0, 0}, {500, 400}, Rect{0.5, 0, 0.5, 1}, {940, 25, 500, 400}, 3},      // top to bottom: keeps the top edge
        {{0, 0}, {500, 400}, Rect{0.5, 0.5, 0.5, 0.5}, {940, 500, 500, 400}, 3}, // only the bottom: keeps that
        {{0, 0}, {500, 400}, Rect{0, 0, 0.5, 0.5}, {0, 25, 500, 400}, 3},
    };
    for (const Case& c : cases) {
        const auto w = sim_.openWindow(editor_, QStringLiteral("W"), {100, 100, 1000, 1000});
        sim_.setWindowSizeLimits(w, c.minimum, c.maximum);
        const Element element = snap.access().axWindow(editor_, w);
        snap.access().setFrame(snap.geometry().rect(c.unit, kMain), kMain, element);
        EXPECT_EQ(bounds(w), c.frame) << c.minimum.width << " " << c.maximum.width << " " << c.unit.y;
        const auto writes = sim_.frameWrites(w);
        EXPECT_EQ(writes.size(), c.writes);
        for (const auto& write : writes) {
            EXPECT_EQ(write.first, QStringLiteral("AXFrame")) << "position and size in one write";
        }
    }
}

TEST_F(SnapControllerTest, SecondFrameWriteYieldsToLaterPlacementsAndDisable) {
    auto& snap = make();
    dropAt({5, 500});
    EXPECT_EQ(sim_.frameWrites(window_).size(), 2u);
    sim_.setWindowBounds(window_, {10, 10, 300, 300});
    snap.disable();
    scheduler_.advance(0.1);
    EXPECT_EQ(bounds(), (Rect{10, 10, 300, 300}));

    snap.enable();
    dropAt({5, 500});
    // The chord places it again before the first drop's second write falls due.
    sim_.inject(Event::key(EventType::KeyDown, KeyCode::RightArrow, Control | Option));
    scheduler_.advance(0.1);
    EXPECT_EQ(bounds(), (Rect{720, 25, 720, 875}));
}

TEST_F(SnapControllerTest, DropsAndDoubleClicksWriteOnceMoreAFiftiethOfASecondLater) {
    struct Case {
        const char* what;
        std::function<void()> place;
        Rect frame; // after the second write; nothing for no second write
    };
    const Rect undone{10, 10, 300, 300};
    const Case cases[]{
        {"drop",
         [this] {
             dropAt({5, 500});
         },
         {0, 25, 720, 875}},
        {"double click",
         [this] {
             press({600, 110});
             press({600, 110}, 2);
             release({600, 110});
         },
         {0, 25, 1440, 875}},
        {"chord", [this] { sim_.pressKey(KeyCode::LeftArrow, Control | Option); }, undone},
    };
    for (const Case& c : cases) {
        SetUp();
        make();
        c.place();
        // The application puts its window back right after the first write.
        sim_.setWindowBounds(window_, undone);
        scheduler_.advance(0.04);
        EXPECT_EQ(bounds(), undone) << c.what;
        scheduler_.advance(0.02);
        EXPECT_EQ(bounds(), c.frame) << c.what;
        sim_.setWindowBounds(window_, undone);
        scheduler_.advance(2);
        EXPECT_EQ(bounds(), undone) << c.what << ": one second write only";
    }
}

TEST_F(SnapControllerTest, TitleDoubleClickMaximisesAndRestores) {
    auto& snap = make();
    EXPECT_TRUE(press({600, 110}));
    release({600, 110});
    scheduler_.advance(0.1);
    EXPECT_FALSE(press({600, 110})) << "the second press is swallowed";
    EXPECT_FALSE(sim_.inject(mouse(EventType::LeftMouseDragged, {640, 110})));
    EXPECT_FALSE(release({640, 110}));
    scheduler_.advance(0.1);
    EXPECT_EQ(bounds(), (Rect{0, 25, 1440, 875}));
    EXPECT_EQ(snap.restoreFrames().at(window_), (Rect{100, 100, 1200, 800}));
    // A third click right after is not a second double click.
    EXPECT_TRUE(press({600, 40}, 3));
    release({600, 40});
    EXPECT_EQ(bounds(), (Rect{0, 25, 1440, 875}));
    scheduler_.advance(1.0);
    press({600, 40});
    release({600, 40});
    press({600, 40}, 2);
    release({600, 40});
    scheduler_.advance(0.1);
    EXPECT_EQ(bounds(), (Rect{100, 100, 1200, 800}));
    EXPECT_TRUE(snap.restoreFrames().empty());
    // The window's top-left corner, or a window too narrow, is no target and nothing is swallowed.
    scheduler_.advance(1.0);
    press({150, 110});
    EXPECT_TRUE(press({150, 110}, 2));
    const auto narrow = sim_.openWindow(editor_, QStringLiteral("Narrow"), {10, 600, 120, 200});
    (void)narrow;
    scheduler_.advance(1.0);
    press({70, 620});
    EXPECT_TRUE(press({70, 620}, 2));
}

TEST_F(SnapControllerTest, APressAfterALostReleaseIsNotSwallowed) {
    make();
    press({600, 110});
    EXPECT_FALSE(press({600, 110}, 2)) << "the title double click";
    // Its release never came.
    scheduler_.advance(1.0);
    EXPECT_TRUE(press({300, 500}));
    EXPECT_TRUE(sim_.inject(mouse(EventType::LeftMouseDragged, {340, 500})).has_value());
    EXPECT_TRUE(release({340, 500}).has_value());
}

TEST_F(SnapControllerTest, RememberedFramesArePrunedFromTheTwentyFifth) {
    auto& snap = make();
    std::vector<std::uint32_t> windows;
    const auto maximizeNew = [&] {
        windows.push_back(sim_.openWindow(editor_, QStringLiteral("W"), {100, 100, 600, 400}));
        press({300, 110});
        press({300, 110}, 2);
        release({300, 110});
        scheduler_.advance(1.0);
    };
    for (int i = 0; i < 20; ++i) {
        maximizeNew();
    }
    for (int i = 0; i < 5; ++i) {
        sim_.closeWindow(windows[static_cast<std::size_t>(i)]);
    }
    for (int i = 0; i < 4; ++i) {
        maximizeNew();
    }
    EXPECT_EQ(snap.restoreFrames().size(), 24u);
    maximizeNew();
    EXPECT_EQ(snap.restoreFrames().size(), 20u);
    EXPECT_EQ(snap.restoreFrames().count(windows[0]), 0u);
    // A window list that cannot be read says nothing about which windows are gone.
    for (int i = 0; i < 5; ++i) {
        maximizeNew();
    }
    sim_.setWindowListReadable(false);
    snap.pruneRestoreFrames();
    EXPECT_EQ(snap.restoreFrames().size(), 25u);
}

TEST_F(SnapControllerTest, DoubleClickRestoresTheCentredFrameWithoutAMemory) {
    auto& snap = make();
    sim_.setWindowBounds(window_, {5, 5, 1430, 890});
    press({600, 30});
    press({600, 30}, 2);
    release({600, 30});
    scheduler_.advance(0.1);
    EXPECT_EQ(bounds(), (Rect{144, 95, 1152, 735}));
    EXPECT_TRUE(snap.restoreFrames().empty());
}

TEST_F(SnapControllerTest, FocusedWindowStandsInOnlyForTheClickedOne) {
    make();
    sim_.setWindowAccessible(window_, false); // not in "AXWindows": found only as the focused window
    press({600, 110});
    press({600, 110}, 2);
    scheduler_.advance(0.1);
    EXPECT_EQ(bounds(), (Rect{0, 25, 1440, 875}));
    // Clicked behind its application's focused window, which is elsewhere.
    const auto viewer = sim_.launchApp(QStringLiteral("org.viewer"), QStringLiteral("Viewer"));
    const auto other = sim_.openWindow(viewer, QStringLiteral("Other"), {200, 300, 600, 400});
    sim_.setWindowAccessible(other, false);
    sim_.openWindow(viewer, QStringLiteral("Front"), {900, 300, 400, 400});
    scheduler_.advance(1.0);
    press({500, 310});
    press({500, 310}, 2);
    scheduler_.advance(0.1);
    EXPECT_EQ(bounds(other), (Rect{200, 300, 600, 400}));
}

TEST_F(SnapControllerTest, WhereClicksArriveFirstTheWindowManagerMayActItself) {
    sim_.setTapsSwallow(false);
    make();
    // The window manager maximises on the second click before Tillory hears of it: Tillory stands back.
    press({600, 110});
    sim_.setWindowBounds(window_, {0, 0, 1440, 900});
    press({600, 110}, 2);
    scheduler_.advance(1.0);
    EXPECT_EQ(bounds(), (Rect{0, 0, 1440, 900}));
    // It shades the window a moment later: the same.
    sim_.setWindowBounds(window_, {100, 100, 1200, 800});
    press({600, 110});
    press({600, 110}, 2);
    sim_.setWindowBounds(window_, {100, 100, 1200, 24});
    scheduler_.advance(1.0);
    EXPECT_EQ(bounds(), (Rect{100, 100, 1200, 24}));
    // It does nothing: Tillory maximises once the moment has passed.
    sim_.setWindowBounds(window_, {100, 100, 1200, 800});
    scheduler_.advance(1.0);
    press({600, 110});
    press({600, 110}, 2);
    scheduler_.advance(0.2);
    EXPECT_EQ(bounds(), (Rect{100, 100, 1200, 800}));
    scheduler_.advance(0.3);
    EXPECT_EQ(bounds(), (Rect{0, 25, 1440, 875}));
}

TEST_F(SnapControllerTest, KeyboardChords) {
    auto& snap = make();
    struct Case {
        int key;
        std::uint64_t flags;
        bool swallowed;
        Rect frame;
    };
    const Rect start{100, 100, 1200, 800};
    const Case cases[]{
        {KeyCode::LeftArrow, Control | Option, true, {0, 25, 720, 875}},
        {KeyCode::RightArrow, Control | Option | Shift, true, {720, 25, 720, 875}},
        {KeyCode::DownArrow, Control | Option, true, {144, 95, 1152, 735}},
        {KeyCode::UpArrow, Control | Option, true, {0, 25, 1440, 875}},
        {KeyCode::LeftArrow, Control | Option | Command, false, start},
        {KeyCode::LeftArrow, Control, false, start},
        {KeyCode::A, Control | Option, false, start},
    };
    for (const Case& c : cases) {
        sim_.setWindowBounds(window_, start);
        EXPECT_EQ(!sim_.pressKey(c.key, c.flags).has_value(), c.swallowed) << c.key;
        EXPECT_EQ(bounds(), c.frame) << c.key;
    }
    // Without a front window the chord is still swallowed.
    sim_.closeWindow(window_);
    EXPECT_FALSE(sim_.pressKey(KeyCode::LeftArrow, Control | Option).has_value());
    EXPECT_FALSE(sim_.pressKey(KeyCode::Z, Control | Option).has_value());
    EXPECT_FALSE(snap.isActive());
}

TEST_F(SnapControllerTest, PickerKeys) {
    auto& snap = make();
    snap.cancel();
    EXPECT_FALSE(panels_.shown);
    sim_.pressKey(KeyCode::Z, Control | Option);
    ASSERT_TRUE(snap.isActive());
    EXPECT_EQ(snap.mode(), SnapController::Mode::Layouts);
    EXPECT_FALSE(panels_.ignoresMouse);
    struct Step {
        int key;
        std::uint64_t flags;
        int layout;
        int zone;
    };
    const Step steps[]{
        {KeyCode::A, 0, 0, 0},          {KeyCode::Space, 0, 0, 0},      {KeyCode::Tab, Shift, 4, 0},
        {KeyCode::Tab, 0, 0, 0},        {KeyCode::Tab, 0, 1, 0},        {KeyCode::Tab, 0, 2, 0},
        {KeyCode::Tab, 0, 3, 0},        {KeyCode::RightArrow, 0, 3, 1}, {KeyCode::DownArrow, 0, 3, 2},
        {KeyCode::RightArrow, 0, 3, 0}, {KeyCode::LeftArrow, 0, 3, 2},  {KeyCode::Return, Command, 3, 0},
    };
    for (const Step& s : steps) {
        EXPECT_FALSE(sim_.pressKey(s.key, s.flags).has_value());
        EXPECT_EQ(std::pair(snap.focusedLayout(), snap.focusedZone()), std::pair(s.layout, s.zone)) << s.key;
    }
    // Return committed "Half + Stack" zone 2 and Snap Assist took over.
    EXPECT_EQ(bounds(), (Rect{720, 463, 720, 437}));
    EXPECT_EQ(snap.mode(), SnapController::Mode::Assist);
    EXPECT_FALSE(sim_.pressKey(KeyCode::Return, 0).has_value());
    EXPECT_TRUE(snap.isActive());
    sim_.pressKey(KeyCode::Escape, 0);
    EXPECT_FALSE(snap.isActive());
    EXPECT_FALSE(panels_.shown);
    // Keyboard capture refused: the picker stays shut.
    sim_.setCaptureFails(true);
    sim_.pressKey(KeyCode::Z, Control | Option);
    EXPECT_FALSE(snap.isActive());
}

// The panel is made when first shown and let go 30 s after it hides, unless it shows again first.
TEST_F(SnapControllerTest, APanelHidden30SecondsIsLetGo) {
    auto& snap = make();
    const auto picker = [&] {
        sim_.pressKey(KeyCode::Z, Control | Option);
        sim_.pressKey(KeyCode::Escape, 0);
    };
    const struct {
        const char* what;
        bool show;
        double idle;
        bool panel;
        int created;
    } steps[] = {
        {"enabled, never shown", false, 0, false, 0},
        {"the picker shown and closed", true, 0, true, 1},
        {"29.9 s later", false, 29.9, true, 1},
        {"30 s later", false, 0.1, false, 1},
        {"shown again", true, 0, true, 2},
        {"shown within 30 s", true, 20, true, 2},
        {"20 s after that", false, 20, true, 2},
        {"30 s after that", false, 10, false, 2},
    };
    for (const auto& s : steps) {
        scheduler_.advance(s.idle);
        if (s.show) {
            picker();
        }
        EXPECT_FALSE(snap.isActive()) << s.what;
        EXPECT_EQ(snap.hasPanel(), s.panel) << s.what;
        EXPECT_EQ(panels_.created, s.created) << s.what;
    }
}

TEST_F(SnapControllerTest, SnapAssistOffersOneWindowPerApplication) {
    auto& snap = make();
    std::vector<std::uint32_t> offered;
    for (int i = 0; i < 10; ++i) {
        const auto pid = sim_.launchApp(QStringLiteral("org.app%1").arg(i), QStringLiteral("App %1").arg(i));
        sim_.openWindow(pid, QStringLiteral("behind"), {60, 60, 400, 300});
        offered.push_back(sim_.openWindow(pid, QString(), {50.0 + i, 50, 400, 300}));
    }
    const auto thin = sim_.launchApp(QStringLiteral("org.thin"), QStringLiteral("Thin"));
    sim_.openWindow(thin, QStringLiteral("bar"), {0, 0, 400, 80});
    const auto dock = sim_.launchApp(QStringLiteral("com.dock"), QStringLiteral("Dock"));
    sim_.openWindow(dock, QStringLiteral("dock"), {0, 0, 800, 800});
    sim_.activate(editor_);
    sim_.setScreenCaptureAllowed(true);
    dropAt({470, 65});
    ASSERT_TRUE(snap.isActive());
    EXPECT_EQ(snap.assistZone(), 0);
    ASSERT_EQ(snap.candidates().size(), 8u);
    for (const SnapWindow& w : snap.candidates()) {
        EXPECT_NE(w.id, window_);
        EXPECT_TRUE(w.title.startsWith(QStringLiteral("App "))) << "the owner's name when the window has none";
    }
    // Thumbnails at a quarter of the window's size.
    ASSERT_EQ(sim_.pendingCaptures().size(), 8u);
    EXPECT_EQ(sim_.pendingCaptures().front().width, 100);
    EXPECT_EQ(sim_.pendingCaptures().front().height, 75);
    sim_.finishCaptures();
    scheduler_.runPosted();
    EXPECT_TRUE(snap.candidateThumbnail(snap.candidates().front().id).has_value());
    // Picking one fills zone 0: every zone is filled and Snap Assist ends.
    const auto pick = snap.candidates()[2].id;
    snap.fillAssist(pick);
    EXPECT_EQ(bounds(pick), (Rect{0, 25, 720, 875}));
    EXPECT_FALSE(snap.isActive());
}

TEST_F(SnapControllerTest, SnapAssistFillsZonesInTurn) {
    auto& snap = make();
    std::vector<std::uint32_t> others;
    for (int i = 0; i < 3; ++i) {
        const auto pid = sim_.launchApp(QStringLiteral("org.o%1").arg(i), QStringLiteral("O%1").arg(i));
        others.push_back(sim_.openWindow(pid, QStringLiteral("w"), {50, 50, 400, 300}));
    }
    sim_.activate(editor_);
    snap.open();
    snap.commitZone(4, 3);
    EXPECT_EQ(bounds(), (Rect{720, 463, 720, 437}));
    EXPECT_EQ(snap.assistZone(), 0);
    // A candidate closed meanwhile is dropped without ticking its zone.
    sim_.closeWindow(others[0]);
    snap.fillAssist(others[0]);
    EXPECT_EQ(snap.assistZone(), 0);
    EXPECT_EQ(snap.filledZones(), (std::set<int>{3}));
    snap.fillAssist(others[1]);
    EXPECT_EQ(snap.assistZone(), 1);
    EXPECT_EQ(bounds(others[1]), (Rect{0, 25, 720, 438}));
    // The display goes away before the next pick: Snap Assist ends and nothing moves.
    sim_.setScreens({kRight});
    snap.fillAssist(others[2]);
    EXPECT_FALSE(snap.isActive());
    EXPECT_EQ(bounds(others[2]), (Rect{50, 50, 400, 300}));
}

TEST_F(SnapControllerTest, PickerAndSnapAssistCloseWhenTheirDisplayGoes) {
    const auto viewer = sim_.launchApp(QStringLiteral("org.viewer"), QStringLiteral("Viewer"));
    sim_.openWindow(viewer, QStringLiteral("Other"), {200, 300, 600, 400});
    struct Case {
        bool assist;
        std::vector<ScreenInfo> screens;
        bool open;
    };
    const Case cases[]{
        {false, {kRight}, false},
        {true, {kRight}, false},
        {false, {kMain}, true},                                   // another display went
        {true, {{kMain.frame, {0, 0, 1440, 850}}, kRight}, true}, // its work area changed
    };
    for (const Case& c : cases) {
        sim_.setScreens({kMain, kRight});
        sim_.activate(editor_);
        auto& snap = make();
        snap.open();
        if (c.assist) {
            snap.commitZone(0, 0);
        }
        ASSERT_TRUE(snap.isActive());
        sim_.setScreens(c.screens);
        EXPECT_EQ(snap.isActive(), c.open) << c.assist << " " << c.screens.size();
        EXPECT_EQ(panels_.shown, c.open);
    }
}

TEST_F(SnapControllerTest, OpenPanelStopsDragSnapping) {
    auto& snap = make();
    snap.open();
    press({600, 110});
    dragWindow({600, 110}, {5, 500});
    release({5, 500});
    EXPECT_FALSE(snap.dragVisible());
    EXPECT_NE(bounds(), (Rect{0, 25, 720, 875}));
    snap.disable();
    EXPECT_FALSE(snap.isActive());
    EXPECT_FALSE(panels_.shown);
}

} // namespace
} // namespace tillory::snap
