#include "platform/wayland/layer_overlays.h"

#include "platform/wayland/wayland_connection.h"

#include "keyboard-shortcuts-inhibit-unstable-v1-client.h"
#include "wlr-layer-shell-unstable-v1-client.h"
#include "xdg-output-unstable-v1-client.h"

#include <QCoreApplication>
#include <QImage>
#include <QLoggingCategory>
#include <QMouseEvent>
#include <QPointer>
#include <QQuickItem>
#include <QQuickRenderControl>
#include <QQuickRenderTarget>
#include <QResizeEvent>
#include <QTimer>
#include <QWheelEvent>

#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <sys/mman.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcOverlays, "tillory.wayland.overlays", QtInfoMsg)

namespace tillory::platform::nix {

struct LayerOverlays::Xkb {
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    xkb_keymap* keymap = nullptr;
    xkb_state* state = nullptr;

    ~Xkb() {
        reset();
        xkb_context_unref(context);
    }
    void reset() {
        xkb_state_unref(state);
        xkb_keymap_unref(keymap);
        state = nullptr;
        keymap = nullptr;
    }
};

/// One shared-memory picture the compositor shows; busy from attach until released.
struct ShmBuffer {
    wl_buffer* buffer = nullptr;
    void* data = nullptr;
    std::size_t bytes = 0;
    QSize size;
    bool busy = false;

    ~ShmBuffer() {
        if (buffer) {
            wl_buffer_destroy(buffer);
        }
        if (data) {
            munmap(data, bytes);
        }
    }
};

/// One overlay: a Qt Quick view that is never a window of Qt's, rendered into a layer surface while shown.
class LayerOverlaySurface final : public ui::OverlaySurface {
public:
    LayerOverlaySurface(LayerOverlays& overlays, const ui::OverlayRole& role)
        : overlays_(&overlays), role_(role), view_(QUrl(), &control_) {
        QObject::connect(&control_, &QQuickRenderControl::renderRequested, &control_, [this] { requestFrame(); });
        QObject::connect(&control_, &QQuickRenderControl::sceneChanged, &control_, [this] { requestFrame(); });
        // A surface that rests (the collapsed island, most of the time) needs no buffer of its own: the
        // compositor has its picture. Buffers are made again for the next frame.
        idle_.setSingleShot(true);
        idle_.setInterval(1000);
        QObject::connect(&idle_, &QTimer::timeout, &control_, [this] {
            for (auto& b : buffers_) {
                if (b && !b->busy) {
                    b.reset();
                }
            }
        });
    }
    ~LayerOverlaySurface() override {
        onHover_ = nullptr; // whoever listens may be going too
        unmap();
        if (overlays_) {
            overlays_->surfaceGone(this);
        }
    }

    QQuickView& view() override { return view_; }

    void setGeometry(const QRect& geometry) override {
        if (geometry == geometry_) {
            return;
        }
        const bool resized = geometry.size() != geometry_.size();
        geometry_ = geometry;
        view_.setPosition(geometry.topLeft());
        resizeView(geometry.size());
        if (!visible_) {
            return;
        }
        qCDebug(lcOverlays) << role_.name << "moved to" << geometry_;
        const LayerOverlays::Output* output = overlays_ ? overlays_->outputFor(geometry_) : nullptr;
        if (!output || output->wlOutput != outputShown_) {
            unmap(); // a layer surface stays on its output: another output needs a new one
            map();
        } else {
            place(*output);
            if (resized) {
                configured_ = false; // the next picture waits for the compositor's new size
            }
            wl_surface_commit(surface_);
            overlays_->connection().flush();
        }
    }

    void show() override {
        if (visible_) {
            return;
        }
        visible_ = true;
        map();
    }

    void hide() override {
        visible_ = false;
        unmap();
    }

