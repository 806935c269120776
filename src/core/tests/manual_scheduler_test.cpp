#include "core/manual_scheduler.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace tillory::core {
namespace {

TEST(ManualScheduler, TimersFireInDeadlineOrderWithTimeAtTheirDeadline) {
    ManualScheduler scheduler;
    std::vector<std::pair<std::string, double>> fired;
    auto record = [&](std::string name) { return [&, name] { fired.emplace_back(name, scheduler.now()); }; };
    auto late = scheduler.after(3, record("late"));
    auto early = scheduler.after(1, record("early"));
    auto middle = scheduler.after(2, record("middle"));
    auto tie = scheduler.after(2, record("tie")); // same deadline: creation order

    scheduler.advance(0.5);
    EXPECT_TRUE(fired.empty());

    scheduler.advance(4.5);
    const std::vector<std::pair<std::string, double>> expected{
        {"early", 1.0}, {"middle", 2.0}, {"tie", 2.0}, {"late", 3.0}};
    EXPECT_EQ(fired, expected);
    EXPECT_DOUBLE_EQ(scheduler.now(), 5.0);
    EXPECT_EQ(scheduler.timerCount(), 0u);
}

TEST(ManualScheduler, TimerFallsDueAcrossSeveralAdvances) {
    ManualScheduler scheduler;
    int calls = 0;
    auto timer = scheduler.after(1, [&] { ++calls; });
    scheduler.advance(0.4);
    scheduler.advance(0.5);
    EXPECT_EQ(calls, 0);
    scheduler.advance(0.1);
    EXPECT_EQ(calls, 1);
    scheduler.advance(10);
    EXPECT_EQ(calls, 1);
}

TEST(ManualScheduler, RepeatingTimerFiresOncePerElapsedInterval) {
    ManualScheduler scheduler;
    std::vector<double> times;
    auto timer = scheduler.every(2, [&] { times.push_back(scheduler.now()); });

    scheduler.advance(7);
    EXPECT_EQ(times, (std::vector<double>{2, 4, 6}));
    scheduler.advance(1);
    EXPECT_EQ(times, (std::vector<double>{2, 4, 6, 8}));
    EXPECT_EQ(scheduler.timerCount(), 1u);
}

TEST(ManualScheduler, RepeatingAndOneShotTimersInterleaveByDeadline) {
    ManualScheduler scheduler;
    std::string order;
    auto tick = scheduler.every(1, [&] { order += 't'; });
    auto once = scheduler.after(2.5, [&] { order += 'o'; });
    scheduler.advance(4);
    EXPECT_EQ(order, "ttott");
}

TEST(ManualScheduler, DestroyedHandleCancelsItsTimer) {
    ManualScheduler scheduler;
    int calls = 0;
    auto oneShot = scheduler.after(1, [&] { ++calls; });
    auto repeating = scheduler.every(1, [&] { ++calls; });
    oneShot.reset();
    repeating.reset();
    EXPECT_EQ(scheduler.timerCount(), 0u);
    scheduler.advance(10);
    EXPECT_EQ(calls, 0);
}

TEST(ManualScheduler, RepeatingTimerCancelledFromItsOwnCallbackStops) {
    ManualScheduler scheduler;
    int calls = 0;
    TimerPtr timer;
    timer = scheduler.every(1, [&] {
        // The callback object must survive its own handle's destruction.
        if (++calls == 2) {
            timer.reset();
        }
    });
    scheduler.advance(10);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(scheduler.timerCount(), 0u);
}

TEST(ManualScheduler, TimerCancelledByAnEarlierCallbackDueAtTheSameTimeDoesNotRun) {
    ManualScheduler scheduler;
    TimerPtr second;
    bool secondRan = false;
    auto first = scheduler.after(1, [&] { second.reset(); });
    second = scheduler.after(1, [&] { secondRan = true; });
    scheduler.advance(1);
    EXPECT_FALSE(secondRan);
}

TEST(ManualScheduler, TimerCreatedInsideACallbackFiresInTheSameAdvanceWhenDue) {
    ManualScheduler scheduler;
    std::vector<double> times;
    TimerPtr inner;
    auto outer = scheduler.after(1, [&] { inner = scheduler.after(0.5, [&] { times.push_back(scheduler.now()); }); });
    scheduler.advance(1.4);
    EXPECT_TRUE(times.empty());
    scheduler.advance(0.1);
    EXPECT_EQ(times, (std::vector<double>{1.5}));
}

TEST(ManualScheduler, PostedWorkRunsInOrderOnlyWhenAsked) {
    ManualScheduler scheduler;
    std::string order;
    scheduler.post([&] {
        order += 'a';
        scheduler.post([&] { order += 'c'; }); // posted by posted work: runs in the same pass, after the rest
    });
    scheduler.post([&] { order += 'b'; });
    EXPECT_EQ(order, "");

    scheduler.runPosted();
    EXPECT_EQ(order, "abc");
    EXPECT_DOUBLE_EQ(scheduler.now(), 0.0);

    scheduler.post([&] { order += 'd'; });
    scheduler.advance(0);
    EXPECT_EQ(order, "abcd");
}

TEST(ManualScheduler, WorkPostedByATimerRunsBeforeTheNextTimer) {
    ManualScheduler scheduler;
    std::string order;
    auto first = scheduler.after(1, [&] {
        order += '1';
        scheduler.post([&] { order += 'p'; });
    });
    auto second = scheduler.after(2, [&] { order += '2'; });
    scheduler.advance(3);
    EXPECT_EQ(order, "1p2");
}

TEST(ManualScheduler, CurrentDateAdvancesWithVirtualTime) {
    ManualScheduler scheduler(1000.0);
    EXPECT_DOUBLE_EQ(scheduler.currentDate(), 1000.0);
    double dateInCallback = 0;
    auto timer = scheduler.after(2, [&] { dateInCallback = scheduler.currentDate(); });
    scheduler.advance(2.5);
    EXPECT_DOUBLE_EQ(dateInCallback, 1002.0);
    EXPECT_DOUBLE_EQ(scheduler.currentDate(), 1002.5);
    EXPECT_DOUBLE_EQ(scheduler.currentDate() - scheduler.now(), 1000.0);
}

} // namespace
} // namespace tillory::core
