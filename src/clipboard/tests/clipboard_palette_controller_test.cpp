#include "clipboard/clipboard_manager.h"
#include "clipboard/clipboard_palette_controller.h"
#include "clipboard/history_store.h"
#include "core/manual_scheduler.h"
#include "core/serial_queue.h"
#include "core/settings.h"
#include "core/uuid.h"
#include "keyhub/key_event_hub.h"
#include "platform/sim/sim_desktop.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace tillory::clipboard {
namespace {

using platform::Event;
using platform::EventType;
using platform::Point;
using platform::Rect;
using platform::TextRange;
using platform::EventFlags::Command;
using platform::EventFlags::Option;
using platform::EventFlags::Shift;
namespace KeyCode = platform::KeyCode;
using C = ClipboardPaletteController;

constexpr std::uint64_t kPanelWindow = 7001;

class FakePanelFactory final : public PalettePanelFactory {
public:
    class Panel final : public PalettePanel {
    public:
        explicit Panel(FakePanelFactory& owner) : owner_(owner) {}
        void present(Rect frame) override { owner_.frames.push_back(frame); }
        void orderOut() override { ++owner_.orderOuts; }
        std::uint64_t windowId() const override { return kPanelWindow; }

    private:
        FakePanelFactory& owner_;
    };

    std::unique_ptr<PalettePanel> create() override {
        ++created;
        return std::make_unique<Panel>(*this);
    }
    int created = 0;
    int orderOuts = 0;
    std::vector<Rect> frames;
};

bool isMarkedChord(const Event& event, EventType type) {
    return event.type == type && event.keyCode == KeyCode::V && event.flags == Command && event.userData == 1556763;
}

class PaletteTest : public ::testing::Test {
protected:
    PaletteTest() {
        sim.grantAccessibility();
        app = sim.launchApp(QStringLiteral("org.example.editor"), QStringLiteral("Editor"));
        const platform::Platform p = sim.platform();
        manager = std::make_unique<ClipboardManager>(*p.pasteboard, settings, scheduler, queue, store);
        manager->start();
        hub = std::make_unique<keyhub::KeyEventHub>(*p.eventTaps, *p.accessibility, scheduler);
        palette = std::make_unique<C>(*manager, *hub, *p.accessibility, *p.eventTaps, *p.pasteboard, *p.screens,
                                      scheduler, panels);
        palette->start();
    }

    /// Another application copies each text in turn; the newest ends up first.
    void copy(std::initializer_list<const char*> texts, const std::optional<QByteArray>& rtf = std::nullopt) {
        for (const char* text : texts) {
            sim.copy(QString::fromUtf8(text), {}, rtf);
            scheduler.advance(0.7);
        }
    }
    void copyText1To3() { copy({"text1", "text2", "text3"}); }

    /// Listed rows are newest first: row 0 is the last copy.
    ClipboardEntry row(int index) const { return palette->listEntries().at(static_cast<std::size_t>(index)); }

    /// ⌘ down, ⌘V down, then one autorepeat: the key is held past the repeat delay.
    void holdCommandV(std::uint64_t flags = Command) {
        sim.changeFlags(flags);
        sim.pressKey(KeyCode::V, flags);
        sim.pressKey(KeyCode::V, flags, true);
    }
    void pressEscape() { sim.pressKey(KeyCode::Escape, Command); }

    std::vector<Event> receivedKeys() const {
        std::vector<Event> keys;
        for (const Event& event : sim.receivedEvents(app)) {
            if (event.type != EventType::FlagsChanged) {
                keys.push_back(event);
            }
        }
        return keys;
    }

    QStringList historyTexts() const {
        QStringList texts;
        for (const ClipboardEntry& entry : manager->entries()) {
            texts.append(entry.text);
        }
        return texts;
    }

    /// A focused text element of the front application whose range bounds are `bounds` (global top-left space).
    int focusCaret(TextRange selection, platform::AXValue bounds, Rect frame = {100, 100, 300, 200}) {
        const int element = sim.addElement(app, platform::AXRole::TextArea, frame);
        sim.setElementAttribute(element, platform::AXAttribute::SelectedTextRange, selection);
        sim.setBoundsForRange(element, [bounds](TextRange) { return bounds; });
        sim.focusElement(app, element);
        return element;
    }

