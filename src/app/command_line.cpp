#include "command_line.h"

#include <QCommandLineParser>

namespace tillory::app {

namespace {

const char* const kDescription =
    "Tillory keeps a searchable clipboard history, switches and snaps windows from the keyboard, locks the\n"
    "keyboard for cleaning, shows the system's load in a tray panel and what is playing in an island at the\n"
    "top of the screen. It runs in the background behind its tray icon.";

const char* const kBackends =
    "\n"
    "Desktops:\n"
    "  On a Wayland compositor that offers the layer shell and a data-control clipboard protocol (sway and the\n"
    "  other wlroots compositors), Tillory talks to the compositor itself; with sway's IPC (SWAYSOCK) it also\n"
    "  knows the windows and the application in front. On an X11 session, and on other Wayland desktops through\n"
    "  XWayland, it uses X11. TILLORY_BACKEND=x11 chooses X11 (XWayland) on any Wayland desktop. The choice and\n"
    "  its reason are printed at start.\n";

} // namespace

CommandLine parseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    // Handled here rather than by process(): that one exits the program and needs an application object.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Print the version and exit."));
    const QCommandLineOption snapshot(
        QStringLiteral("snapshot"),
        QStringLiteral("Print one reading of the system monitor as JSON and exit (needs no display)."));
    const QCommandLineOption processes(QStringLiteral("processes"),
                                       QStringLiteral("With --snapshot: add the process list."));
    const QCommandLineOption palette(
        QStringLiteral("palette"),
        QStringLiteral("Open the clipboard palette of the running Tillory, for a key binding of the desktop's own "
                       "where Tillory cannot bind keys itself (Wayland compositors other than sway)."));
    parser.addOptions({help, version, snapshot, processes, palette});

    CommandLine line;
    if (!parser.parse(arguments)) {
        line.action = CommandLine::Action::Error;
        line.text = parser.errorText();
        return line;
    }
    if (!parser.positionalArguments().isEmpty()) {
        line.action = CommandLine::Action::Error;
        line.text = QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().constFirst());
        return line;
    }
    if (parser.isSet(help)) {
        line.action = CommandLine::Action::Help;
        // Without an application object the parser cannot know the program's name.
        line.text = parser.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("tillory")) +
                    QString::fromLatin1(kBackends);
        return line;
    }
    if (parser.isSet(version)) {
        line.action = CommandLine::Action::Version;
        return line;
    }
    line.processes = parser.isSet(processes);
    if (parser.isSet(palette) && (parser.isSet(snapshot) || line.processes)) {
        line.action = CommandLine::Action::Error;
        line.text = QStringLiteral("--palette goes alone.");
    } else if (parser.isSet(palette)) {
        line.action = CommandLine::Action::Palette;
    } else if (parser.isSet(snapshot)) {
        line.action = CommandLine::Action::Snapshot;
    } else if (line.processes) {
        line.action = CommandLine::Action::Error;
        line.text = QStringLiteral("--processes goes with --snapshot.");
    }
    return line;
}

} // namespace tillory::app
