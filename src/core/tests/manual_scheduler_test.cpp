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

TEST(ManualScheduler, DestroyedHandleCancelsItsTimer) {
    ManualScheduler scheduler;
    int calls = 0;
    auto oneShot = scheduler.after(1, [&] { ++calls; });
    auto repeating = scheduler.every(1, [&] { ++calls; });
    TimerPtr sameTime;
    auto canceller = scheduler.after(2, [&] { sameTime.reset(); }); // due together, but cancelled first
    sameTime = scheduler.after(2, [&] { ++calls; });
    oneShot.reset();
    repeating.reset();
    EXPECT_EQ(scheduler.timerCount(), 2u);
    scheduler.advance(10);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(scheduler.timerCount(), 0u);
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

    // Work posted by a timer runs before the next timer.
    auto first = scheduler.after(1, [&] { scheduler.post([&] { order += 'p'; }); });
    auto second = scheduler.after(2, [&] { order += '2'; });
    scheduler.post([&] { order += 'd'; });
    scheduler.advance(3);
    EXPECT_EQ(order, "abcdp2");
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