    Rect lastFrame() const { return panels.frames.empty() ? Rect{} : panels.frames.back(); }

    QTemporaryDir dir;
    core::ManualScheduler scheduler;
    core::ManualSerialQueue queue{scheduler};
    platform::sim::SimDesktop sim{scheduler};
    core::MemorySettings settings;
    std::shared_ptr<HistoryStore> store = std::make_shared<HistoryStore>(dir.filePath(QStringLiteral("Tillory")));
    std::unique_ptr<ClipboardManager> manager;
    std::unique_ptr<keyhub::KeyEventHub> hub;
    FakePanelFactory panels;
    std::unique_ptr<C> palette;
    std::int32_t app = 0;
};

// Tap and hold.

TEST_F(PaletteTest, TapIsReplacedByOneMarkedSyntheticPaste) {
    copyText1To3();
    const ClipboardEntries before = manager->entries();
    sim.changeFlags(Command);
    EXPECT_FALSE(sim.pressKey(KeyCode::V, Command).has_value());
    EXPECT_FALSE(sim.releaseKey(KeyCode::V, Command).has_value());
    EXPECT_TRUE(sim.postedEvents().empty()); // posted on the main queue, after the key-up returns
    scheduler.runPosted();

    ASSERT_EQ(sim.postedEvents().size(), 2u);
    EXPECT_TRUE(isMarkedChord(sim.postedEvents()[0], EventType::KeyDown));
    EXPECT_TRUE(isMarkedChord(sim.postedEvents()[1], EventType::KeyUp));
    // Only the synthetic pair reached the application: the palette's own handler let it through.
    EXPECT_EQ(receivedKeys(), sim.postedEvents());
    EXPECT_FALSE(palette->isVisible());
    EXPECT_EQ(panels.created, 0);
    EXPECT_EQ(manager->entries(), before);
}

TEST_F(PaletteTest, TapWithExtraModifiersPastesWithCommandOnly) {
    copyText1To3();
    for (const std::uint64_t flags : {Command | Shift, Command | Option}) {
        sim.changeFlags(flags);
        EXPECT_FALSE(sim.pressKey(KeyCode::V, flags).has_value());
        EXPECT_FALSE(sim.releaseKey(KeyCode::V, flags).has_value());
    }
    scheduler.runPosted();
    ASSERT_EQ(sim.postedEvents().size(), 4u);
    for (const Event& event : sim.postedEvents()) {
        EXPECT_EQ(event.flags, Command);
        EXPECT_EQ(event.userData, 1556763);
    }
}

TEST_F(PaletteTest, HoldWithEmptyHistorySwallowsAndPastesNothing) {
    holdCommandV();
    EXPECT_FALSE(sim.pressKey(KeyCode::V, Command, true).has_value());
    // The hold ended the pending tap, so the key-up is not a tap: it goes on as it is.
    EXPECT_TRUE(sim.releaseKey(KeyCode::V, Command).has_value());
    scheduler.advance(1);
    EXPECT_FALSE(palette->isVisible());
    EXPECT_EQ(panels.created, 0);
    EXPECT_TRUE(sim.postedEvents().empty());
    EXPECT_EQ(receivedKeys(), std::vector<Event>{Event::key(EventType::KeyUp, KeyCode::V, Command)});
}

TEST_F(PaletteTest, CommandReleasedBeforeVStillPastesOnce) {
    copyText1To3();
    sim.changeFlags(Command);
    EXPECT_FALSE(sim.pressKey(KeyCode::V, Command).has_value());
    EXPECT_TRUE(sim.changeFlags(0).has_value());
    EXPECT_TRUE(sim.releaseKey(KeyCode::V).has_value()); // the tap is already done: its key-up is nothing
    scheduler.advance(1);
    ASSERT_EQ(sim.postedEvents().size(), 2u);
    EXPECT_TRUE(isMarkedChord(sim.postedEvents()[0], EventType::KeyDown));
    EXPECT_FALSE(palette->isVisible());
    // ⌘ let go with nothing pending (after a hold) pastes nothing.
    holdCommandV();
    pressEscape();
    sim.changeFlags(0);
    sim.releaseKey(KeyCode::V);
    scheduler.advance(1);
    EXPECT_EQ(sim.postedEvents().size(), 2u);
}

TEST_F(PaletteTest, RefusedKeyboardCaptureKeepsThePaletteShut) {
    copyText1To3();
    sim.setCaptureFails(true);
    holdCommandV();
    EXPECT_FALSE(palette->isVisible());
    EXPECT_TRUE(panels.frames.empty());
    EXPECT_TRUE(sim.pressKey(KeyCode::Two, Command).has_value()); // keys go on to the application
    sim.setCaptureFails(false);
    holdCommandV();
    EXPECT_TRUE(palette->isVisible());
}

TEST_F(PaletteTest, KeysHandledWhileThePasteboardIsWrittenFindThePaletteShut) {
    copyText1To3();
    holdCommandV();
    std::vector<platform::EventResult> nested;
    sim.setDuringWrite([&] {
        sim.setDuringWrite({});
        nested.push_back(sim.pressKey(KeyCode::One, Command));
        nested.push_back(sim.pressKey(KeyCode::Return, Command));
    });
    EXPECT_FALSE(sim.pressKey(KeyCode::Three, Command).has_value());
    ASSERT_EQ(nested.size(), 2u);
    EXPECT_TRUE(nested[0].has_value() && nested[1].has_value()); // they reach the application
    EXPECT_EQ(sim.pasteboardText(), QStringLiteral("text1"));
    EXPECT_EQ(historyTexts(), (QStringList{"text1", "text3", "text2"}));
    scheduler.advance(1);
    EXPECT_EQ(sim.postedEvents().size(), 2u); // one paste
    EXPECT_FALSE(palette->isVisible());
}

TEST_F(PaletteTest, FeatureOffAndOtherKeysPassUntouched) {
    copyText1To3();
    EXPECT_TRUE(sim.pressKey(KeyCode::V).has_value());
    EXPECT_TRUE(sim.pressKey(KeyCode::Z, Command).has_value());
    EXPECT_TRUE(sim.pressKey(KeyCode::Z, Command, true).has_value());
    manager->setEnabled(false);
    sim.changeFlags(Command);
    EXPECT_EQ(sim.pressKey(KeyCode::V, Command), Event::key(EventType::KeyDown, KeyCode::V, Command));
    EXPECT_TRUE(sim.pressKey(KeyCode::V, Command, true).has_value());
    EXPECT_TRUE(sim.releaseKey(KeyCode::V, Command).has_value());
    scheduler.advance(1);
    EXPECT_FALSE(palette->isVisible());
    EXPECT_TRUE(sim.postedEvents().empty());
}

TEST_F(PaletteTest, HoldOpensAndEveryShowStartsAfresh) {
    copyText1To3();
    holdCommandV();
    ASSERT_TRUE(palette->isVisible());
    EXPECT_EQ(panels.frames.size(), 1u);
    EXPECT_FALSE(sim.releaseKey(KeyCode::V, Command).has_value());
    scheduler.advance(1);
    EXPECT_TRUE(sim.postedEvents().empty()); // nothing is pasted until a pick

    palette->hover(2);
    palette->toggleStaged(row(1));
    pressEscape();
    holdCommandV();
    EXPECT_EQ(panels.created, 1); // the panel is reused
    EXPECT_EQ(panels.frames.size(), 2u);
    EXPECT_EQ(palette->selectedIndex(), 0);
    EXPECT_TRUE(palette->staged().isEmpty());
    // Let go 30 s after it closes; the next showing makes it anew.
    pressEscape();
    scheduler.advance(29.9);
    EXPECT_TRUE(palette->hasPanel());
    scheduler.advance(0.1);
    EXPECT_FALSE(palette->hasPanel());
    holdCommandV();
    EXPECT_EQ(panels.created, 2);
}

// Opened by a command (a desktop's own key binding) rather than by a held chord: the same palette, and a digit
// pastes as ever.
TEST_F(PaletteTest, OpenedByCommandWhenThereIsSomethingToPick) {
    const struct {
        const char* what;
        bool copies;
        bool enabled;
        bool opens;
    } cases[] = {
        {"history with entries", true, true, true},
        {"empty history", false, true, false},
        {"history switched off", true, false, false},
    };
    for (const auto& c : cases) {
        manager->setEnabled(true);
        manager->clear();
        if (c.copies) {
            copyText1To3();
        }
        manager->setEnabled(c.enabled);
        EXPECT_EQ(palette->open(), c.opens) << c.what;
        EXPECT_EQ(palette->isVisible(), c.opens) << c.what;
        EXPECT_EQ(palette->open(), c.opens) << c.what << ": asked again while open";
        if (palette->isVisible()) {
            pressEscape();
        }
    }
    manager->setEnabled(true);
    copyText1To3();
    ASSERT_TRUE(palette->open());
    EXPECT_FALSE(sim.pressKey(KeyCode::Two, 0).has_value());
    EXPECT_FALSE(palette->isVisible());
    EXPECT_EQ(sim.pasteboardText(), QStringLiteral("text2"));
    scheduler.advance(0.05);
    EXPECT_EQ(sim.postedEvents().size(), 2u) << "the paste chord follows";
}

TEST_F(PaletteTest, RegistersOnceAndHoldsTheControllerWeakly) {
    palette->start();
    EXPECT_EQ(hub->registrationCount(), 1u);
    EXPECT_EQ(sim.tapTriggers(), (std::vector<platform::KeyTrigger>{{KeyCode::V, Command, true, {}}}));
    copyText1To3();
    palette.reset();
    sim.changeFlags(Command);
    EXPECT_TRUE(sim.pressKey(KeyCode::V, Command).has_value());
    EXPECT_TRUE(sim.pressKey(KeyCode::V, Command, true).has_value());
}

TEST_F(PaletteTest, SwitchedOffClipboardAsksForNoKeys) {
    const std::vector<platform::KeyTrigger> pasteChord{{KeyCode::V, Command, true, {}}};
    manager->setEnabled(false);
    EXPECT_TRUE(sim.tapTriggers().empty());
    manager->setEnabled(true);
    EXPECT_EQ(sim.tapTriggers(), pasteChord);
}

// Keys while the palette is open.

TEST_F(PaletteTest, OtherKeysCloseThePaletteAndReachTheApplication) {
    copy({"1", "2", "3", "4", "5", "6", "7", "8", "9"});
    for (const int key : {KeyCode::A, KeyCode::Nine}) { // 9 is typed, not picked
        holdCommandV();
        EXPECT_TRUE(sim.pressKey(key, Command).has_value());
        EXPECT_FALSE(palette->isVisible());
        EXPECT_EQ(receivedKeys().back().keyCode, key);
    }
    scheduler.advance(1);
    EXPECT_TRUE(sim.postedEvents().empty());
}

TEST_F(PaletteTest, DigitBeyondTheListIsSwallowedAndDoesNothing) {
    copyText1To3();
    holdCommandV();
    const std::int64_t changeCount = sim.pasteboardChangeCount();
    for (const int digit : {KeyCode::Four, KeyCode::Five}) {
        EXPECT_FALSE(sim.pressKey(digit, Command).has_value());
        EXPECT_FALSE(sim.releaseKey(digit, Command).has_value());
    }
    EXPECT_TRUE(palette->isVisible());
    EXPECT_EQ(palette->selectedIndex(), 0);
    scheduler.advance(1);
    EXPECT_EQ(sim.pasteboardChangeCount(), changeCount);
    EXPECT_TRUE(sim.postedEvents().empty());
}

TEST_F(PaletteTest, DigitPastesAndPromotesItsRowThenSendsTheChordAfterTheDelay) {
    copyText1To3();
    const QUuid oldest = manager->entries().back().id;
    holdCommandV();
    EXPECT_FALSE(sim.pressKey(KeyCode::Three, Command).has_value());
    EXPECT_FALSE(palette->isVisible());
    EXPECT_EQ(sim.pasteboardText(), QStringLiteral("text1"));
    EXPECT_EQ(manager->entries().front().id, oldest);
    EXPECT_EQ(historyTexts(), (QStringList{"text1", "text3", "text2"}));

    scheduler.advance(0.045);
    EXPECT_TRUE(sim.postedEvents().empty());
    scheduler.advance(0.005);
    ASSERT_EQ(sim.postedEvents().size(), 2u);
    EXPECT_TRUE(isMarkedChord(sim.postedEvents()[0], EventType::KeyDown));
    EXPECT_TRUE(isMarkedChord(sim.postedEvents()[1], EventType::KeyUp));
}

TEST_F(PaletteTest, ArrowsMoveTheSelectionWithinTheList) {
    copyText1To3();
    holdCommandV();
    for (int i = 0; i < 5; ++i) {
        EXPECT_FALSE(sim.pressKey(KeyCode::DownArrow, Command).has_value());
    }
    EXPECT_EQ(palette->selectedIndex(), 2);
    for (int i = 0; i < 5; ++i) {
        EXPECT_FALSE(sim.pressKey(KeyCode::UpArrow, Command).has_value());
    }
    EXPECT_EQ(palette->selectedIndex(), 0);
    sim.pressKey(KeyCode::DownArrow, Command);
    EXPECT_FALSE(sim.pressKey(KeyCode::KeypadEnter, Command).has_value());
    EXPECT_EQ(sim.pasteboardText(), QStringLiteral("text2"));
}

TEST_F(PaletteTest, EscapeClosesAndTheHeldChordDoesNotReopen) {
    copyText1To3();
    holdCommandV();
    EXPECT_FALSE(sim.pressKey(KeyCode::V, Command, true).has_value()); // V does nothing while open
    Event marked = Event::key(EventType::KeyDown, KeyCode::Escape, Command);
    marked.userData = 1556763;
    EXPECT_EQ(sim.inject(marked), marked);
    EXPECT_TRUE(palette->isVisible());

    EXPECT_FALSE(sim.pressKey(KeyCode::Escape, Command).has_value());
    EXPECT_FALSE(palette->isVisible());
    EXPECT_FALSE(sim.pressKey(KeyCode::V, Command, true).has_value());
    EXPECT_FALSE(palette->isVisible());
    scheduler.advance(1);
    EXPECT_TRUE(sim.postedEvents().empty());
}

// Pasting and stacking.

TEST_F(PaletteTest, StackPastesInStackingOrderAsPlainTextAndIsNotRecorded) {
    copyText1To3();
    copy({"text4"}, QByteArray("{\\rtf1 text4}"));
    holdCommandV();
    const QStringList historyBefore = historyTexts();
    palette->toggleStaged(row(1)); // text3
    palette->toggleStaged(row(3)); // text1
    EXPECT_EQ(palette->headerHint(), QStringLiteral("↩ paste 2 stacked"));
    EXPECT_FALSE(sim.pressKey(KeyCode::Return, Command).has_value()); // row 0, text4 with RTF, is selected

    EXPECT_EQ(sim.pasteboardText(), QStringLiteral("text3\ntext1"));
    EXPECT_FALSE(sim.pasteboardRtf().has_value());
    EXPECT_EQ(palette->staged().size(), 2); // kept until the next show
    scheduler.advance(2.1);
    EXPECT_EQ(historyTexts(), historyBefore); // nothing promoted, the joined text not recorded
    EXPECT_EQ(sim.postedEvents().size(), 2u);
}

TEST_F(PaletteTest, UnstackingRenumbersAndRemovedEntriesAreSkipped) {
    copyText1To3();
    holdCommandV();
    palette->toggleStaged(row(2));
    palette->toggleStaged(row(0));
    palette->toggleStaged(row(1));
    palette->toggleStaged(row(2));
    EXPECT_EQ(palette->stagedIds(), (QStringList{core::uuidString(row(0).id), core::uuidString(row(1).id)}));
    const QVariantList rows = palette->rows();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0].toMap().value("stageNumber").toInt(), 1);
    EXPECT_EQ(rows[1].toMap().value("stageNumber").toInt(), 2);
    EXPECT_EQ(rows[2].toMap().value("stageNumber").toInt(), 0);

    palette->toggleStaged(row(2));
    manager->remove(row(1));
    palette->pasteSelected(false);
    EXPECT_EQ(sim.pasteboardText(), QStringLiteral("text3\ntext1"));
}

