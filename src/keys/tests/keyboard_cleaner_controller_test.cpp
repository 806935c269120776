#include "keys/keyboard_cleaner_controller.h"

#include "core/manual_scheduler.h"
#include "keyhub/key_event_hub.h"
#include "keys/slide_to_unlock.h"
#include "platform/sim/sim_desktop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

namespace tillory::keys {
namespace {

using platform::Event;
using platform::EventResult;
using platform::EventType;
using platform::Rect;
using platform::ScreenInfo;
namespace KeyCode = platform::KeyCode;

const ScreenInfo kLaptop{Rect{0, 0, 1440, 900}, Rect{0, 0, 1440, 875}};
const ScreenInfo kMonitor{Rect{1440, 0, 2560, 1440}, Rect{1440, 0, 2560, 1415}};
const ScreenInfo kProjector{Rect{-1920, 0, 1920, 1080}, Rect{-1920, 0, 1920, 1080}};

/// Remembers every panel made, and which are still alive and on screen.
class RecordingPanelFactory final : public CleanerPanelFactory {
public:
    struct Record {
        ScreenInfo screen;
        bool alive = true;
        bool orderedOut = false;
    };

    /// Overlays that do not load: the real factory then makes none.
    bool fails = false;

    std::unique_ptr<CleanerPanel> create(const ScreenInfo& screen) override {
        if (fails) {
            return nullptr;
        }
        records_.push_back(std::make_shared<Record>(Record{screen}));
        return std::make_unique<Panel>(records_.back());
    }

    std::size_t created() const { return records_.size(); }
    const Record& record(std::size_t i) const { return *records_.at(i); }
    /// Screens of the panels alive and not ordered out, in creation order.
    std::vector<ScreenInfo> shown() const {
        std::vector<ScreenInfo> screens;
        for (const auto& r : records_) {
            if (r->alive && !r->orderedOut) {
                screens.push_back(r->screen);
            }
        }
        return screens;
    }
    std::size_t alive() const {
        return static_cast<std::size_t>(
            std::count_if(records_.begin(), records_.end(), [](const auto& r) { return r->alive; }));
    }

private:
    class Panel final : public CleanerPanel {
    public:
        explicit Panel(std::shared_ptr<Record> record) : record_(std::move(record)) {}
        ~Panel() override { record_->alive = false; }
        void orderOut() override { record_->orderedOut = true; }

    private:
        std::shared_ptr<Record> record_;
    };

    std::vector<std::shared_ptr<Record>> records_;
};

class KeyboardCleanerTest : public ::testing::Test {
protected:
    KeyboardCleanerTest() {
        sim_.grantAccessibility();
        pid_ = sim_.launchApp(QStringLiteral("org.example.editor"), QStringLiteral("Editor"));
        sim_.activate(pid_);
        sim_.setScreens({kLaptop});
        QObject::connect(&controller_, &KeyboardCleanerController::isActiveChanged, [this] { ++activeChanges_; });
    }

    /// A registered feature that counts the events it sees and lets them pass.
    QUuid registerCounter() {
        return hub_.registerHandler([this](EventType, const Event& e) -> EventResult {
            ++handlerCalls_;
            return e;
        });
    }

