#pragma once

#include <QQuickView>
#include <QRegion>
#include <QString>

#include <functional>
#include <memory>

namespace tillory::ui {

/// What an overlay is, for the desktop that hosts it.
struct OverlayRole {
    /// A short name the compositor may show or match rules on ("switcher", "island", ...).
    QString name;
    /// Takes the keyboard while shown (the switcher, the palette, the cleaning lock); others never take it.
    bool takesKeyboard = false;
    /// A panel the user works in and that closes when the focus goes elsewhere; a desktop whose overlays cannot
    /// tell that may show it as an ordinary window instead.
    bool popup = false;
    /// Window flags on desktops where the overlay is a top-level window of its own.
    Qt::WindowFlags windowFlags =
        Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus;
    /// While shown, no key reaches anything else, the desktop's own shortcuts included (the cleaning lock).
    bool locksKeyboard = false;
};

/// One overlay on screen: a Qt Quick view the panel loads its QML into, placed, shown and shaped through this
/// object rather than through the view's window, which on some desktops never reaches the screen itself.
/// Geometry is in Qt's global logical coordinates. Main thread.
class OverlaySurface {
public:
    virtual ~OverlaySurface() = default;

    /// Where the QML goes; its window functions other than those below must not be used.
    virtual QQuickView& view() = 0;
    virtual void setGeometry(const QRect& geometry) = 0;
    virtual void show() = 0;
    virtual void hide() = 0;
    virtual bool isVisible() const = 0;
    /// Above every other window, also those shown after it where the desktop allows.
    virtual void raise() = 0;
    /// Only this region shows and takes the pointer; an empty region: the whole overlay.
    virtual void setMask(const QRegion& region) = 0;
    /// The pointer passes through to what is below.
    virtual void setTransparentForInput(bool transparent) = 0;
    /// Asks for the keyboard focus (an overlay that takes the keyboard has it while shown anyway).
    virtual void requestActivate() = 0;
    /// The desktop's id of the overlay's window; 0 where it has none.
    virtual quintptr windowId() const = 0;
    /// Whether the overlay hears the pointer over its hover area itself (desktops where no program may watch the
    /// pointer anywhere else).
    virtual bool tellsHover() const { return false; }
    /// The part of the overlay (overlay-local) that takes the pointer even while transparent for input; `onHover`
    /// hears the pointer enter (true) and leave (false) it, also as the area moves under a resting pointer. Only
    /// where `tellsHover`.
    virtual void setHoverArea(const QRect& area, std::function<void(bool inside)> onHover) {
        (void)area;
        (void)onHover;
    }
};

/// Makes the overlays of one kind of desktop.
class OverlayBackend {
public:
    virtual ~OverlayBackend() = default;
    virtual std::unique_ptr<OverlaySurface> create(const OverlayRole& role) = 0;
};

/// The backend every later `makeOverlay` uses; null (the default): top-level windows of Qt's own platform.
void setOverlayBackend(OverlayBackend* backend);

std::unique_ptr<OverlaySurface> makeOverlay(const OverlayRole& role);

/// An overlay that is a top-level Qt window: what X11 desktops get.
class WindowOverlaySurface final : public OverlaySurface {
public:
    explicit WindowOverlaySurface(const OverlayRole& role) { view_.setFlags(role.windowFlags); }

    QQuickView& view() override { return view_; }
    void setGeometry(const QRect& geometry) override { view_.setGeometry(geometry); }
    void show() override { view_.show(); }
    void hide() override { view_.hide(); }
    bool isVisible() const override { return view_.isVisible(); }
    void raise() override { view_.raise(); }
    void setMask(const QRegion& region) override { view_.setMask(region); }
    void setTransparentForInput(bool transparent) override {
        view_.setFlag(Qt::WindowTransparentForInput, transparent);
    }
    void requestActivate() override { view_.requestActivate(); }
    quintptr windowId() const override { return view_.winId(); }

private:
    QQuickView view_;
};

} // namespace tillory::ui
