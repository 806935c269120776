#include "core/serial_queue.h"

#include "core/manual_scheduler.h"

#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <numeric>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace tillory::core {
namespace {

// ManualSerialQueue: due-ness on virtual time.

TEST(ManualSerialQueue, RunsItemsAsTheyFallDueInDueOrder) {
    ManualScheduler clock;
    ManualSerialQueue queue(clock);
    std::string order;
    queue.post([&] { order += 'c'; }, 2);
    queue.post([&] { order += 'a'; });
    queue.post([&] { order += 'b'; }, 1);
    queue.post([&] { order += 'A'; }); // same due time: posting order

    EXPECT_EQ(queue.runDue(), 2);
    EXPECT_EQ(order, "aA");
    EXPECT_EQ(queue.pendingCount(), 2);

    clock.advance(0.9);
    EXPECT_EQ(queue.runDue(), 0);
    clock.advance(0.1);
    EXPECT_EQ(queue.runDue(), 1);
    EXPECT_EQ(order, "aAb");

    clock.advance(5);
    EXPECT_EQ(queue.runDue(), 1);
    EXPECT_EQ(order, "aAbc");
    EXPECT_EQ(queue.pendingCount(), 0);
}

TEST(ManualSerialQueue, CancelledItemNeverRunsEvenWhenRunningAll) {
    ManualScheduler clock;
    ManualSerialQueue queue(clock);
    std::string order;
    queue.post([&] { order += 'a'; });
    auto dropped = queue.post([&] { order += 'x'; });
    auto delayed = queue.post([&] { order += 'y'; }, 1);
    queue.post([&] { order += 'z'; }, 100);
    dropped->cancel();
    delayed->cancel();
    EXPECT_EQ(queue.pendingCount(), 2);

    EXPECT_EQ(queue.runAll(), 2); // delays do not matter here
    EXPECT_EQ(order, "az");
    EXPECT_EQ(queue.pendingCount(), 0);
}

// ThreadSerialQueue: only zero delays and drain(), so nothing depends on the machine's speed.

TEST(ThreadSerialQueue, RunsWorkInPostingOrderOnItsOwnThread) {
    ThreadSerialQueue queue("tillory.test");
    std::vector<int> order; // touched only by the worker until drain() returns
    std::set<std::thread::id> threads;
    for (int i = 0; i < 200; ++i) {
        queue.post([&order, &threads, i] {
            order.push_back(i);
            threads.insert(std::this_thread::get_id());
        });
    }
    queue.drain();

    std::vector<int> expected(200);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(order, expected);
    ASSERT_EQ(threads.size(), 1u);
    EXPECT_NE(*threads.begin(), std::this_thread::get_id());
}

TEST(ThreadSerialQueue, ItemCancelledBeforeItStartsNeverRuns) {
    ThreadSerialQueue queue("tillory.test");
    std::promise<void> gate;
    auto gateFuture = gate.get_future();
    std::string order;
    queue.post([&] {
        gateFuture.wait(); // holds the worker so that the next items are still queued
        order += 'a';
    });
    auto cancelled = queue.post([&] { order += 'x'; });
    queue.post([&] { order += 'b'; });
    cancelled->cancel();
    gate.set_value();
    queue.drain();
    EXPECT_EQ(order, "ab");
}

TEST(ThreadSerialQueue, DestructionRunsDueWorkAndJoins) {
    std::string order; // read only after the destructor joined the worker
    {
        std::promise<void> gate; // outlives the queue, whose destructor runs the waiting item
        auto gateFuture = gate.get_future();
        ThreadSerialQueue queue("tillory.test");
        queue.post([&] {
            gateFuture.wait();
            order += 'a';
        });
        queue.post([&] { order += 'b'; });
        queue.post([&] { order += 'c'; });
        gate.set_value();
    }
    EXPECT_EQ(order, "abc");
}

} // namespace
} // namespace tillory::core