TEST_F(PaletteTest, OptionReturnWritesTheStringFlavourOnly) {
    copy({"styled"}, QByteArray("{\\rtf1 styled}"));
    holdCommandV(Command | Option);
    EXPECT_FALSE(sim.pressKey(KeyCode::Return, Command | Option).has_value());
    EXPECT_EQ(sim.pasteboardText(), QStringLiteral("styled"));
    EXPECT_FALSE(sim.pasteboardRtf().has_value());

    holdCommandV();
    sim.pressKey(KeyCode::Return, Command);
    EXPECT_EQ(sim.pasteboardRtf(), QByteArray("{\\rtf1 styled}"));
    EXPECT_EQ(manager->lastChangeCount(), sim.pasteboardChangeCount());
}

TEST_F(PaletteTest, ClickStacksWithCommandOrPastesPlainWithOption) {
    copyText1To3();
    copy({"rich"}, QByteArray("{\\rtf1 rich}"));
    holdCommandV();
    palette->hover(2);
    palette->hover(8); // no such row
    EXPECT_EQ(palette->selectedIndex(), 2);

    sim.setModifierFlags(Command);
    palette->pick(1);
    EXPECT_EQ(palette->staged(), QList<QUuid>{row(1).id});
    palette->pick(1);
    EXPECT_TRUE(palette->staged().isEmpty());
    EXPECT_TRUE(palette->isVisible());

    sim.setModifierFlags(Option);
    palette->pick(0);
    EXPECT_FALSE(palette->isVisible());
    EXPECT_EQ(sim.pasteboardText(), QStringLiteral("rich"));
    EXPECT_FALSE(sim.pasteboardRtf().has_value());
}

