#pragma once

#include "core/scheduler.h"

#include <QElapsedTimer>
#include <QObject>

namespace tillory::core {

/// The production scheduler: the Qt event loop of the thread that creates it (the main thread).
class QtScheduler final : public Scheduler {
public:
    QtScheduler();
    ~QtScheduler() override;

    double now() const override;
    double currentDate() const override;
    void post(std::function<void()> work) override;
    TimerPtr after(double seconds, std::function<void()> work) override;
    TimerPtr every(double seconds, std::function<void()> work) override;

private:
    QElapsedTimer clock_;
    std::unique_ptr<QObject> context_; // lives on the main thread; posted work is queued to it
};

} // namespace tillory::core