    bool isVisible() const override { return visible_; }
    void raise() override {} // the overlay layer is above every window already
    void setMask(const QRegion& region) override {
        mask_ = region;
        applyInputRegion();
    }
    void setTransparentForInput(bool transparent) override {
        transparentForInput_ = transparent;
        applyInputRegion();
    }
    void requestActivate() override {}
    quintptr windowId() const override { return 0; }
    bool tellsHover() const override { return true; }
    void setHoverArea(const QRect& area, std::function<void(bool)> onHover) override {
        onHover_ = std::move(onHover);
        if (area != hoverArea_) {
            hoverArea_ = area;
            applyInputRegion();
        }
        pointerAt(pointer_); // the area may have moved under a resting pointer
    }

    /// Where the pointer is on this surface (surface-local), or nothing once it left.
    void pointerAt(std::optional<QPointF> local) {
        pointer_ = local;
        const bool inside = local && hoverArea_.contains(local->toPoint());
        if (inside == hoverInside_) {
            return;
        }
        hoverInside_ = inside;
        if (onHover_) {
            const auto onHover = onHover_; // the listener may set a new area, and with it a new listener
            onHover(inside);
        }
    }

    wl_surface* surface() const { return surface_; }
    QPoint origin() const { return geometry_.topLeft(); }
    bool takesKeyboard() const { return role_.takesKeyboard; }
    void detach() {
        unmap();
        overlays_ = nullptr;
    }

    void configured(zwlr_layer_surface_v1* layer, std::uint32_t serial, std::uint32_t width, std::uint32_t height) {
        zwlr_layer_surface_v1_ack_configure(layer, serial);
        configuredSize_ = QSize(int(width), int(height));
        if (configuredSize_.isEmpty()) {
            configuredSize_ = geometry_.size();
        }
        configured_ = true;
        dirty_ = true;
        qCDebug(lcOverlays) << role_.name << "configured" << configuredSize_;
        renderIfDue();
    }

    void closed() {
        // The compositor took the surface away (its output went): show it again where it fits now.
        unmap();
        if (visible_) {
            map();
        }
    }

    void frameDone() {
        framePending_ = false;
        renderIfDue();
    }

    void outputScaleChanged(const void* wlOutput) {
        if (surface_ && wlOutput == outputShown_) {
            dirty_ = true; // drawn again at the new scale
            renderIfDue();
        }
    }