// What the view shows.

TEST_F(PaletteTest, RowsListEightEntriesPinnedFirstOnOneLine) {
    copy({"a", "b\nsecond line", "c", "d", "e", "f", "g", "h", "i", "j"});
    manager->togglePin(manager->entries().back()); // "a", the oldest
    holdCommandV();
    palette->hover(1);

    QVariantList rows = palette->rows();
    ASSERT_EQ(rows.size(), 8);
    const QVariantMap first = rows.front().toMap();
    EXPECT_EQ(first.value("text").toString(), QStringLiteral("a"));
    EXPECT_TRUE(first.value("pinned").toBool());
    EXPECT_EQ(first.value("number").toString(), QStringLiteral("1"));
    EXPECT_FALSE(first.value("selected").toBool());
    EXPECT_TRUE(rows[1].toMap().value("selected").toBool());
    EXPECT_FALSE(rows[1].toMap().value("pinned").toBool());
    EXPECT_EQ(rows.back().toMap().value("text").toString(), QStringLiteral("d"));
    EXPECT_EQ(rows.back().toMap().value("number").toString(), QStringLiteral("8"));

    manager->promote(manager->entries()[manager->count() - 2]); // the two-line copy
    EXPECT_EQ(palette->rows()[1].toMap().value("text").toString(), QStringLiteral("b second line"));
    EXPECT_EQ(palette->headerHint(), QStringLiteral("↩ paste · 1–8 quick · ⌥ plain · ⌘click stack"));
}

