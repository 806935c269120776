#include "keys/finder_enhancer.h"

#include "core/manual_scheduler.h"
#include "core/settings.h"
#include "keyhub/key_event_hub.h"
#include "platform/sim/sim_desktop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace tillory::keys {
namespace {

using platform::Event;
using platform::EventResult;
using platform::EventType;
namespace EventFlags = platform::EventFlags;
namespace KeyCode = platform::KeyCode;

constexpr std::uint64_t kCapsLock = 0x10000; // not one of the four modifiers the feature looks at
constexpr std::uint64_t kDeviceBits = 0x100; // device-dependent bits a real event carries
const Event kBackspace = Event::key(EventType::KeyDown, KeyCode::Delete);

class FinderEnhancerTest : public ::testing::Test {
protected:
    FinderEnhancerTest() {
        sim_.grantAccessibility();
        files_ = sim_.launchApp(QStringLiteral("org.gnome.Nautilus"), QStringLiteral("Files"));
        editor_ = sim_.launchApp(QStringLiteral("org.example.editor"), QStringLiteral("Editor"));
        sim_.activate(files_);
    }

    FinderEnhancer& enhancer() {
        if (!enhancer_) {
            enhancer_ = std::make_unique<FinderEnhancer>(hub_, settings_, *platform_.workspace,
                                                         *platform_.accessibility, scheduler_);
        }
        return *enhancer_;
    }

    /// Focuses a new element of the given role in the file manager.
    void focusRole(const QString& role) { sim_.focusElement(files_, sim_.addElement(files_, role, {0, 0, 100, 20})); }

    bool passesUnchanged(const Event& event) { return sim_.inject(event) == EventResult(event); }

    static bool isCommandBackspace(const EventResult& result) {
        return result && result->type == EventType::KeyDown && result->keyCode == KeyCode::Delete &&
               result->flags == EventFlags::Command;
    }

