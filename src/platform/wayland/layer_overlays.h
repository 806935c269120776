#pragma once

#include "ui/view/overlay_surface.h"

#include <QObject>
#include <QPointF>
#include <QRect>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct wl_compositor;
struct wl_shm;
struct wl_seat;
struct wl_pointer;
struct wl_keyboard;
struct wl_surface;
struct zwlr_layer_shell_v1;
struct zxdg_output_manager_v1;
struct zwp_keyboard_shortcuts_inhibit_manager_v1;

namespace tillory::platform::nix {

class WaylandConnection;
class LayerOverlaySurface;

/// A key that reached an overlay holding the keyboard, as the seat's keymap reads it.
struct OverlayKey {
    std::uint32_t evdevCode = 0;
    std::uint32_t keysym = 0;
    bool pressed = false;
    /// Qt's modifiers after the key (a released modifier is no longer among them).
    Qt::KeyboardModifiers modifiers;
};

/// The overlays of a Wayland desktop: layer-shell surfaces on Tillory's own connection, above every window and
/// full-screen one, each showing its Qt Quick view rendered by the software scene graph into shared memory at the
/// compositor's frame pace. Pointer input in an overlay's mask goes to its view; clicks elsewhere reach the
/// windows below. Overlays that take the keyboard hold it exclusively while shown, and their keys go to the key
/// listener (the key hub's taps), not to the view. Main thread.
class LayerOverlays final : public QObject, public ui::OverlayBackend {
    Q_OBJECT
public:
    /// Nothing when the compositor lacks the layer shell, shared memory or a compositor global.
    static std::unique_ptr<LayerOverlays> create(WaylandConnection& connection);
    ~LayerOverlays() override;

    std::unique_ptr<ui::OverlaySurface> create(const ui::OverlayRole& role) override;
    /// Whether an overlay that takes the keyboard (the switcher, the palette, the lock) is on screen now.
    bool keyboardOverlayShown() const;

    void setKeyListener(std::function<void(const OverlayKey&)> listener) { keyListener_ = std::move(listener); }
    /// Called with the modifiers held whenever they change while an overlay holds the keyboard, also as it gets it.
    void setModifiersListener(std::function<void(Qt::KeyboardModifiers)> listener) {
        modifiersListener_ = std::move(listener);
    }
    /// Called with the seat's keymap (xkb text) whenever the compositor sends one.
    void setKeymapListener(std::function<void(const QByteArray&)> listener) { keymapListener_ = std::move(listener); }
    /// Called with the pointer's global position whenever it moves over an overlay.
    void setPointerListener(std::function<void(const QPointF&)> listener) { pointerListener_ = std::move(listener); }

    /// An output in Qt's global logical coordinates.
    struct Output {
        void* wlOutput = nullptr;
        void* xdgOutput = nullptr;
        QRect geometry;
        std::uint32_t name = 0;
        /// Buffer pixels per logical pixel, as the compositor asks for this output.
        int scale = 1;
        int pendingScale = 1;
        LayerOverlays* owner = nullptr;
    };

    // For the surfaces and the protocol glue.
    WaylandConnection& connection() { return connection_; }
    wl_compositor* compositor() const { return compositor_; }
    wl_shm* shm() const { return shm_; }
    zwlr_layer_shell_v1* layerShell() const { return layerShell_; }
    zwp_keyboard_shortcuts_inhibit_manager_v1* shortcutsInhibitor() const { return inhibitManager_; }
    wl_seat* seat() const { return seat_; }
    const Output* outputFor(const QRect& geometry) const;
    /// The scale of the output `wlOutput`; 1 when unknown.
    int scaleOf(const void* wlOutput) const;
    void outputDone(Output& output);
    void surfaceGone(LayerOverlaySurface* surface);
    void seatCapabilities(std::uint32_t capabilities);
    void pointerEnter(wl_surface* surface, double x, double y);
    void pointerLeave();
    void pointerMotion(double x, double y);
    void pointerButton(std::uint32_t button, bool pressed);
    void pointerAxis(std::uint32_t axis, double value);
    void keymap(int fd, std::uint32_t size);
    void key(std::uint32_t key, bool pressed);
    void modifiers(std::uint32_t depressed, std::uint32_t latched, std::uint32_t locked, std::uint32_t group);
    std::vector<Output> outputs_;

private:
    explicit LayerOverlays(WaylandConnection& connection);
    Qt::KeyboardModifiers qtModifiers() const;

    WaylandConnection& connection_;
    wl_compositor* compositor_ = nullptr;
    wl_shm* shm_ = nullptr;
    zwlr_layer_shell_v1* layerShell_ = nullptr;
    zxdg_output_manager_v1* outputManager_ = nullptr;
    zwp_keyboard_shortcuts_inhibit_manager_v1* inhibitManager_ = nullptr;
    wl_seat* seat_ = nullptr;
    wl_pointer* pointer_ = nullptr;
    wl_keyboard* keyboard_ = nullptr;
    std::vector<LayerOverlaySurface*> surfaces_;
    LayerOverlaySurface* hovered_ = nullptr;
    QPointF pointerLocal_;
    Qt::MouseButtons buttons_;
    struct Xkb;
    std::unique_ptr<Xkb> xkb_;
    std::function<void(const OverlayKey&)> keyListener_;
    std::function<void(const QPointF&)> pointerListener_;
    std::function<void(Qt::KeyboardModifiers)> modifiersListener_;
    std::function<void(const QByteArray&)> keymapListener_;
};

} // namespace tillory::platform::nix