TEST_F(PaletteTest, ViewIsToldWhenRowsHintOrVisibilityChange) {
    copyText1To3();
    int rowsChanges = 0;
    int hintChanges = 0;
    int visibleChanges = 0;
    QObject::connect(palette.get(), &C::rowsChanged, [&] { ++rowsChanges; });
    QObject::connect(palette.get(), &C::headerHintChanged, [&] { ++hintChanges; });
    QObject::connect(palette.get(), &C::isVisibleChanged, [&] { ++visibleChanges; });

    holdCommandV();
    EXPECT_EQ(visibleChanges, 1);
    copy({"text4"});
    EXPECT_EQ(rowsChanges, 1);
    palette->hover(1);
    EXPECT_EQ(rowsChanges, 2);
    palette->toggleStaged(row(0));
    EXPECT_EQ(rowsChanges, 3);
    EXPECT_EQ(hintChanges, 1);
    pressEscape();
    EXPECT_EQ(visibleChanges, 2);
}

// Clicks and keyboard capture.

TEST_F(PaletteTest, ClickInAnotherApplicationDismissesOnTheMainQueue) {
    copyText1To3();
    for (const EventType click : {EventType::LeftMouseDown, EventType::RightMouseDown}) {
        holdCommandV();
        ASSERT_EQ(sim.clickMonitorCount(), 2);
        sim.clickElsewhere(click, {10, 10});
        EXPECT_TRUE(palette->isVisible());
        scheduler.runPosted();
        EXPECT_FALSE(palette->isVisible());
        EXPECT_EQ(sim.clickMonitorCount(), 0);
    }
    EXPECT_EQ(panels.orderOuts, 2);
}

