#include "platform/linux/qprocess_runner.h"

#include <csignal>
#include <unistd.h>

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace tillory::platform::nix {

bool QProcessRunner::run(const QString& program, const QStringList& arguments, std::function<void(int)> onExit) {
    const bool absolute = QFileInfo(program).isAbsolute();
    if (absolute ? !QFileInfo(program).isExecutable() : QStandardPaths::findExecutable(program).isEmpty()) {
        return false;
    }
    auto* process = new QProcess;
    QObject::connect(process, &QProcess::finished, process,
                     [process, onExit = std::move(onExit)](int exitCode, QProcess::ExitStatus) {
                         process->deleteLater();
                         onExit(exitCode);
                     });
    QObject::connect(process, &QProcess::errorOccurred, process, [process](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            process->deleteLater();
        }
    });
    process->start(program, arguments);
    return true;
}

bool QProcessRunner::terminate(std::int32_t pid) {
    if (pid < 2 || pid == ownPid()) {
        return false;
    }
    return ::kill(pid, SIGTERM) == 0;
}

std::int32_t QProcessRunner::ownPid() const {
    return static_cast<std::int32_t>(::getpid());
}

} // namespace tillory::platform::nix
