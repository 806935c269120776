#pragma once

#include <functional>
#include <memory>

namespace tillory::core {

/// A pending one-shot or repeating timer. Destroying the handle cancels it; a callback never runs after that.
class Timer {
public:
    virtual ~Timer() = default;
    Timer() = default;
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;
};

using TimerPtr = std::unique_ptr<Timer>;

/// The main thread's run loop. Every controller takes its time and its timers from here, so tests can run on
/// virtual time instead of sleeping.
class Scheduler {
public:
    virtual ~Scheduler() = default;

    /// Monotonic seconds since an arbitrary origin. Main thread.
    virtual double now() const = 0;

    /// Calendar time as seconds since 2001-01-01 00:00:00 UTC (what stored dates use). Main thread.
    virtual double currentDate() const = 0;

    /// Runs `work` on the main thread soon, after the work already posted. Safe to call from any thread.
    virtual void post(std::function<void()> work) = 0;

    /// Runs `work` once on the main thread after `seconds`. Main thread.
    [[nodiscard]] virtual TimerPtr after(double seconds, std::function<void()> work) = 0;

    /// Runs `work` on the main thread every `seconds`, the first time one interval from now. Main thread.
    [[nodiscard]] virtual TimerPtr every(double seconds, std::function<void()> work) = 0;
};

} // namespace tillory::core