TEST_F(PaletteTest, ClickInOwnWindowDismissesUnlessItIsThePanel) {
    copyText1To3();
    holdCommandV();
    sim.clickOwnWindow(EventType::LeftMouseDown, {10, 10}, kPanelWindow);
    scheduler.runPosted();
    EXPECT_TRUE(palette->isVisible());
    EXPECT_EQ(sim.clickMonitorCount(), 2);

    sim.clickOwnWindow(EventType::LeftMouseDown, {10, 10}, kPanelWindow + 1);
    EXPECT_FALSE(palette->isVisible());
    EXPECT_EQ(sim.clickMonitorCount(), 0);
}

TEST_F(PaletteTest, CapturesEveryKeyOnlyWhileOpen) {
    copyText1To3();
    EXPECT_FALSE(sim.tapCapturing());
    holdCommandV();
    EXPECT_TRUE(sim.tapCapturing());
    pressEscape();
    EXPECT_FALSE(sim.tapCapturing());
    holdCommandV();
    palette.reset();
    EXPECT_FALSE(sim.tapCapturing());
}

// Placement. The simulated screen is 1440×900 with a visible frame of 1440×875; three entries make a list of
// 3 × 30 + 44 = 134 points. Caret bounds are given in top-left space and flipped with H = 900.

