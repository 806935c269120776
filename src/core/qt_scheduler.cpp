#include "core/qt_scheduler.h"

#include "core/dates.h"

#include <QDateTime>
#include <QMetaObject>
#include <QTimer>

#include <cmath>

namespace tillory::core {
namespace {

class QtTimer final : public Timer {
public:
    QtTimer(double seconds, bool repeating, std::function<void()> work) : timer_(new QTimer) {
        const auto ms = static_cast<int>(std::lround(std::max(0.0, seconds) * 1000.0));
        timer_->setSingleShot(!repeating);
        timer_->setInterval(ms);
        // Short intervals (polls, debounces) need better than the coarse timer's 5 % slack.
        timer_->setTimerType(ms < 2000 ? Qt::PreciseTimer : Qt::CoarseTimer);
        // The callback may destroy this handle; the shared function keeps itself alive until it returns.
        auto shared = std::make_shared<std::function<void()>>(std::move(work));
        QObject::connect(timer_, &QTimer::timeout, timer_, [shared] {
            auto keep = shared;
            (*keep)();
        });
        timer_->start();
    }

    ~QtTimer() override {
        timer_->disconnect();
        timer_->stop();
        timer_->deleteLater(); // it may be the sender of the signal that is running right now
    }

private:
    QTimer* timer_;
};

} // namespace

QtScheduler::QtScheduler() : context_(std::make_unique<QObject>()) { clock_.start(); }

QtScheduler::~QtScheduler() = default;

double QtScheduler::now() const { return static_cast<double>(clock_.nsecsElapsed()) / 1e9; }

double QtScheduler::currentDate() const {
    return dateFromUnixMilliseconds(QDateTime::currentMSecsSinceEpoch());
}

void QtScheduler::post(std::function<void()> work) {
    QMetaObject::invokeMethod(context_.get(), std::move(work), Qt::QueuedConnection);
}

TimerPtr QtScheduler::after(double seconds, std::function<void()> work) {
    return std::make_unique<QtTimer>(seconds, false, std::move(work));
}

TimerPtr QtScheduler::every(double seconds, std::function<void()> work) {
    return std::make_unique<QtTimer>(seconds, true, std::move(work));
}

} // namespace tillory::core
