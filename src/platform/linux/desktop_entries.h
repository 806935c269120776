#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace tillory::platform::nix {

/// What a window name lookup needs from a .desktop file's [Desktop Entry] group.
struct DesktopEntry {
    QString name;
    QString startupWmClass;
    QString icon; ///< a theme icon name or an absolute path; may be empty
    friend bool operator==(const DesktopEntry&, const DesktopEntry&) = default;
};

/// Reads the [Desktop Entry] group of a desktop entry file: its untranslated Name, StartupWMClass and Icon, with the
/// escapes \s \n \t \r \\ undone. Nothing when the group or its Name is missing. Any bytes are safe.
std::optional<DesktopEntry> parseDesktopEntry(QByteArrayView text);

/// Application names from the desktop entries installed under the XDG data folders. Built on first use and again
/// whenever one of the applications folders changes. Main thread.
class DesktopEntryIndex {
public:
    /// `dataDirs` in precedence order; empty means $XDG_DATA_HOME then $XDG_DATA_DIRS (with their defaults).
    explicit DesktopEntryIndex(QStringList dataDirs = {});

    /// The entry's Name for an application id (a desktop file id with or without ".desktop", or a path to one),
    /// else for a WM_CLASS class or instance (by StartupWMClass, then by file id); empty when none matches.
    QString nameFor(const QString& appId, const QString& instance, const QString& className);
    /// The entry's Icon for an application id as the workspace gives it (matched as by `nameFor`); empty when none.
    QString iconFor(const QString& appId);

private:
    const DesktopEntry* find(const QString& appId, const QString& instance, const QString& className);
    void refreshIfChanged();
    void scan();

    QStringList applicationDirs_;
    std::vector<QDateTime> stamps_;
    bool scanned_ = false;
    QHash<QString, DesktopEntry> byId_;      // lower-case file id without ".desktop"
    QHash<QString, DesktopEntry> byWmClass_; // lower-case StartupWMClass
};

} // namespace tillory::platform::nix