TEST_F(PaletteTest, ListSitsAboveTheCaretWhenItFitsAndHangsBelowOtherwise) {
    copyText1To3();
    struct Case {
        Rect caret;
        bool dropsDown;
        Point origin;
    };
    const std::vector<Case> cases = {
        {{400, 800, 2, 16}, false, {401 - 180, 100 + 8}},   // flipped 84…100, near the bottom
        {{400, 30, 2, 16}, true, {221, 854 - 8 - 396}},     // flipped 854…870: 870 + 8 + 134 > 875
        {{0, 400, 2, 16}, false, {8, 500 + 8}},             // clamped to the left edge
        {{1430, 400, 2, 16}, false, {1440 - 368, 500 + 8}}, // and to the right
        {{400, 167, 2, 16}, false, {221, 733 + 8}},         // flipped 717…733: 733 + 8 + 134 is exactly 875
    };
    for (const Case& c : cases) {
        focusCaret({5, 0}, c.caret);
        holdCommandV();
        EXPECT_EQ(palette->dropsDown(), c.dropsDown);
        EXPECT_EQ(lastFrame(), (Rect{c.origin.x, c.origin.y, 360, 396}));
        pressEscape();
    }
}

TEST_F(PaletteTest, ListHangingBelowStaysAboveTheBottomEdge) {
    copy({"1", "2", "3", "4", "5", "6", "7", "8"}); // list height 8 × 30 + 44 = 284
    sim.setScreens({{Rect{0, 0, 1440, 320}, Rect{0, 0, 1440, 300}}});
    focusCaret({5, 0}, Rect{400, 250, 2, 16});
    holdCommandV();
    // Caret 54…70; below it would be 54 − 404 = −350, lifted to 8 + 284 − 396.
    EXPECT_TRUE(palette->dropsDown());
    EXPECT_EQ(lastFrame().y, 8 + 284 - 396);
}

