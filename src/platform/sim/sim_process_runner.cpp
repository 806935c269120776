#include "platform/sim/sim_process_runner.h"

namespace tillory::platform::sim {

bool SimDesktop::SimProcessRunner::run(const QString& program, const QStringList& arguments,
                                       std::function<void(int)> onExit) {
    auto found = d_.programs_.find(program);
    if (found == d_.programs_.end()) {
        return false;
    }
    d_.runs_.push_back({program, arguments});
    const int code = found.value();
    d_.scheduler_.post([onExit = std::move(onExit), code] { onExit(code); });
    return true;
}

bool SimDesktop::SimProcessRunner::terminate(std::int32_t pid) {
    if (pid < 2 || pid == d_.ownPid_ || !d_.endableProcesses_.count(pid)) {
        return false;
    }
    d_.endedProcesses_.push_back(pid);
    return true;
}

} // namespace tillory::platform::sim
