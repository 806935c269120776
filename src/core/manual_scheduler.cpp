#include "core/manual_scheduler.h"

#include <algorithm>

namespace tillory::core {

class ManualScheduler::Handle final : public Timer {
public:
    Handle(std::weak_ptr<ManualScheduler*> owner, std::uint64_t id) : owner_(std::move(owner)), id_(id) {}
    ~Handle() override {
        if (auto owner = owner_.lock()) {
            (*owner)->cancel(id_);
        }
    }

private:
    std::weak_ptr<ManualScheduler*> owner_;
    std::uint64_t id_;
};

ManualScheduler::ManualScheduler(double startDate)
    : startDate_(startDate), self_(std::make_shared<ManualScheduler*>(this)) {}

ManualScheduler::~ManualScheduler() = default;

void ManualScheduler::post(std::function<void()> work) { posted_.push_back(std::move(work)); }

TimerPtr ManualScheduler::after(double seconds, std::function<void()> work) {
    return schedule(seconds, false, std::move(work));
}

TimerPtr ManualScheduler::every(double seconds, std::function<void()> work) {
    return schedule(seconds, true, std::move(work));
}

TimerPtr ManualScheduler::schedule(double seconds, bool repeating, std::function<void()> work) {
    const auto id = nextId_++;
    seconds = std::max(0.0, seconds);
    timers_[id] = Entry{seconds, repeating, std::make_shared<std::function<void()>>(std::move(work))};
    queue_.emplace(std::make_pair(now_ + seconds, id), id);
    return std::make_unique<Handle>(self_, id);
}

void ManualScheduler::cancel(std::uint64_t id) {
    timers_.erase(id);
    std::erase_if(queue_, [id](const auto& item) { return item.second == id; });
}

void ManualScheduler::runPosted() {
    while (!posted_.empty()) {
        auto work = std::move(posted_.front());
        posted_.pop_front();
        work();
    }
}

void ManualScheduler::advance(double seconds) {
    const double end = now_ + std::max(0.0, seconds);
    runPosted();
    while (!queue_.empty() && queue_.begin()->first.first <= end + 1e-9) {
        auto first = queue_.begin();
        const double deadline = first->first.first;
        const auto id = first->second;
        queue_.erase(first);
        now_ = std::max(now_, deadline);
        auto found = timers_.find(id);
        if (found == timers_.end()) {
            continue;
        }
        auto work = found->second.work; // keeps the callback alive if it cancels its own timer
        if (found->second.repeating) {
            // A zero interval would spin forever inside one advance.
            queue_.emplace(std::make_pair(deadline + std::max(found->second.interval, 1e-6), nextId_++), id);
        } else {
            timers_.erase(found);
        }
        (*work)();
        runPosted();
    }
    now_ = std::max(now_, end);
}

} // namespace tillory::core
