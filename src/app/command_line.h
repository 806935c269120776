#pragma once

#include <QString>
#include <QStringList>

namespace tillory::app {

/// What the command line asks for. Parsed before anything opens a display, so asking for help, the version or a
/// snapshot (and getting an option wrong) works from a terminal without a desktop session.
struct CommandLine {
    enum class Action { Run, Help, Version, Snapshot, Palette, Error };
    Action action = Action::Run;
    bool processes = false;
    QString text; ///< the help text, or the error for Action::Error
};

/// `arguments` as QCoreApplication::arguments() gives them: the program first.
CommandLine parseCommandLine(const QStringList& arguments);

} // namespace tillory::app
