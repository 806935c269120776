#pragma once

#include <QByteArray>
#include <QObject>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

struct wl_display;
struct wl_registry;
struct wl_interface;
class QSocketNotifier;

namespace tillory::platform::nix {

/// One global the compositor offers.
struct WaylandGlobal {
    std::uint32_t name = 0;
    QByteArray interface;
    std::uint32_t version = 0;
};

/// The interfaces a compositor offers, read once over a short-lived connection (before the toolkit starts, to
/// choose a backend). Nothing when no compositor answers.
std::optional<std::vector<WaylandGlobal>> probeWaylandGlobals(const QByteArray& displayName);

/// Tillory's own connection to the compositor, for the protocols Qt does not speak. Events are read and
/// dispatched on the main thread as they arrive; requests are flushed before the event loop sleeps.
class WaylandConnection final : public QObject {
    Q_OBJECT
public:
    /// Connects to `displayName` (WAYLAND_DISPLAY when empty) and reads the globals; nothing when that fails.
    static std::unique_ptr<WaylandConnection> open(const QByteArray& displayName = {});
    ~WaylandConnection() override;

    wl_display* display() const { return display_; }
    const std::vector<WaylandGlobal>& globals() const { return globals_; }
    bool offers(const char* interface) const;
    /// Binds the first global of `interface` at the lower of its version and `maxVersion`; null when absent.
    void* bind(const wl_interface* interface, std::uint32_t maxVersion, std::uint32_t* boundVersion = nullptr);
    /// Binds the global named `name` (one of several of an interface, such as outputs).
    void* bindGlobal(const WaylandGlobal& global, const wl_interface* interface, std::uint32_t maxVersion);
    /// Waits until the compositor has handled every request sent so far and its answers are dispatched.
    bool roundtrip();
    void flush();
    /// False once the compositor has closed the connection or refused a request.
    bool isAlive() const { return alive_; }

Q_SIGNALS:
    /// The compositor is gone or cut the connection; nothing more arrives.
    void lost();

private:
    explicit WaylandConnection(wl_display* display);
    void readEvents();
    void checkError();

    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    std::vector<WaylandGlobal> globals_;
    std::unique_ptr<QSocketNotifier> notifier_;
    QMetaObject::Connection beforeSleep_;
    bool alive_ = true;

    friend struct RegistryHandler;
};

} // namespace tillory::platform::nix
