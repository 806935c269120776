#pragma once

#include "platform/api/system_services.h"

namespace tillory::platform::nix {

/// Helper programs through QProcess; the exit handler runs on the main thread's event loop.
class QProcessRunner final : public ProcessRunner {
public:
    bool run(const QString& program, const QStringList& arguments, std::function<void(int exitCode)> onExit) override;
    bool terminate(std::int32_t pid) override;
    std::int32_t ownPid() const override;
};

} // namespace tillory::platform::nix