    core::ManualScheduler scheduler_;
    platform::sim::SimDesktop sim_{scheduler_};
    platform::Platform platform_ = sim_.platform();
    core::MemorySettings settings_;
    keyhub::KeyEventHub hub_{*platform_.eventTaps, *platform_.accessibility, scheduler_};
    std::unique_ptr<FinderEnhancer> enhancer_;
    std::int32_t files_ = 0;
    std::int32_t editor_ = 0;
};

TEST_F(FinderEnhancerTest, PlainBackspaceInFileManagerArrivesAsCommandOnly) {
    enhancer().enableTap();
    EXPECT_TRUE(isCommandBackspace(sim_.pressKey(KeyCode::Delete)));
    // Bits other than the four modifiers do not make it "modified", and they do not survive the rewrite.
    EXPECT_TRUE(isCommandBackspace(sim_.pressKey(KeyCode::Delete, kCapsLock | kDeviceBits)));
    EXPECT_TRUE(isCommandBackspace(sim_.pressKey(KeyCode::Delete, 0, true)));
    ASSERT_EQ(sim_.receivedEvents(files_).size(), 3u);
    EXPECT_TRUE(isCommandBackspace(sim_.receivedEvents(files_).back()));

    for (const QString& id : {QStringLiteral("com.apple.finder"), QStringLiteral("Thunar"),
                              QStringLiteral("pcmanfm-qt"), QStringLiteral("org.kde.dolphin")}) {
        sim_.activate(sim_.launchApp(id, id));
        EXPECT_TRUE(isCommandBackspace(sim_.pressKey(KeyCode::Delete))) << id.toStdString();
    }
}

TEST_F(FinderEnhancerTest, ModifiedBackspaceOtherKeysAndKeyUpPassUnchanged) {
    enhancer().enableTap();
    for (std::uint64_t flags : {EventFlags::Shift, EventFlags::Option, EventFlags::Control, EventFlags::Command,
                                EventFlags::Option | kCapsLock}) {
        EXPECT_TRUE(passesUnchanged(Event::key(EventType::KeyDown, KeyCode::Delete, flags))) << std::hex << flags;
    }
    EXPECT_TRUE(passesUnchanged(Event::key(EventType::KeyDown, KeyCode::A)));
    EXPECT_TRUE(passesUnchanged(Event::key(EventType::KeyUp, KeyCode::Delete)));
    EXPECT_EQ(sim_.changeFlags(EventFlags::Shift)->flags, EventFlags::Shift);
}

TEST_F(FinderEnhancerTest, BackspaceElsewherePassesUnchanged) {
    enhancer().enableTap();
    sim_.activate(editor_);
    EXPECT_TRUE(passesUnchanged(kBackspace));
    sim_.quitApp(editor_); // nothing in front
    EXPECT_TRUE(passesUnchanged(kBackspace));
}

TEST_F(FinderEnhancerTest, OnlyTextRolesCountAsEditing) {
    enhancer().enableTap();
    for (const char* role : {"AXTextField", "AXTextArea", "AXSearchField", "AXComboBox"}) {
        focusRole(QString::fromLatin1(role));
        scheduler_.advance(1.0); // let the previous answer age out
        EXPECT_TRUE(passesUnchanged(kBackspace)) << role;
    }
    for (const char* role : {"AXList", "AXOutline", "AXButton"}) {
        focusRole(QString::fromLatin1(role));
        scheduler_.advance(1.0);
        EXPECT_TRUE(isCommandBackspace(sim_.inject(kBackspace))) << role;
    }
}

TEST_F(FinderEnhancerTest, EditingAnswerIsReusedForLessThanItsLifetime) {
    enhancer().enableTap();
    focusRole(QStringLiteral("AXTextField"));
    EXPECT_TRUE(passesUnchanged(kBackspace));

    focusRole(QStringLiteral("AXList")); // renaming finished, but the answer is still fresh
    scheduler_.advance(0.29);
    EXPECT_TRUE(passesUnchanged(kBackspace));
    scheduler_.advance(0.02); // the reuse did not renew the answer
    EXPECT_TRUE(isCommandBackspace(sim_.inject(kBackspace)));

    focusRole(QStringLiteral("AXSearchField"));
    scheduler_.advance(0.1);
    EXPECT_TRUE(isCommandBackspace(sim_.inject(kBackspace)));
    scheduler_.advance(0.25);
    EXPECT_TRUE(passesUnchanged(kBackspace));
}

TEST_F(FinderEnhancerTest, AnswerExactlyOneLifetimeOldIsAskedAgain) {
    enhancer().enableTap();
    focusRole(QStringLiteral("AXTextField"));
    EXPECT_TRUE(passesUnchanged(kBackspace));
    focusRole(QStringLiteral("AXList"));
    scheduler_.advance(0.3);
    EXPECT_TRUE(isCommandBackspace(sim_.inject(kBackspace)));
}

TEST_F(FinderEnhancerTest, FailedAccessibilityQueryCountsAsNotEditing) {
    enhancer().enableTap();
    EXPECT_TRUE(isCommandBackspace(sim_.inject(kBackspace))); // nothing focused

    const int field = sim_.addElement(files_, QStringLiteral("AXTextField"), {0, 0, 100, 20});
    sim_.setElementAttribute(field, platform::AXAttribute::Role, true); // a role that is not a string
    sim_.focusElement(files_, field);
    scheduler_.advance(1.0);
    EXPECT_TRUE(isCommandBackspace(sim_.inject(kBackspace)));

    sim_.setElementAttribute(field, platform::AXAttribute::Role, QStringLiteral("AXTextField"));
    sim_.revokeAccessibility(); // every read refused while the tap keeps running
    scheduler_.advance(1.0);
    EXPECT_TRUE(isCommandBackspace(sim_.inject(kBackspace)));
}

TEST_F(FinderEnhancerTest, SwitchIsReadAtConstructionWhichDoesNotRegister) {
    EXPECT_TRUE(enhancer().backspaceDeletes());
    EXPECT_FALSE(settings_.contains(QStringLiteral("finderBackspaceDeletes"))); // the default is registered, not written
    EXPECT_FALSE(enhancer().isTapEnabled());
    EXPECT_EQ(hub_.registrationCount(), 0u);
    EXPECT_TRUE(passesUnchanged(kBackspace));

    enhancer_.reset();
    settings_.setBool(QStringLiteral("finderBackspaceDeletes"), false);
    EXPECT_FALSE(enhancer().backspaceDeletes());
}

TEST_F(FinderEnhancerTest, SwitchingOffStoresAndUnregisters) {
    enhancer().enableTap();
    int changes = 0;
    QObject::connect(&enhancer(), &FinderEnhancer::backspaceDeletesChanged, [&] { ++changes; });

    enhancer().setBackspaceDeletes(false);
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(settings_.contains(QStringLiteral("finderBackspaceDeletes")));
    EXPECT_FALSE(settings_.boolValue(QStringLiteral("finderBackspaceDeletes")));
    EXPECT_EQ(hub_.registrationCount(), 0u);
    EXPECT_EQ(sim_.liveTapCount(), 0); // nobody else used the hub
    EXPECT_TRUE(passesUnchanged(kBackspace));

    enhancer().setBackspaceDeletes(false); // stored again, nothing to unregister, no change to announce
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(settings_.writeCount(), 2);
}

TEST_F(FinderEnhancerTest, SwitchingOnTwiceRegistersOnce) {
    enhancer().setBackspaceDeletes(false);
    enhancer().setBackspaceDeletes(true);
    enhancer().setBackspaceDeletes(true);
    enhancer().enableTap();
    EXPECT_EQ(hub_.registrationCount(), 1u);
    EXPECT_TRUE(settings_.boolValue(QStringLiteral("finderBackspaceDeletes")));

    enhancer().disableTap();
    EXPECT_EQ(hub_.registrationCount(), 0u);
    EXPECT_TRUE(enhancer().backspaceDeletes()); // taking the handler out is not turning the switch off
    enhancer().enableTap();
    enhancer_.reset(); // a destroyed enhancer leaves nothing in the hub
    EXPECT_EQ(hub_.registrationCount(), 0u);
    EXPECT_FALSE(hub_.hasTap());
}

TEST_F(FinderEnhancerTest, TriggerAsksForPlainBackspaceInFileManagersOnly) {
    enhancer().enableTap();
    const std::vector<platform::KeyTrigger> triggers = sim_.tapTriggers();
    ASSERT_EQ(triggers.size(), 1u);
    EXPECT_EQ(triggers[0].keyCode, KeyCode::Delete);
    EXPECT_EQ(triggers[0].flags, 0u);
    EXPECT_FALSE(triggers[0].otherFlagsAllowed);
    const auto& apps = triggers[0].onlyInApps;
    for (const char* id : {"com.apple.finder", "org.gnome.Nautilus", "nautilus", "Thunar", "dolphin"}) {
        EXPECT_NE(std::find(apps.begin(), apps.end(), QString::fromLatin1(id)), apps.end()) << id;
    }
    EXPECT_EQ(std::find(apps.begin(), apps.end(), QStringLiteral("org.example.editor")), apps.end());

    enhancer().disableTap();
    hub_.registerHandler([](EventType, const Event& e) -> EventResult { return e; });
    EXPECT_TRUE(sim_.tapTriggers().empty()); // the trigger left with the registration
}

} // namespace
} // namespace tillory::keys
