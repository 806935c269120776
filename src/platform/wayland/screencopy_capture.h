#pragma once

#include "platform/api/subscription.h"
#include "platform/api/window_capture.h"
#include "platform/api/window_list.h"

#include <QImage>
#include <QObject>
#include <QRect>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

struct zwlr_screencopy_manager_v1;
struct wl_shm;

namespace tillory::platform::nix {

class LayerOverlays;
class WaylandConnection;

/// Window pictures on a wlroots compositor: no protocol there hands out one window's pixels, so each output that
/// shows a requested window is copied once (the screencopy protocol) and the window's rectangle cut out of it.
/// Windows not on screen (another workspace, covered by a full-screen one) cannot be drawn and are answered with
/// nothing, so the caller keeps the picture it had. Copies are made on the main thread as the compositor answers;
/// cutting and scaling run on a worker. Main thread.
class ScreencopyCapture final : public QObject, public WindowCapture, public ScreenCapture {
    Q_OBJECT
public:
    /// Nothing without the screencopy protocol or shared memory. `windows` tells where each window is;
    /// `outputs` where each output is.
    static std::unique_ptr<ScreencopyCapture> create(WaylandConnection& connection, WindowList& windows,
                                                     LayerOverlays& outputs);
    ~ScreencopyCapture() override;

    bool capture(std::vector<CaptureRequest> requests, Delivery deliver) override;

    bool hasAccess() const override { return true; }
    bool requestAccess() override { return true; }

    /// Cuts `window` (global logical coordinates) out of the picture of the output at `output` and scales it to
    /// fit `box` keeping its shape. Nothing when the window is not on that output.
    static std::optional<Bitmap> cut(const QImage& outputImage, const QRect& output, const QRectF& window, QSize box);

    class Frame;
    void frameDone(Frame* frame, QImage image);

private:
    ScreencopyCapture(WaylandConnection& connection, zwlr_screencopy_manager_v1* manager, wl_shm* shm,
                      WindowList& windows, LayerOverlays& outputs);

    struct Job {
        std::vector<CaptureRequest> requests;
        std::vector<WindowInfo> windows;
        Delivery deliver;
        std::vector<std::pair<QRect, QImage>> pictures;
        /// Where the windows were when `pictures` were taken, for pictures older than the job: a window that was
        /// not on screen then, or stood elsewhere, gets nothing rather than what was there.
        std::optional<std::vector<WindowInfo>> takenWith;
    };
    void finish(const std::shared_ptr<Job>& job);
    void copyOutputs(std::function<void(std::vector<std::pair<QRect, QImage>>)> done);
    void refreshClean();
    static constexpr int kKeptWidth = 960;
    static std::vector<std::pair<QRect, QImage>> kept(const std::vector<std::pair<QRect, QImage>>& pictures);

    /// The outputs as last copied while no overlay of ours covered them: what a capture taken while the switcher
    /// shows is cut from, rather than from pictures with the switcher in them.
    std::vector<std::pair<QRect, QImage>> clean_;
    std::vector<WindowInfo> cleanWindows_;
    SubscriptionPtr focusChanges_;
    QTimer* refresh_ = nullptr;
    WaylandConnection& connection_;
    zwlr_screencopy_manager_v1* manager_;
    wl_shm* shm_;
    WindowList& windows_;
    LayerOverlays& outputs_;
    std::vector<std::unique_ptr<Frame>> frames_;
};

} // namespace tillory::platform::nix
