#pragma once

#include "platform/sim/sim_desktop.h"

namespace tillory::platform::sim {

/// Runs only the programs the test installed, recording each run; the exit arrives through the scheduler, after
/// run() has returned, as a real child's would.
class SimDesktop::SimProcessRunner final : public ProcessRunner {
public:
    explicit SimProcessRunner(SimDesktop& d) : d_(d) {}
    bool run(const QString& program, const QStringList& arguments, std::function<void(int)> onExit) override;
    bool terminate(std::int32_t pid) override;
    std::int32_t ownPid() const override { return d_.ownPid_; }

private:
    SimDesktop& d_;
};

} // namespace tillory::platform::sim