TEST_F(PaletteTest, BareCaretMeasuresTheCharacterBeforeIt) {
    copyText1To3();
    const std::vector<std::pair<TextRange, TextRange>> cases = {{{0, 0}, {0, 1}}, {{7, 0}, {6, 1}}, {{2, 5}, {2, 5}}};
    for (const auto& [selection, asked] : cases) {
        const int element = focusCaret(selection, Rect{400, 400, 2, 16});
        holdCommandV();
        EXPECT_EQ(sim.boundsQueries(element), std::vector<TextRange>{asked});
        pressEscape();
    }
}

TEST_F(PaletteTest, ImplausibleCaretFallsBackToTheFieldFrameThenToTheMouse) {
    copyText1To3();
    sim.setMouseLocation({700, 500});
    const Rect field{100, 600, 300, 24}; // flipped 276…300: the list sits at 308 when the field is used
    const std::vector<platform::AXValue> rejected = {Rect{400, 400, 2, 0},  Rect{400, 400, 2, 81},
                                                     Rect{NAN, 400, 2, 16}, Rect{400, INFINITY, 2, 16},
                                                     Point{400, 400},       platform::AXValue{}};
    for (const platform::AXValue& bounds : rejected) {
        focusCaret({3, 0}, bounds, field);
        holdCommandV();
        EXPECT_EQ(lastFrame(), (Rect{250 - 180, 308, 360, 396}));
        pressEscape();
    }
    focusCaret({3, 0}, Rect{400, 400, 2, 80}, field);
    holdCommandV();
    EXPECT_EQ(lastFrame().y, 420 + 80 + 8) << "a line 80 points tall is still a caret";
    pressEscape();

    // A field without a text range: its frame, up to 120 points tall.
    const int element = sim.addElement(app, platform::AXRole::TextField, Rect{100, 600, 300, 120});
    sim.focusElement(app, element);
    holdCommandV();
    EXPECT_EQ(lastFrame(), (Rect{70, 300 + 8, 360, 396}));
    pressEscape();
    sim.setElementAttribute(element, platform::AXAttribute::Size, platform::Size{300, 121});
    holdCommandV();
    EXPECT_EQ(lastFrame(), (Rect{700 - 180, 500 - 356, 360, 396}));
}

TEST_F(PaletteTest, WithoutCaretThePanelOpensAtTheMouseClamped) {
    copyText1To3();
    const std::vector<std::pair<Point, Point>> cases = {
        {{700, 500}, {520, 144}}, {{10, 880}, {8, 875 - 404}}, {{1400, 100}, {1440 - 368, 8}}};
    for (const auto& [mouse, origin] : cases) {
        sim.setMouseLocation(mouse);
        holdCommandV();
        EXPECT_FALSE(palette->dropsDown());
        EXPECT_EQ(lastFrame(), (Rect{origin.x, origin.y, 360, 396}));
        pressEscape();
    }
}

TEST_F(PaletteTest, ScreenUnderTheAnchorClampsAndThePrimaryScreenFlips) {
    copyText1To3();
    sim.setScreens({{Rect{0, 0, 1440, 900}, Rect{0, 0, 1440, 875}},
                    {Rect{1440, 0, 1280, 800}, Rect{1440, 0, 1280, 780}},
                    {Rect{-1920, -300, 1920, 1300}, Rect{-1920, -300, 1920, 1280}}});
    sim.setMouseLocation({2700, 790});
    holdCommandV();
    EXPECT_EQ(lastFrame().origin(), (Point{1440 + 1280 - 368, 780 - 404}));
    pressEscape();
    sim.setMouseLocation({5000, 5000}); // on no screen: the main one
    holdCommandV();
    EXPECT_EQ(lastFrame().origin(), (Point{1440 - 368, 875 - 404}));
    pressEscape();

    // Flipped with the primary screen's 900, not the left screen's 1000: 900 − 516 = 384.
    focusCaret({1, 0}, Rect{-1000, 500, 2, 16});
    holdCommandV();
    EXPECT_EQ(lastFrame().origin(), (Point{-1000 + 1 - 180, 384 + 16 + 8}));
}

} // namespace
} // namespace tillory::clipboard
