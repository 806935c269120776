#pragma once

#include <memory>

namespace tillory::shell {

class ShortcutsController;
class WhatsNewController;

/// One of the shell's small windows as the view layer made it: shown and in front from the start; destroying it
/// closes it.
class ShellWindow {
public:
    virtual ~ShellWindow() = default;
    /// Raises the window and gives it the keyboard.
    virtual void bringForward() = 0;
};

/// Makes the shortcuts and what's-new windows. A window closed by the desktop (not through its button) tells its
/// controller with `windowClosed()`. Main thread.
class ShellWindowFactory {
public:
    virtual ~ShellWindowFactory() = default;
    virtual std::unique_ptr<ShellWindow> createShortcuts(ShortcutsController& controller) = 0;
    virtual std::unique_ptr<ShellWindow> createWhatsNew(WhatsNewController& controller) = 0;
};

} // namespace tillory::shell
