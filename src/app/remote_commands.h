#pragma once

#include <QObject>

#include <functional>

namespace tillory::app {

/// What another `tillory` process may ask of the running one, over the session bus: a desktop whose key bindings
/// Tillory cannot add itself binds a key to `tillory --palette` instead. Main thread.
class RemoteCommands final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.tillory.Tillory")

public:
    static constexpr const char* kService = "org.tillory.Tillory";
    static constexpr const char* kPath = "/org/tillory/Tillory";

    /// `openPalette` answers whether the palette is open afterwards.
    explicit RemoteCommands(std::function<bool()> openPalette, QObject* parent = nullptr);
    ~RemoteCommands() override;

    /// Takes the name on the session bus; false when there is no bus or another process holds it.
    bool publish();

public Q_SLOTS:
    Q_SCRIPTABLE bool ShowPalette();

private:
    std::function<bool()> openPalette_;
    bool published_ = false;
};

/// For `tillory --palette`: asks the running Tillory to open its palette. Prints what went wrong and answers the
/// exit status: 0 when it opened, 1 when nothing was running or it had nothing to show.
int requestPalette();

} // namespace tillory::app
