#pragma once

#include "shell/shell_window.h"

#include <QString>
#include <QUrl>

#include <functional>

class QObject;

namespace tillory::shell {

/// The shortcuts and what's-new windows in Qt Quick: frameless, centred on the primary screen, moved by dragging
/// their background. Main thread.
class QuickShellWindowFactory final : public ShellWindowFactory {
public:
    /// Whether a compositing manager draws see-through windows; without it the windows are square and opaque.
    void setTranslucency(std::function<bool()> translucent) { translucent_ = std::move(translucent); }
    /// Whether the windows are dark, asked as each opens; without it, the views' rule with nothing stated.
    void setDark(std::function<bool()> dark) { dark_ = std::move(dark); }
    std::unique_ptr<ShellWindow> createShortcuts(ShortcutsController& controller) override;
    std::unique_ptr<ShellWindow> createWhatsNew(WhatsNewController& controller) override;

private:
    std::unique_ptr<ShellWindow> create(const QUrl& source, const QString& title, QObject* controller,
                                        std::function<void()> closed);
    std::function<bool()> translucent_;
    std::function<bool()> dark_;
};

} // namespace tillory::shell