    void bufferReleased(wl_buffer* buffer) {
        for (auto& b : buffers_) {
            if (b && b->buffer == buffer) {
                b->busy = false;
            }
        }
        renderIfDue();
    }

private:
    void map() {
        if (!overlays_ || !visible_ || surface_) {
            return;
        }
        const LayerOverlays::Output* output = overlays_->outputFor(geometry_);
        if (!output) {
            qCDebug(lcOverlays) << role_.name << "placed off every output at" << geometry_;
            return; // placed off every output (a warm-up out of sight): nothing to show
        }
        qCDebug(lcOverlays) << role_.name << "shown at" << geometry_;
        outputShown_ = output->wlOutput;
        surface_ = wl_compositor_create_surface(overlays_->compositor());
        wl_surface_set_user_data(surface_, this);
        layer_ = zwlr_layer_shell_v1_get_layer_surface(
            overlays_->layerShell(), surface_, static_cast<wl_output*>(output->wlOutput),
            ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, QByteArray("tillory-" + role_.name.toUtf8()).constData());
        static constexpr zwlr_layer_surface_v1_listener kListener{
            [](void* data, zwlr_layer_surface_v1* layer, std::uint32_t serial, std::uint32_t w, std::uint32_t h) {
                static_cast<LayerOverlaySurface*>(data)->configured(layer, serial, w, h);
            },
            [](void* data, zwlr_layer_surface_v1*) { static_cast<LayerOverlaySurface*>(data)->closed(); }};
        zwlr_layer_surface_v1_add_listener(layer_, &kListener, this);
        // Placed against the output's own edges, not inside what panels reserve: geometry is global already.
        zwlr_layer_surface_v1_set_exclusive_zone(layer_, -1);
        zwlr_layer_surface_v1_set_keyboard_interactivity(
            layer_, role_.takesKeyboard ? ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE
                                        : ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
        place(*output);
        applyInputRegion();
        // The compositor's own shortcuts stay quiet while the surface has the keyboard.
        if (role_.locksKeyboard && overlays_->shortcutsInhibitor() && overlays_->seat()) {
            inhibitor_ = zwp_keyboard_shortcuts_inhibit_manager_v1_inhibit_shortcuts(overlays_->shortcutsInhibitor(),
                                                                                     surface_, overlays_->seat());
        }
        configured_ = false;
        wl_surface_commit(surface_);
        overlays_->connection().flush();
    }

    void unmap() {
        if (inhibitor_) {
            zwp_keyboard_shortcuts_inhibitor_v1_destroy(inhibitor_);
            inhibitor_ = nullptr;
        }
        if (layer_) {
            zwlr_layer_surface_v1_destroy(layer_);
            layer_ = nullptr;
        }
        if (frame_) {
            wl_callback_destroy(frame_);
            frame_ = nullptr;
        }
        if (surface_) {
            wl_surface_destroy(surface_);
            surface_ = nullptr;
        }
        buffers_[0].reset();
        buffers_[1].reset();
        pictured_ = false;
        pointerAt(std::nullopt); // the compositor's leave may name a surface already gone
        framePending_ = false;
        configured_ = false;
        outputShown_ = nullptr;
        if (overlays_) {
            overlays_->connection().flush();
        }
    }

    void place(const LayerOverlays::Output& output) {
        zwlr_layer_surface_v1_set_anchor(layer_, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT);
        zwlr_layer_surface_v1_set_margin(layer_, geometry_.y() - output.geometry.y(), 0, 0,
                                         geometry_.x() - output.geometry.x());
        zwlr_layer_surface_v1_set_size(layer_, std::uint32_t(std::max(1, geometry_.width())),
                                       std::uint32_t(std::max(1, geometry_.height())));
    }

    void applyInputRegion() {
        if (!surface_ || !overlays_) {
            return;
        }
        wl_region* region = wl_compositor_create_region(overlays_->compositor());
        if (!hoverArea_.isEmpty()) {
            wl_region_add(region, hoverArea_.x(), hoverArea_.y(), hoverArea_.width(), hoverArea_.height());
        }
        if (!transparentForInput_) {
            if (mask_.isEmpty()) {
                wl_region_add(region, 0, 0, std::max(1, geometry_.width()), std::max(1, geometry_.height()));
            } else {
                for (const QRect& r : mask_) {
                    wl_region_add(region, r.x(), r.y(), r.width(), r.height());
                }
            }
        }
        wl_surface_set_input_region(surface_, region);
        wl_region_destroy(region);
        wl_surface_commit(surface_);
        overlays_->connection().flush();
    }

    void resizeView(const QSize& size) {
        if (view_.size() == size && view_.contentItem()->size() == QSizeF(size)) {
            return;
        }
        // A window Qt never made hears of no resize by itself: the view sizes its root item on the event.
        const QSize old = view_.size();
        view_.resize(size);
        QResizeEvent resized(size, old);
        QCoreApplication::sendEvent(&view_, &resized);
    }

    void requestFrame() {
        dirty_ = true;
        // After the current event: several changes in one pass make one picture.
        if (!scheduled_) {
            scheduled_ = true;
            QMetaObject::invokeMethod(
                &control_,
                [this] {
                    scheduled_ = false;
                    renderIfDue();
                },
                Qt::QueuedConnection);
        }
    }

    ShmBuffer* freeBuffer(const QSize& size) {
        for (auto& b : buffers_) {
            if (b && !b->busy && b->size == size) {
                return b.get();
            }
        }
        for (auto& b : buffers_) {
            if (!b || (!b->busy && b->size != size)) {
                b = makeBuffer(size);
                return b.get();
            }
        }
        return nullptr; // both on screen: the release brings the next picture
    }

    std::unique_ptr<ShmBuffer> makeBuffer(const QSize& size) {
        auto b = std::make_unique<ShmBuffer>();
        b->size = size;
        const int stride = size.width() * 4;
        b->bytes = std::size_t(stride) * std::size_t(size.height());
        const int fd = memfd_create("tillory-overlay", MFD_CLOEXEC);
        if (fd < 0 || ftruncate(fd, off_t(b->bytes)) != 0) {
            if (fd >= 0) {
                ::close(fd);
            }
            return nullptr;
        }
        b->data = mmap(nullptr, b->bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (b->data == MAP_FAILED) {
            b->data = nullptr;
            ::close(fd);
            return nullptr;
        }
        wl_shm_pool* pool = wl_shm_create_pool(overlays_->shm(), fd, int(b->bytes));
        b->buffer = wl_shm_pool_create_buffer(pool, 0, size.width(), size.height(), stride, WL_SHM_FORMAT_ARGB8888);
        wl_shm_pool_destroy(pool);
        ::close(fd);
        static constexpr wl_buffer_listener kListener{
            [](void* data, wl_buffer* buffer) { static_cast<LayerOverlaySurface*>(data)->bufferReleased(buffer); }};
        wl_buffer_add_listener(b->buffer, &kListener, this);
        return b;
    }

    void renderIfDue() {
        if (!dirty_ || !configured_ || framePending_ || !surface_ || !overlays_) {
            return;
        }
        // Drawn at the output's own pixel density; the compositor is told how many buffer pixels make a point.
        const int scale = overlays_->scaleOf(outputShown_);
        const QSize size = configuredSize_ * scale;
        ShmBuffer* target = freeBuffer(size);
        if (!target) {
            return;
        }
        dirty_ = false;
        if (image_.size() != size || renderedScale_ != scale) {
            // Kept from frame to frame: the software renderer repaints only what changed.
            image_ = QImage(size, QImage::Format_ARGB32_Premultiplied);
            image_.setDevicePixelRatio(scale);
            image_.fill(Qt::transparent);
            QQuickRenderTarget renderTarget = QQuickRenderTarget::fromPaintDevice(&image_);
            renderTarget.setDevicePixelRatio(scale);
            view_.setRenderTarget(renderTarget);
            renderedScale_ = scale;
        }
        resizeView(configuredSize_);
        control_.polishItems();
        control_.sync();
        control_.render();
        // ARGB32 premultiplied is the compositor's ARGB8888 on little-endian machines, row for row.
        std::memcpy(target->data, image_.constBits(), std::min<std::size_t>(target->bytes, image_.sizeInBytes()));
        target->busy = true;
        wl_surface_set_buffer_scale(surface_, scale);
        wl_surface_attach(surface_, target->buffer, 0, 0);
        wl_surface_damage_buffer(surface_, 0, 0, size.width(), size.height());
        frame_ = wl_surface_frame(surface_);
        static constexpr wl_callback_listener kFrame{[](void* data, wl_callback* callback, std::uint32_t) {
            auto* self = static_cast<LayerOverlaySurface*>(data);
            wl_callback_destroy(callback);
            self->frame_ = nullptr;
            self->frameDone();
        }};
        wl_callback_add_listener(frame_, &kFrame, this);
        framePending_ = true;
        idle_.start();
        wl_surface_commit(surface_);
        overlays_->connection().flush();
        if (!pictured_) {
            pictured_ = true;
            qCDebug(lcOverlays) << role_.name << "first picture sent";
        }
        Q_EMIT view_.frameSwapped(); // what views wait for to know a picture reached the screen
    }

    LayerOverlays* overlays_;
    ui::OverlayRole role_;
    QQuickRenderControl control_;
    QQuickView view_; // after the render control it draws through
    QImage image_;
    int renderedScale_ = 1;
    bool pictured_ = false; // since it was last mapped
    QRect geometry_;
    QRegion mask_;
    bool transparentForInput_ = false;
    QRect hoverArea_;
    std::function<void(bool)> onHover_;
    bool hoverInside_ = false;
    std::optional<QPointF> pointer_;
    bool visible_ = false;
    wl_surface* surface_ = nullptr;
    zwlr_layer_surface_v1* layer_ = nullptr;
    wl_callback* frame_ = nullptr;
    zwp_keyboard_shortcuts_inhibitor_v1* inhibitor_ = nullptr;
    void* outputShown_ = nullptr;
    QSize configuredSize_;
    bool configured_ = false;
    bool framePending_ = false;
    bool dirty_ = true;
    bool scheduled_ = false;
    std::unique_ptr<ShmBuffer> buffers_[2];
    QTimer idle_;
};

namespace {

LayerOverlays* self(void* data) {
    return static_cast<LayerOverlays*>(data);
}

constexpr wl_seat_listener kSeatListener{
    [](void* data, wl_seat*, std::uint32_t capabilities) { self(data)->seatCapabilities(capabilities); },
    [](void*, wl_seat*, const char*) {}};

constexpr wl_pointer_listener kPointerListener{
    [](void* data, wl_pointer*, std::uint32_t, wl_surface* surface, wl_fixed_t x, wl_fixed_t y) {
        self(data)->pointerEnter(surface, wl_fixed_to_double(x), wl_fixed_to_double(y));
    },
    [](void* data, wl_pointer*, std::uint32_t, wl_surface*) { self(data)->pointerLeave(); },
    [](void* data, wl_pointer*, std::uint32_t, wl_fixed_t x, wl_fixed_t y) {
        self(data)->pointerMotion(wl_fixed_to_double(x), wl_fixed_to_double(y));
    },
    [](void* data, wl_pointer*, std::uint32_t, std::uint32_t, std::uint32_t button, std::uint32_t state) {
        self(data)->pointerButton(button, state == WL_POINTER_BUTTON_STATE_PRESSED);
    },
    [](void* data, wl_pointer*, std::uint32_t, std::uint32_t axis, wl_fixed_t value) {
        self(data)->pointerAxis(axis, wl_fixed_to_double(value));
    },
    [](void*, wl_pointer*) {},
    [](void*, wl_pointer*, std::uint32_t) {},
    [](void*, wl_pointer*, std::uint32_t, std::uint32_t) {},
    [](void*, wl_pointer*, std::uint32_t, std::int32_t) {},
    [](void*, wl_pointer*, std::uint32_t, std::int32_t) {}};

constexpr wl_keyboard_listener kKeyboardListener{
    [](void* data, wl_keyboard*, std::uint32_t format, std::int32_t fd, std::uint32_t size) {
        if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1) {
            self(data)->keymap(fd, size);
        }
        ::close(fd);
    },
    [](void*, wl_keyboard*, std::uint32_t, wl_surface*, wl_array*) {
        qCDebug(lcOverlays, "an overlay has the keyboard");
    },
    [](void*, wl_keyboard*, std::uint32_t, wl_surface*) {},
    [](void* data, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t key, std::uint32_t state) {
        self(data)->key(key, state == WL_KEYBOARD_KEY_STATE_PRESSED);
    },
    [](void* data, wl_keyboard*, std::uint32_t, std::uint32_t depressed, std::uint32_t latched, std::uint32_t locked,
       std::uint32_t group) { self(data)->modifiers(depressed, latched, locked, group); },
    [](void*, wl_keyboard*, std::int32_t, std::int32_t) {}};

constexpr zxdg_output_v1_listener kXdgOutputListener{
    [](void* data, zxdg_output_v1*, std::int32_t x, std::int32_t y) {
        auto* output = static_cast<LayerOverlays::Output*>(data);
        output->geometry.moveTo(x, y);
    },
    [](void* data, zxdg_output_v1*, std::int32_t width, std::int32_t height) {
        auto* output = static_cast<LayerOverlays::Output*>(data);
        output->geometry.setSize(QSize(width, height));
    },
    [](void*, zxdg_output_v1*) {}, [](void*, zxdg_output_v1*, const char*) {},
    [](void*, zxdg_output_v1*, const char*) {}};

// Only the scale matters here; the place and size come from the xdg output.
constexpr wl_output_listener kOutputListener{
    .geometry = [](void*, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                   const char*, const char*, std::int32_t) {},
    .mode = [](void*, wl_output*, std::uint32_t, std::int32_t, std::int32_t, std::int32_t) {},
    .done =
        [](void* data, wl_output*) {
            auto* output = static_cast<LayerOverlays::Output*>(data);
            output->owner->outputDone(*output);
        },
    .scale =
        [](void* data, wl_output*, std::int32_t factor) {
            // A compositor's nonsense must not make buffers of absurd sizes.
            static_cast<LayerOverlays::Output*>(data)->pendingScale = std::clamp(factor, 1, 8);
        },
    .name = nullptr,
    .description = nullptr};

} // namespace

std::unique_ptr<LayerOverlays> LayerOverlays::create(WaylandConnection& connection) {
    if (!connection.offers("zwlr_layer_shell_v1") || !connection.offers("wl_shm") ||
        !connection.offers("wl_compositor")) {
        return nullptr;
    }
    std::unique_ptr<LayerOverlays> overlays(new LayerOverlays(connection));
    return overlays;
}

LayerOverlays::LayerOverlays(WaylandConnection& connection) : connection_(connection), xkb_(std::make_unique<Xkb>()) {
    compositor_ = static_cast<wl_compositor*>(connection.bind(&wl_compositor_interface, 4));
    shm_ = static_cast<wl_shm*>(connection.bind(&wl_shm_interface, 1));
    layerShell_ = static_cast<zwlr_layer_shell_v1*>(connection.bind(&zwlr_layer_shell_v1_interface, 4));
    outputManager_ = static_cast<zxdg_output_manager_v1*>(connection.bind(&zxdg_output_manager_v1_interface, 2));
    inhibitManager_ = static_cast<zwp_keyboard_shortcuts_inhibit_manager_v1*>(
        connection.bind(&zwp_keyboard_shortcuts_inhibit_manager_v1_interface, 1));
    seat_ = static_cast<wl_seat*>(connection.bind(&wl_seat_interface, 5));
    if (seat_) {
        wl_seat_add_listener(seat_, &kSeatListener, this);
    }
    // Every output with its logical place; the first answer comes with the round trip below.
    // Reserved: the listeners keep each output's address.
    outputs_.reserve(16);
    for (const WaylandGlobal& global : connection.globals()) {
        if (global.interface != "wl_output" || outputs_.size() == outputs_.capacity()) {
            continue;
        }
        Output output;
        output.name = global.name;
        output.wlOutput = connection.bindGlobal(global, &wl_output_interface, 2);
        output.owner = this;
        outputs_.push_back(output);
    }
    for (Output& output : outputs_) {
        if (output.wlOutput) {
            wl_output_add_listener(static_cast<wl_output*>(output.wlOutput), &kOutputListener, &output);
        }
        if (outputManager_) {
            output.xdgOutput =
                zxdg_output_manager_v1_get_xdg_output(outputManager_, static_cast<wl_output*>(output.wlOutput));
            zxdg_output_v1_add_listener(static_cast<zxdg_output_v1*>(output.xdgOutput), &kXdgOutputListener, &output);
        }
    }
    connection.roundtrip();
}

LayerOverlays::~LayerOverlays() {
    for (LayerOverlaySurface* surface : surfaces_) {
        surface->detach();
    }
    if (pointer_) {
        wl_pointer_destroy(pointer_);
    }
    if (keyboard_) {
        wl_keyboard_destroy(keyboard_);
    }
    for (Output& output : outputs_) {
        if (output.xdgOutput) {
            zxdg_output_v1_destroy(static_cast<zxdg_output_v1*>(output.xdgOutput));
        }
        if (output.wlOutput) {
            wl_proxy_destroy(static_cast<wl_proxy*>(output.wlOutput));
        }
    }
    if (seat_) {
        wl_seat_destroy(seat_);
    }
    if (outputManager_) {
        zxdg_output_manager_v1_destroy(outputManager_);
    }
    if (inhibitManager_) {
        zwp_keyboard_shortcuts_inhibit_manager_v1_destroy(inhibitManager_);
    }
    if (layerShell_) {
        zwlr_layer_shell_v1_destroy(layerShell_);
    }
    if (shm_) {
        wl_shm_destroy(shm_);
    }
    if (compositor_) {
        wl_compositor_destroy(compositor_);
    }
    connection_.flush();
}

std::unique_ptr<ui::OverlaySurface> LayerOverlays::create(const ui::OverlayRole& role) {
    if (role.popup) {
        return nullptr; // a layer surface is never told the focus went elsewhere: an ordinary window it is
    }
    auto surface = std::make_unique<LayerOverlaySurface>(*this, role);
    surfaces_.push_back(surface.get());
    return surface;
}

bool LayerOverlays::keyboardOverlayShown() const {
    return std::any_of(surfaces_.begin(), surfaces_.end(),
                       [](const LayerOverlaySurface* s) { return s->takesKeyboard() && s->surface(); });
}

const LayerOverlays::Output* LayerOverlays::outputFor(const QRect& geometry) const {
    const QPoint centre = geometry.center();
    for (const Output& output : outputs_) {
        if (!output.geometry.isEmpty() && output.geometry.contains(centre)) {
            return &output;
        }
    }
    return nullptr;
}

int LayerOverlays::scaleOf(const void* wlOutput) const {
    for (const Output& output : outputs_) {
        if (output.wlOutput == wlOutput) {
            return output.scale;
        }
    }
    return 1;
}

void LayerOverlays::outputDone(Output& output) {
    if (output.pendingScale == output.scale) {
        return;
    }
    output.scale = output.pendingScale;
    for (LayerOverlaySurface* surface : surfaces_) {
        surface->outputScaleChanged(output.wlOutput);
    }
}

void LayerOverlays::surfaceGone(LayerOverlaySurface* surface) {
    surfaces_.erase(std::remove(surfaces_.begin(), surfaces_.end(), surface), surfaces_.end());
    if (hovered_ == surface) {
        hovered_ = nullptr;
    }
}

void LayerOverlays::seatCapabilities(std::uint32_t capabilities) {
    // A seat may gain and lose its pointer and keyboard at any time (a headless seat has none until a virtual
    // device exists); asking for one it lacks ends the connection.
    const bool hasPointer = capabilities & WL_SEAT_CAPABILITY_POINTER;
    if (hasPointer && !pointer_) {
        pointer_ = wl_seat_get_pointer(seat_);
        wl_pointer_add_listener(pointer_, &kPointerListener, this);
    } else if (!hasPointer && pointer_) {
        wl_pointer_destroy(pointer_);
        pointer_ = nullptr;
        hovered_ = nullptr;
    }
    const bool hasKeyboard = capabilities & WL_SEAT_CAPABILITY_KEYBOARD;
    if (hasKeyboard && !keyboard_) {
        keyboard_ = wl_seat_get_keyboard(seat_);
        wl_keyboard_add_listener(keyboard_, &kKeyboardListener, this);
    } else if (!hasKeyboard && keyboard_) {
        wl_keyboard_destroy(keyboard_);
        keyboard_ = nullptr;
    }
}

void LayerOverlays::pointerEnter(wl_surface* surface, double x, double y) {
    if (hovered_) {
        hovered_->pointerAt(std::nullopt);
    }
    hovered_ = nullptr;
    for (LayerOverlaySurface* s : surfaces_) {
        if (s->surface() == surface) {
            hovered_ = s;
        }
    }
    pointerMotion(x, y);
}

void LayerOverlays::pointerLeave() {
    if (hovered_) {
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(&hovered_->view(), &leave);
        if (hovered_) {
            hovered_->pointerAt(std::nullopt);
        }
    }
    hovered_ = nullptr;
    buttons_ = Qt::NoButton;
}

void LayerOverlays::pointerMotion(double x, double y) {
    pointerLocal_ = QPointF(x, y);
    if (!hovered_) {
        return;
    }
    const QPointF global = pointerLocal_ + hovered_->origin();
    if (pointerListener_) {
        pointerListener_(global);
    }
    hovered_->pointerAt(pointerLocal_);
    if (!hovered_) {
        return; // what hovering opened or closed took the surface away
    }
    QMouseEvent move(QEvent::MouseMove, pointerLocal_, pointerLocal_, global, Qt::NoButton, buttons_, qtModifiers());
    QCoreApplication::sendEvent(&hovered_->view(), &move);
}

void LayerOverlays::pointerButton(std::uint32_t button, bool pressed) {
    if (!hovered_) {
        return;
    }
    // Linux input codes: BTN_LEFT, BTN_RIGHT, BTN_MIDDLE.
    const Qt::MouseButton qtButton = button == 0x110   ? Qt::LeftButton
                                     : button == 0x111 ? Qt::RightButton
                                     : button == 0x112 ? Qt::MiddleButton
                                                       : Qt::NoButton;
    if (qtButton == Qt::NoButton) {
        return;
    }
    buttons_.setFlag(qtButton, pressed);
    const QPointF global = pointerLocal_ + hovered_->origin();
    QMouseEvent event(pressed ? QEvent::MouseButtonPress : QEvent::MouseButtonRelease, pointerLocal_, pointerLocal_,
                      global, qtButton, buttons_, qtModifiers());
    QPointer<QQuickView> view(&hovered_->view());
    QCoreApplication::sendEvent(view, &event);
}

void LayerOverlays::pointerAxis(std::uint32_t axis, double value) {
    if (!hovered_) {
        return;
    }
    // About ten units per wheel notch; Qt counts 120 per notch, upwards positive.
    const int delta = int(-value * 12);
    const QPoint angle = axis == WL_POINTER_AXIS_VERTICAL_SCROLL ? QPoint(0, delta) : QPoint(delta, 0);
    QWheelEvent wheel(pointerLocal_, pointerLocal_ + hovered_->origin(), QPoint(), angle, buttons_, qtModifiers(),
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&hovered_->view(), &wheel);
}

void LayerOverlays::keymap(int fd, std::uint32_t size) {
    void* map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (map == MAP_FAILED) {
        return;
    }
    xkb_->reset();
    xkb_->keymap = xkb_keymap_new_from_buffer(xkb_->context, static_cast<const char*>(map),
                                              strnlen(static_cast<const char*>(map), size), XKB_KEYMAP_FORMAT_TEXT_V1,
                                              XKB_KEYMAP_COMPILE_NO_FLAGS);
    munmap(map, size);
    if (xkb_->keymap) {
        xkb_->state = xkb_state_new(xkb_->keymap);
    } else {
        qCWarning(lcOverlays, "the seat's keymap could not be read");
    }
}

void LayerOverlays::key(std::uint32_t key, bool pressed) {
    if (!xkb_->state || !keyListener_) {
        return;
    }
    // Evdev codes are 8 below the keymap's.
    const xkb_keysym_t keysym = xkb_state_key_get_one_sym(xkb_->state, key + 8);
    keyListener_(OverlayKey{key, keysym, pressed, qtModifiers()});
}

void LayerOverlays::modifiers(std::uint32_t depressed, std::uint32_t latched, std::uint32_t locked,
                              std::uint32_t group) {
    if (xkb_->state) {
        xkb_state_update_mask(xkb_->state, depressed, latched, locked, 0, 0, group);
        if (modifiersListener_) {
            modifiersListener_(qtModifiers());
        }
    }
}

Qt::KeyboardModifiers LayerOverlays::qtModifiers() const {
    Qt::KeyboardModifiers result;
    if (!xkb_->state) {
        return result;
    }
    const auto active = [this](const char* name) {
        return xkb_state_mod_name_is_active(xkb_->state, name, XKB_STATE_MODS_EFFECTIVE) > 0;
    };
    result.setFlag(Qt::ShiftModifier, active(XKB_MOD_NAME_SHIFT));
    result.setFlag(Qt::ControlModifier, active(XKB_MOD_NAME_CTRL));
    result.setFlag(Qt::AltModifier, active(XKB_MOD_NAME_ALT));
    result.setFlag(Qt::MetaModifier, active(XKB_MOD_NAME_LOGO));
    return result;
}

} // namespace tillory::platform::nix
