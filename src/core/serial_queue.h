#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace tillory::core {

class Scheduler;

/// A piece of work handed to a serial queue. Cancelling it before it starts means it never runs; work that has
/// already started is not interrupted.
class WorkItem {
public:
    void cancel() { cancelled_.store(true, std::memory_order_release); }
    bool isCancelled() const { return cancelled_.load(std::memory_order_acquire); }

private:
    std::atomic<bool> cancelled_{false};
};

/// Runs work one item at a time, off the main thread, in the order the items fall due.
class SerialQueue {
public:
    virtual ~SerialQueue() = default;

    /// Queues `work` to run `delaySeconds` from now. Any thread. The returned item can cancel it.
    virtual std::shared_ptr<WorkItem> post(std::function<void()> work, double delaySeconds = 0) = 0;
};

/// The production queue: one worker thread. Destruction runs what is already due, drops what is not, and joins.
class ThreadSerialQueue final : public SerialQueue {
public:
    explicit ThreadSerialQueue(const char* name);
    ~ThreadSerialQueue() override;
    ThreadSerialQueue(const ThreadSerialQueue&) = delete;
    ThreadSerialQueue& operator=(const ThreadSerialQueue&) = delete;

    std::shared_ptr<WorkItem> post(std::function<void()> work, double delaySeconds = 0) override;

    /// Blocks until every item due by now has run. Any thread but the worker.
    void drain();

private:
    using Clock = std::chrono::steady_clock;
    struct Task {
        std::shared_ptr<WorkItem> item;
        std::function<void()> work;
    };
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::multimap<std::pair<Clock::time_point, std::uint64_t>, Task> tasks_;
    std::uint64_t nextOrder_ = 0;
    bool running_ = false; // a task is executing
    bool stopping_ = false;
    std::thread worker_;
};

/// The test double: work runs only when the test asks, and "due" is measured on the given scheduler's clock.
class ManualSerialQueue final : public SerialQueue {
public:
    explicit ManualSerialQueue(const Scheduler& clock) : clock_(clock) {}

    std::shared_ptr<WorkItem> post(std::function<void()> work, double delaySeconds = 0) override;

    /// Runs the items due by the clock's now, in order; returns how many ran (cancelled ones do not count).
    int runDue();
    /// Runs every queued item regardless of its delay.
    int runAll();
    /// Items queued and not cancelled.
    int pendingCount() const;

private:
    struct Task {
        std::shared_ptr<WorkItem> item;
        std::function<void()> work;
    };
    int runUntil(double deadline);

    const Scheduler& clock_;
    std::uint64_t nextOrder_ = 0;
    std::multimap<std::pair<double, std::uint64_t>, Task> tasks_;
};

} // namespace tillory::core
