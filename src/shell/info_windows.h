#pragma once

#include "platform/api/key_names.h"
#include "shell/shell_window.h"

#include <QObject>
#include <QString>
#include <QVariantList>

#include <memory>
#include <vector>

namespace tillory::core {
class Settings;
}

namespace tillory::shell {

struct Shortcut {
    QString keys;
    QString title;
    QString detail;
};

struct ShortcutGroup {
    QString name;
    std::vector<Shortcut> items;
};

/// Every shortcut and gesture, by feature, with the keys written as symbols.
const std::vector<ShortcutGroup>& shortcutGroups();

struct Highlight {
    QString symbol;
    QString title;
    QString detail;
};

/// What the what's-new window introduces, in order, with the keys written as symbols.
const std::vector<Highlight>& highlights();

/// The reference window of shortcuts and gestures: one at a time, made on the first `show`, dropped by "Done".
/// Main thread.
class ShortcutsController : public QObject {
    Q_OBJECT
    /// One map per group: "name" and "items", a list of maps with "keys", "title", "detail".
    Q_PROPERTY(QVariantList groups READ groups CONSTANT)

public:
    /// `windows` may be null: then nothing is shown.
    ShortcutsController(ShellWindowFactory* windows, platform::KeyNames keyNames, QObject* parent = nullptr);
    ~ShortcutsController() override;

    /// The one the application keeps; null before it is made or after it is gone.
    static ShortcutsController* shared();
    static void setShared(ShortcutsController* controller);

    /// Opens the window, or brings the open one forward.
    Q_INVOKABLE void show();
    /// The "Done" button.
    Q_INVOKABLE void done();
    /// The desktop closed the window.
    void windowClosed();
    bool isOpen() const { return window_ != nullptr; }

    QVariantList groups() const { return groups_; }

private:
    ShellWindowFactory* windows_;
    QVariantList groups_;
    std::unique_ptr<ShellWindow> window_;
};

/// Introduces the features once per version: shown at launch unless the running version is the one last
/// dismissed with "Continue", and whenever the home page asks. Main thread.
class WhatsNewController : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString version READ version CONSTANT)
    /// One map per highlight: "symbol", "title", "detail".
    Q_PROPERTY(QVariantList highlights READ highlightRows CONSTANT)

public:
    static inline const QString kLastSeenKey = QStringLiteral("lastSeenWhatsNewVersion");

    /// `runningVersion` empty counts as "0".
    WhatsNewController(ShellWindowFactory* windows, core::Settings& settings, QString runningVersion,
                       platform::KeyNames keyNames, QObject* parent = nullptr);
    ~WhatsNewController() override;

    static WhatsNewController* shared();
    static void setShared(WhatsNewController* controller);

    /// At launch: shows the window unless this version's was dismissed.
    void showIfNeeded();
    Q_INVOKABLE void show();
    /// The "Continue" button: remembers this version and closes.
    Q_INVOKABLE void done();
    /// The desktop closed the window: the version is not remembered, so it comes back at the next launch.
    void windowClosed();
    bool isOpen() const { return window_ != nullptr; }

    QString version() const { return version_; }
    QVariantList highlightRows() const { return highlights_; }

private:
    ShellWindowFactory* windows_;
    core::Settings& settings_;
    QString version_;
    QVariantList highlights_;
    std::unique_ptr<ShellWindow> window_;
};

} // namespace tillory::shell
