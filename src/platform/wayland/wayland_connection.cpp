#include "platform/wayland/wayland_connection.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QLoggingCategory>
#include <QSocketNotifier>

#include <wayland-client.h>

#include <algorithm>
#include <cstring>

Q_LOGGING_CATEGORY(lcWayland, "tillory.wayland", QtInfoMsg)

namespace tillory::platform::nix {

struct RegistryHandler {
    static void global(void* data, wl_registry*, std::uint32_t name, const char* interface, std::uint32_t version) {
        static_cast<std::vector<WaylandGlobal>*>(data)->push_back({name, QByteArray(interface), version});
    }
    static void globalRemove(void* data, wl_registry*, std::uint32_t name) {
        auto* globals = static_cast<std::vector<WaylandGlobal>*>(data);
        globals->erase(
            std::remove_if(globals->begin(), globals->end(), [name](const WaylandGlobal& g) { return g.name == name; }),
            globals->end());
    }
    static constexpr wl_registry_listener listener{&global, &globalRemove};
};

namespace {

const char* nameOrNull(const QByteArray& displayName) {
    return displayName.isEmpty() ? nullptr : displayName.constData();
}

} // namespace

std::optional<std::vector<WaylandGlobal>> probeWaylandGlobals(const QByteArray& displayName) {
    wl_display* display = wl_display_connect(nameOrNull(displayName));
    if (!display) {
        return std::nullopt;
    }
    std::vector<WaylandGlobal> globals;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &RegistryHandler::listener, &globals);
    const bool answered = wl_display_roundtrip(display) >= 0;
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    if (!answered) {
        return std::nullopt;
    }
    return globals;
}

std::unique_ptr<WaylandConnection> WaylandConnection::open(const QByteArray& displayName) {
    wl_display* display = wl_display_connect(nameOrNull(displayName));
    if (!display) {
        return nullptr;
    }
    std::unique_ptr<WaylandConnection> connection(new WaylandConnection(display));
    if (!connection->roundtrip()) {
        return nullptr;
    }
    return connection;
}

WaylandConnection::WaylandConnection(wl_display* display) : display_(display) {
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &RegistryHandler::listener, &globals_);
    notifier_ = std::make_unique<QSocketNotifier>(wl_display_get_fd(display_), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { readEvents(); });
    // Requests made anywhere during an event-loop pass leave in one write, before the loop sleeps.
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance()) {
        beforeSleep_ = connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] {
            if (alive_) {
                wl_display_dispatch_pending(display_);
                flush();
            }
        });
    }
}

WaylandConnection::~WaylandConnection() {
    disconnect(beforeSleep_);
    notifier_.reset();
    wl_registry_destroy(registry_);
    wl_display_flush(display_);
    wl_display_disconnect(display_);
}

bool WaylandConnection::offers(const char* interface) const {
    return std::any_of(globals_.begin(), globals_.end(),
                       [interface](const WaylandGlobal& g) { return g.interface == interface; });
}

void* WaylandConnection::bind(const wl_interface* interface, std::uint32_t maxVersion, std::uint32_t* boundVersion) {
    for (const WaylandGlobal& global : globals_) {
        if (global.interface == interface->name) {
            const std::uint32_t version =
                std::min({global.version, maxVersion, static_cast<std::uint32_t>(interface->version)});
            if (boundVersion) {
                *boundVersion = version;
            }
            return wl_registry_bind(registry_, global.name, interface, version);
        }
    }
    return nullptr;
}

void* WaylandConnection::bindGlobal(const WaylandGlobal& global, const wl_interface* interface,
                                    std::uint32_t maxVersion) {
    const std::uint32_t version =
        std::min({global.version, maxVersion, static_cast<std::uint32_t>(interface->version)});
    return wl_registry_bind(registry_, global.name, interface, version);
}

bool WaylandConnection::roundtrip() {
    if (!alive_) {
        return false;
    }
    const bool ok = wl_display_roundtrip(display_) >= 0;
    checkError();
    return ok && alive_;
}

void WaylandConnection::flush() {
    if (alive_ && wl_display_flush(display_) < 0 && errno != EAGAIN) {
        checkError();
    }
}

void WaylandConnection::readEvents() {
    if (!alive_) {
        return;
    }
    // Another reader (a roundtrip) may have queued events already: dispatch those before reading more.
    while (wl_display_prepare_read(display_) != 0) {
        wl_display_dispatch_pending(display_);
    }
    if (wl_display_read_events(display_) < 0) {
        checkError();
        return;
    }
    wl_display_dispatch_pending(display_);
    checkError();
}

void WaylandConnection::checkError() {
    const int error = wl_display_get_error(display_);
    if (error == 0 || !alive_) {
        return;
    }
    alive_ = false;
    notifier_->setEnabled(false);
    qCWarning(lcWayland, "the compositor closed Tillory's connection (%s)", std::strerror(error));
    Q_EMIT lost();
}

} // namespace tillory::platform::nix
