#include "core/serial_queue.h"

#include "core/scheduler.h"

#include <limits>

namespace tillory::core {

ThreadSerialQueue::ThreadSerialQueue(const char* name) : worker_([this] { run(); }) {
#ifdef __linux__
    pthread_setname_np(worker_.native_handle(), name);
#else
    (void)name;
#endif
}

ThreadSerialQueue::~ThreadSerialQueue() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

std::shared_ptr<WorkItem> ThreadSerialQueue::post(std::function<void()> work, double delaySeconds) {
    auto item = std::make_shared<WorkItem>();
    const auto due = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                        std::chrono::duration<double>(std::max(0.0, delaySeconds)));
    {
        std::lock_guard lock(mutex_);
        tasks_.emplace(std::make_pair(due, nextOrder_++), Task{item, std::move(work)});
    }
    wake_.notify_all();
    return item;
}

void ThreadSerialQueue::drain() {
    std::unique_lock lock(mutex_);
    const auto now = Clock::now();
    idle_.wait(lock, [&] {
        return !running_ && (tasks_.empty() || tasks_.begin()->first.first > now);
    });
}

void ThreadSerialQueue::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (tasks_.empty()) {
            if (stopping_) {
                return;
            }
            idle_.notify_all();
            wake_.wait(lock);
            continue;
        }
        auto first = tasks_.begin();
        if (first->first.first > Clock::now()) {
            if (stopping_) {
                return; // delayed work still waiting at shutdown is dropped; owners flush what matters
            }
            idle_.notify_all();
            wake_.wait_until(lock, first->first.first);
            continue;
        }
        Task task = std::move(first->second);
        tasks_.erase(first);
        if (task.item->isCancelled()) {
            continue;
        }
        running_ = true;
        lock.unlock();
        task.work();
        lock.lock();
        running_ = false;
    }
}

std::shared_ptr<WorkItem> ManualSerialQueue::post(std::function<void()> work, double delaySeconds) {
    auto item = std::make_shared<WorkItem>();
    tasks_.emplace(std::make_pair(clock_.now() + std::max(0.0, delaySeconds), nextOrder_++),
                   Task{item, std::move(work)});
    return item;
}

int ManualSerialQueue::runDue() { return runUntil(clock_.now() + 1e-9); }

int ManualSerialQueue::runAll() { return runUntil(std::numeric_limits<double>::infinity()); }

int ManualSerialQueue::runUntil(double deadline) {
    int ran = 0;
    while (!tasks_.empty() && tasks_.begin()->first.first <= deadline) {
        Task task = std::move(tasks_.begin()->second);
        tasks_.erase(tasks_.begin());
        if (!task.item->isCancelled()) {
            task.work();
            ++ran;
        }
    }
    return ran;
}

int ManualSerialQueue::pendingCount() const {
    int count = 0;
    for (const auto& [key, task] : tasks_) {
        count += task.item->isCancelled() ? 0 : 1;
    }
    return count;
}

} // namespace tillory::core
