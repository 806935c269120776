#include "platform/sim/sim_system_counters.h"

#include <algorithm>
#include <cmath>

namespace tillory::platform::sim {

void SimSystemCounters::advanceSeconds(double seconds) {
    clock_ += static_cast<std::uint64_t>(std::llround(seconds * 1e9));
}

void SimSystemCounters::setMounts(std::optional<std::vector<MountedVolume>> table) {
    const std::lock_guard lock(mountsMutex_);
    mounts_ = std::move(table);
}

void SimSystemCounters::holdMounts() {
    const std::lock_guard lock(mountsMutex_);
    mountsHeld_ = true;
}

void SimSystemCounters::releaseMounts() {
    const std::lock_guard lock(mountsMutex_);
    mountsHeld_ = false;
    mountsReleased_.notify_all();
}

int SimSystemCounters::mountReads() const {
    const std::lock_guard lock(mountsMutex_);
    return mountReads_;
}

std::optional<std::vector<MountedVolume>> SimSystemCounters::mounts() {
    std::unique_lock lock(mountsMutex_);
    ++mountReads_;
    mountsReleased_.wait(lock, [this] { return !mountsHeld_; });
    return mounts_;
}

SimSystemCounters::Process* SimSystemCounters::find(std::int32_t pid) {
    const auto it = std::find_if(processes_.begin(), processes_.end(), [&](const auto& p) { return p.pid == pid; });
    return it != processes_.end() ? &*it : nullptr;
}

void SimSystemCounters::addProcess(std::int32_t pid, const QString& name, const ProcessUsage& usage) {
    if (Process* existing = find(pid)) {
        *existing = {pid, name, usage, {}};
    } else {
        processes_.push_back({pid, name, usage, {}});
    }
}

void SimSystemCounters::removeProcess(std::int32_t pid) {
    std::erase_if(processes_, [&](const auto& p) { return p.pid == pid; });
}

void SimSystemCounters::setProcessUsage(std::int32_t pid, std::optional<ProcessUsage> usage) {
    if (Process* process = find(pid)) {
        process->usage = usage;
    }
}

void SimSystemCounters::addProcessWork(std::int32_t pid, std::uint64_t cpuNanos, std::uint64_t diskBytesRead,
                                       std::uint64_t diskBytesWritten) {
    Process* process = find(pid);
    if (!process || !process->usage) {
        return;
    }
    process->usage->cpuTimeNanos += cpuNanos;
    process->usage->diskBytesRead += diskBytesRead;
    process->usage->diskBytesWritten += diskBytesWritten;
}

std::optional<std::vector<std::int32_t>> SimSystemCounters::processIds() {
    if (!processListReadable_) {
        return std::nullopt;
    }
    std::vector<std::int32_t> pids;
    pids.reserve(processes_.size());
    for (const auto& process : processes_) {
        pids.push_back(process.pid);
    }
    return pids;
}

std::optional<ProcessUsage> SimSystemCounters::processUsage(std::int32_t pid) {
    const Process* process = find(pid);
    return process ? process->usage : std::nullopt;
}

void SimSystemCounters::setProcessCommandLine(std::int32_t pid, const QString& line) {
    if (Process* process = find(pid)) {
        process->commandLine = line;
    }
}

QString SimSystemCounters::processCommandLine(std::int32_t pid) {
    ++commandLineReads_;
    const Process* process = find(pid);
    return process ? process->commandLine : QString();
}

QString SimSystemCounters::processName(std::int32_t pid) {
    const Process* process = find(pid);
    return process ? process->name : QString();
}

} // namespace tillory::platform::sim