    core::ManualScheduler scheduler_;
    platform::sim::SimDesktop sim_{scheduler_};
    platform::Platform platform_ = sim_.platform();
    keyhub::KeyEventHub hub_{*platform_.eventTaps, *platform_.accessibility, scheduler_};
    RecordingPanelFactory panels_;
    KeyboardCleanerController controller_{hub_, *platform_.accessibility, *platform_.screens, panels_, scheduler_};
    std::int32_t pid_ = 0;
    int handlerCalls_ = 0;
    int activeChanges_ = 0;
};

TEST_F(KeyboardCleanerTest, WhileOnEveryKeyboardEventIsSwallowedAndFeaturesSeeNothing) {
    registerCounter();
    controller_.start();
    ASSERT_TRUE(controller_.isActive());
    EXPECT_TRUE(sim_.tapCapturing());

    EXPECT_FALSE(sim_.pressKey(KeyCode::A).has_value());
    EXPECT_FALSE(sim_.releaseKey(KeyCode::A).has_value());
    EXPECT_FALSE(sim_.changeFlags(platform::EventFlags::Command).has_value());
    EXPECT_FALSE(sim_.pressKey(KeyCode::Tab, platform::EventFlags::Command).has_value());
    EXPECT_FALSE(sim_.pressKey(KeyCode::Escape).has_value());
    EXPECT_TRUE(sim_.receivedEvents(pid_).empty());
    EXPECT_EQ(handlerCalls_, 0);

    controller_.stop();
    EXPECT_TRUE(sim_.pressKey(KeyCode::A).has_value());
    EXPECT_EQ(handlerCalls_, 1);
    EXPECT_EQ(sim_.receivedEvents(pid_).size(), 1u);
}

TEST_F(KeyboardCleanerTest, StartCoversEveryScreenInOrderOnce) {
    sim_.setScreens({kLaptop, kMonitor});
    controller_.start();
    controller_.start();

    EXPECT_TRUE(controller_.isActive());
    EXPECT_EQ(activeChanges_, 1);
    EXPECT_EQ(panels_.created(), 2u);
    EXPECT_EQ(panels_.shown(), (std::vector<ScreenInfo>{kLaptop, kMonitor}));
    EXPECT_EQ(controller_.panelCount(), 2u);
}

TEST_F(KeyboardCleanerTest, StopClosesPanelsAndReleasesTheHub) {
    sim_.setScreens({kLaptop, kMonitor});
    controller_.start();
    controller_.stop();

    EXPECT_FALSE(controller_.isActive());
    EXPECT_EQ(activeChanges_, 2);
    EXPECT_TRUE(panels_.record(0).orderedOut);
    EXPECT_TRUE(panels_.record(1).orderedOut);
    EXPECT_EQ(panels_.alive(), 0u);
    EXPECT_EQ(controller_.panelCount(), 0u);
    EXPECT_FALSE(hub_.hasExclusive());
    EXPECT_FALSE(hub_.hasTap()); // nobody else used it
    EXPECT_FALSE(hub_.hasWatchdog());
}

TEST_F(KeyboardCleanerTest, StopWhenOffDoesNothing) {
    registerCounter();
    controller_.stop();
    EXPECT_EQ(activeChanges_, 0);
    EXPECT_TRUE(hub_.hasTap());
    EXPECT_TRUE(sim_.pressKey(KeyCode::A).has_value());
    EXPECT_EQ(handlerCalls_, 1);
}

TEST_F(KeyboardCleanerTest, StopLeavesTheTapForOtherRegistrants) {
    registerCounter();
    controller_.start();
    controller_.stop();

    EXPECT_TRUE(hub_.hasTap());
    EXPECT_EQ(sim_.liveTapCount(), 1);
    EXPECT_FALSE(sim_.tapCapturing());
    EXPECT_TRUE(sim_.pressKey(KeyCode::A).has_value());
    EXPECT_EQ(handlerCalls_, 1);
}

TEST_F(KeyboardCleanerTest, ScreenChangesWhileOnRebuildThePanels) {
    controller_.start();
    sim_.setScreens({kLaptop, kMonitor});
    EXPECT_TRUE(panels_.record(0).orderedOut);
    EXPECT_EQ(panels_.shown(), (std::vector<ScreenInfo>{kLaptop, kMonitor}));
    EXPECT_EQ(panels_.alive(), 2u);

    sim_.setScreens({kMonitor, kProjector, kLaptop});
    EXPECT_EQ(panels_.shown(), (std::vector<ScreenInfo>{kMonitor, kProjector, kLaptop}));
    EXPECT_EQ(panels_.alive(), 3u);

    sim_.setScreens({});
    EXPECT_EQ(panels_.alive(), 0u);
    EXPECT_TRUE(controller_.isActive()); // for a moment: a screen may be on its way back
    EXPECT_FALSE(sim_.pressKey(KeyCode::A).has_value());
}

TEST_F(KeyboardCleanerTest, NoOverlayAtStartMeansNoLock) {
    struct Case {
        const char* name;
        std::vector<ScreenInfo> screens;
        bool overlaysLoad;
    };
    const Case cases[] = {
        {"no screen", {}, true},
        {"overlays that do not load", {kLaptop, kMonitor}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim_.setScreens(c.screens);
        panels_.fails = !c.overlaysLoad;
        controller_.start();

        EXPECT_FALSE(controller_.isActive());
        EXPECT_EQ(activeChanges_, 0);
        EXPECT_FALSE(hub_.hasExclusive());
        EXPECT_EQ(sim_.liveTapCount(), 0);
        EXPECT_EQ(sim_.trustPromptCount(), 0);
        EXPECT_TRUE(sim_.pressKey(KeyCode::A).has_value());
        sim_.setScreens({kLaptop});
        EXPECT_EQ(panels_.alive(), 0u);
    }
}

TEST_F(KeyboardCleanerTest, LockEndsWhenNoOverlayIsBackWithinThreeSeconds) {
    struct Step {
        std::optional<std::vector<ScreenInfo>> screens; // nothing: the screens stay as they are
        bool overlaysLoad;
        double wait;
        bool activeAfter;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
    };
    const std::vector<ScreenInfo> none;
    const Case cases[] = {
        {"screen back in time", {{none, true, 2.9, true}, {{{kMonitor}}, true, 60, true}}},
        {"no screen", {{none, true, 2.9, true}, {std::nullopt, true, 0.1, false}}},
        {"overlays stop loading", {{{{kLaptop, kMonitor}}, false, 2.9, true}, {std::nullopt, false, 0.1, false}}},
        {"the wait starts again when the last overlay goes again",
         {{none, true, 2, true},
          {{{kLaptop}}, true, 0.5, true},
          {none, true, 2.9, true},
          {std::nullopt, true, 0.1, false}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim_.setScreens({kLaptop});
        panels_.fails = false;
        activeChanges_ = 0;
        controller_.start();
        ASSERT_TRUE(controller_.isActive());
        for (const Step& step : c.steps) {
            panels_.fails = !step.overlaysLoad;
            if (step.screens) {
                sim_.setScreens(*step.screens);
            }
            scheduler_.advance(step.wait);
            EXPECT_EQ(controller_.isActive(), step.activeAfter);
        }
        if (!controller_.isActive()) {
            EXPECT_EQ(activeChanges_, 2);
            EXPECT_FALSE(hub_.hasExclusive());
            EXPECT_TRUE(sim_.pressKey(KeyCode::A).has_value());
        }
        controller_.stop();
    }
}

TEST_F(KeyboardCleanerTest, ScreenChangesAfterStopBuildNothing) {
    controller_.start();
    controller_.stop();
    const std::size_t made = panels_.created();
    sim_.setScreens({kLaptop, kMonitor});
    EXPECT_EQ(panels_.created(), made);
    EXPECT_EQ(panels_.alive(), 0u);
}

TEST_F(KeyboardCleanerTest, WithoutAccessibilityItAsksAndDoesNotLock) {
    sim_.revokeAccessibility();
    controller_.start();

    EXPECT_EQ(sim_.trustPromptCount(), 1);
    EXPECT_FALSE(controller_.isActive());
    EXPECT_EQ(activeChanges_, 0);
    EXPECT_EQ(panels_.created(), 0u);
    EXPECT_FALSE(hub_.hasExclusive());
    sim_.setScreens({kLaptop, kMonitor});
    EXPECT_EQ(panels_.created(), 0u);
}

TEST_F(KeyboardCleanerTest, RefusedCaptureLeavesTheLockOffWithoutAPrompt) {
    sim_.setCaptureFails(true);
    controller_.start();
    EXPECT_FALSE(controller_.isActive());
    EXPECT_EQ(sim_.liveTapCount(), 0); // the hub took down the tap it made for the lock

    registerCounter();
    controller_.start();

    EXPECT_FALSE(controller_.isActive());
    EXPECT_EQ(activeChanges_, 0);
    EXPECT_EQ(panels_.created(), 0u);
    EXPECT_FALSE(hub_.hasExclusive());
    EXPECT_EQ(sim_.trustPromptCount(), 0);
    EXPECT_TRUE(sim_.pressKey(KeyCode::A).has_value());
    EXPECT_EQ(handlerCalls_, 1);
    sim_.setScreens({kLaptop, kMonitor});
    EXPECT_EQ(panels_.created(), 0u);

    // Once the keyboard is free the lock starts as usual.
    sim_.setCaptureFails(false);
    controller_.start();
    EXPECT_TRUE(controller_.isActive());
    EXPECT_FALSE(sim_.pressKey(KeyCode::A).has_value());
}

TEST_F(KeyboardCleanerTest, TapThatComesUpLaterBlocksKeysAtTheNextWatchdogTick) {
    sim_.setTapCreationFails(true);
    controller_.start();
    EXPECT_TRUE(controller_.isActive());
    EXPECT_EQ(panels_.alive(), 1u);

    sim_.setTapCreationFails(false);
    scheduler_.advance(5);
    EXPECT_TRUE(sim_.tapCapturing());
    EXPECT_FALSE(sim_.pressKey(KeyCode::A).has_value());
}

TEST_F(KeyboardCleanerTest, SliderUnlockStopsTheLock) {
    SlideToUnlock slider;
    QObject::connect(&slider, &SlideToUnlock::unlockRequested, &controller_, &KeyboardCleanerController::stop);
    controller_.start();

    slider.dragChanged(216, 0); // nine tenths of the 240-point travel
    slider.released();
    EXPECT_FALSE(controller_.isActive());
    EXPECT_TRUE(sim_.pressKey(KeyCode::A).has_value());
}

TEST_F(KeyboardCleanerTest, SharedReferenceIsWeakAndDestructionReleasesTheKeys) {
    EXPECT_EQ(KeyboardCleanerController::shared(), nullptr);
    {
        KeyboardCleanerController other{hub_, *platform_.accessibility, *platform_.screens, panels_, scheduler_};
        KeyboardCleanerController::setShared(&other);
        EXPECT_EQ(KeyboardCleanerController::shared(), &other);
        other.start();
        ASSERT_TRUE(hub_.hasExclusive());
    }
    EXPECT_EQ(KeyboardCleanerController::shared(), nullptr);
    EXPECT_FALSE(hub_.hasExclusive());
    EXPECT_EQ(panels_.alive(), 0u);
    EXPECT_EQ(sim_.liveTapCount(), 0);
}

} // namespace
} // namespace tillory::keys
