#pragma once

#include "core/scheduler.h"

#include <cstdint>
#include <deque>
#include <map>
#include <memory>

namespace tillory::core {

/// Virtual time for tests: nothing runs until the test calls `advance` or `runPosted`.
class ManualScheduler final : public Scheduler {
public:
    explicit ManualScheduler(double startDate = 800000000.0);
    ~ManualScheduler() override;

    double now() const override { return now_; }
    double currentDate() const override { return startDate_ + now_; }
    void post(std::function<void()> work) override;
    TimerPtr after(double seconds, std::function<void()> work) override;
    TimerPtr every(double seconds, std::function<void()> work) override;

    /// Moves virtual time forward, running posted work and every timer that falls due, in deadline order.
    void advance(double seconds);

    /// Runs posted work (and work that it posts) without moving time.
    void runPosted();

    /// Number of live timers.
    std::size_t timerCount() const { return timers_.size(); }

private:
    struct Entry {
        double interval = 0;
        bool repeating = false;
        std::shared_ptr<std::function<void()>> work;
    };
    class Handle;
    friend class Handle;

    TimerPtr schedule(double seconds, bool repeating, std::function<void()> work);
    void cancel(std::uint64_t id);

    double now_ = 0;
    double startDate_;
    std::uint64_t nextId_ = 1;
    std::map<std::uint64_t, Entry> timers_;
    std::multimap<std::pair<double, std::uint64_t>, std::uint64_t> queue_; // (deadline, order) → id
    std::deque<std::function<void()>> posted_;
    std::shared_ptr<ManualScheduler*> self_; // lets handles outlive the scheduler safely
};

} // namespace tillory::core
