#include "platform/wayland/screencopy_capture.h"

#include "platform/wayland/layer_overlays.h"
#include "platform/wayland/wayland_connection.h"

#include "wlr-screencopy-unstable-v1-client.h"

#include <QLoggingCategory>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>

#include <wayland-client.h>

#include <cstring>
#include <map>
#include <sys/mman.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcScreencopy, "tillory.wayland.capture", QtInfoMsg)

namespace tillory::platform::nix {
namespace {

// The shared-memory formats outputs come in, as Qt reads them (little-endian machines).
std::optional<QImage::Format> imageFormat(std::uint32_t format) {
    switch (format) {
    case WL_SHM_FORMAT_XRGB8888:
        return QImage::Format_RGB32;
    case WL_SHM_FORMAT_ARGB8888:
        return QImage::Format_ARGB32;
    case WL_SHM_FORMAT_XBGR8888:
        return QImage::Format_RGBX8888;
    case WL_SHM_FORMAT_ABGR8888:
        return QImage::Format_RGBA8888;
    default:
        return std::nullopt;
    }
}

} // namespace

/// One copy of one output, from the compositor's offer of a buffer to the finished picture.
class ScreencopyCapture::Frame {
public:
    Frame(ScreencopyCapture& owner, zwlr_screencopy_frame_v1* frame, wl_shm* shm, std::uint32_t version,
          std::function<void(QImage)> done)
        : owner_(owner), frame_(frame), shm_(shm), version_(version), done_(std::move(done)) {
        static constexpr zwlr_screencopy_frame_v1_listener kListener{
            [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t format, std::uint32_t width, std::uint32_t height,
               std::uint32_t stride) { static_cast<Frame*>(data)->offered(format, width, height, stride); },
            [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t flags) {
                static_cast<Frame*>(data)->yInverted_ = flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT;
            },
            [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t) {
                static_cast<Frame*>(data)->ready();
            },
            [](void* data, zwlr_screencopy_frame_v1*) { static_cast<Frame*>(data)->end(QImage()); },
            [](void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {},
            [](void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t) {},
            [](void* data, zwlr_screencopy_frame_v1*) { static_cast<Frame*>(data)->copy(); }};
        zwlr_screencopy_frame_v1_add_listener(frame_, &kListener, this);
    }

    ~Frame() {
        zwlr_screencopy_frame_v1_destroy(frame_);
        if (buffer_) {
            wl_buffer_destroy(buffer_);
        }
        if (data_) {
            munmap(data_, bytes_);
        }
    }

private:
    void offered(std::uint32_t format, std::uint32_t width, std::uint32_t height, std::uint32_t stride) {
        // Several formats may be offered: the first one Qt reads is taken.
        if (format_ || !imageFormat(format) || width == 0 || height == 0 || stride < width * 4 ||
            std::uint64_t(stride) * height > (std::uint64_t(1) << 30)) {
            return;
        }
        format_ = format;
        size_ = QSize(int(width), int(height));
        stride_ = int(stride);
        if (version_ < 3) {
            copy(); // no end of the offers is announced before version 3
        }
    }

    void copy() {
        if (!format_ || buffer_) {
            if (!format_) {
                end(QImage());
            }
            return;
        }
        bytes_ = std::size_t(stride_) * std::size_t(size_.height());
        const int fd = memfd_create("tillory-capture", MFD_CLOEXEC);
        if (fd < 0 || ftruncate(fd, off_t(bytes_)) != 0) {
            if (fd >= 0) {
                ::close(fd);
            }
            end(QImage());
            return;
        }
        data_ = mmap(nullptr, bytes_, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (data_ == MAP_FAILED) {
            data_ = nullptr;
            ::close(fd);
            end(QImage());
            return;
        }
        wl_shm_pool* pool = wl_shm_create_pool(shm_, fd, int(bytes_));
        buffer_ = wl_shm_pool_create_buffer(pool, 0, size_.width(), size_.height(), stride_, *format_);
        wl_shm_pool_destroy(pool);
        ::close(fd);
        zwlr_screencopy_frame_v1_copy(frame_, buffer_);
    }

    void ready() {
        const QImage view(static_cast<const uchar*>(data_), size_.width(), size_.height(), stride_,
                          *imageFormat(*format_));
        QImage image = view.copy(); // the shared memory goes with this frame
        if (yInverted_) {
            image.mirror(false, true);
        }
        end(std::move(image));
    }

    void end(QImage image) {
        if (auto done = std::move(done_)) {
            done_ = nullptr;
            done(std::move(image));
        }
        owner_.frameDone(this, {});
    }

    ScreencopyCapture& owner_;
    zwlr_screencopy_frame_v1* frame_;
    wl_shm* shm_;
    std::uint32_t version_;
    std::function<void(QImage)> done_;
    std::optional<std::uint32_t> format_;
    QSize size_;
    int stride_ = 0;
    bool yInverted_ = false;
    wl_buffer* buffer_ = nullptr;
    void* data_ = nullptr;
    std::size_t bytes_ = 0;
};

std::unique_ptr<ScreencopyCapture> ScreencopyCapture::create(WaylandConnection& connection, WindowList& windows,
                                                             LayerOverlays& outputs) {
    auto* manager = static_cast<zwlr_screencopy_manager_v1*>(connection.bind(&zwlr_screencopy_manager_v1_interface, 3));
    if (!manager) {
        return nullptr;
    }
    auto* shm = static_cast<wl_shm*>(connection.bind(&wl_shm_interface, 1));
    if (!shm) {
        zwlr_screencopy_manager_v1_destroy(manager);
        return nullptr;
    }
    return std::unique_ptr<ScreencopyCapture>(new ScreencopyCapture(connection, manager, shm, windows, outputs));
}

ScreencopyCapture::ScreencopyCapture(WaylandConnection& connection, zwlr_screencopy_manager_v1* manager, wl_shm* shm,
                                     WindowList& windows, LayerOverlays& outputs)
    : connection_(connection), manager_(manager), shm_(shm), windows_(windows), outputs_(outputs) {
    // The screen is copied again a moment after the focus moves (windows are raised, drawn anew), so that the
    // switcher opening over them finds pictures without itself in them.
    refresh_ = new QTimer(this);
    refresh_->setSingleShot(true);
    refresh_->setInterval(400);
    connect(refresh_, &QTimer::timeout, this, [this] { refreshClean(); });
    QPointer<ScreencopyCapture> self(this);
    focusChanges_ = windows_.observeActiveWindow([self](std::uint32_t) {
        if (self) {
            self->refresh_->start();
        }
    });
    refresh_->start();
}

std::vector<std::pair<QRect, QImage>> ScreencopyCapture::kept(const std::vector<std::pair<QRect, QImage>>& pictures) {
    // Kept for as long as Tillory runs, so at most half the output's width and 960 pixels wide: a whole 1280 ×
    // 720 copy was 3.5 MiB of resident memory, and tiles are a fraction of that size anyway. Cutting reads the
    // scale from the picture's width.
    std::vector<std::pair<QRect, QImage>> smaller;
    smaller.reserve(pictures.size());
    for (const auto& [output, image] : pictures) {
        const int width = std::min(kKeptWidth, image.width() / 2);
        smaller.emplace_back(output, width > 0 ? image.scaledToWidth(width, Qt::SmoothTransformation) : image);
    }
    return smaller;
}

void ScreencopyCapture::refreshClean() {
    if (outputs_.keyboardOverlayShown()) {
        return;
    }
    auto windows = windows_.windows(static_cast<unsigned>(WindowListOption::All));
    copyOutputs([this, windows = std::move(windows)](std::vector<std::pair<QRect, QImage>> pictures) mutable {
        if (!pictures.empty()) {
            clean_ = kept(pictures);
            cleanWindows_ = std::move(windows);
        }
    });
}

void ScreencopyCapture::copyOutputs(std::function<void(std::vector<std::pair<QRect, QImage>>)> done) {
    auto pictures = std::make_shared<std::vector<std::pair<QRect, QImage>>>();
    auto left = std::make_shared<int>(0);
    const std::uint32_t version = zwlr_screencopy_manager_v1_get_version(manager_);
    auto shared = std::make_shared<std::function<void(std::vector<std::pair<QRect, QImage>>)>>(std::move(done));
    for (const LayerOverlays::Output& output : outputs_.outputs_) {
        if (output.geometry.isEmpty()) {
            continue;
        }
        ++*left;
        zwlr_screencopy_frame_v1* frame =
            zwlr_screencopy_manager_v1_capture_output(manager_, 0, static_cast<wl_output*>(output.wlOutput));
        const QRect geometry = output.geometry;
        frames_.push_back(
            std::make_unique<Frame>(*this, frame, shm_, version, [pictures, left, shared, geometry](QImage image) {
                if (!image.isNull()) {
                    pictures->emplace_back(geometry, std::move(image));
                }
                if (--*left == 0) {
                    (*shared)(std::move(*pictures));
                }
            }));
    }
    if (*left == 0) {
        (*shared)({});
    }
    connection_.flush();
}

ScreencopyCapture::~ScreencopyCapture() {
    frames_.clear();
    wl_shm_destroy(shm_);
    zwlr_screencopy_manager_v1_destroy(manager_);
    connection_.flush();
}

void ScreencopyCapture::frameDone(Frame* frame, QImage) {
    // Later: the frame is still on the stack of its own listener.
    QMetaObject::invokeMethod(
        this,
        [this, frame] {
            frames_.erase(std::remove_if(frames_.begin(), frames_.end(),
                                         [frame](const std::unique_ptr<Frame>& f) { return f.get() == frame; }),
                          frames_.end());
        },
        Qt::QueuedConnection);
}

bool ScreencopyCapture::capture(std::vector<CaptureRequest> requests, Delivery deliver) {
    if (requests.empty() || !deliver) {
        return false;
    }
    auto job = std::make_shared<Job>();
    job->requests = std::move(requests);
    job->deliver = std::move(deliver);
    job->windows = windows_.windows(static_cast<unsigned>(WindowListOption::All));
    const bool anyOnScreen = std::any_of(job->requests.begin(), job->requests.end(), [&](const CaptureRequest& r) {
        return std::any_of(job->windows.begin(), job->windows.end(),
                           [&](const WindowInfo& w) { return w.number == r.window && w.isOnscreen; });
    });
    if (!anyOnScreen || outputs_.keyboardOverlayShown()) {
        // Nothing to copy, or our own switcher or palette covers the screen: the last clean copy serves.
        job->pictures = anyOnScreen ? clean_ : decltype(clean_){};
        job->takenWith = cleanWindows_;
        QTimer::singleShot(0, this, [this, job] { finish(job); }); // never from inside this call
        return true;
    }
    QPointer<ScreencopyCapture> self(this);
    copyOutputs([self, job](std::vector<std::pair<QRect, QImage>> pictures) {
        if (self) {
            self->clean_ = kept(pictures);
            self->cleanWindows_ = job->windows;
            job->takenWith = job->windows;
            job->pictures = std::move(pictures);
            self->finish(job);
        }
    });
    return true;
}

namespace {

/// Whether `window` was on screen in the same place in `then`.
bool stoodThere(const std::vector<WindowInfo>& then, const WindowInfo& window) {
    return std::any_of(then.begin(), then.end(), [&](const WindowInfo& w) {
        return w.number == window.number && w.isOnscreen && w.bounds == window.bounds;
    });
}

} // namespace

void ScreencopyCapture::finish(const std::shared_ptr<Job>& job) {
    QPointer<ScreencopyCapture> self(this);
    QThreadPool::globalInstance()->start([self, job] {
        std::vector<std::pair<std::uint32_t, std::optional<Bitmap>>> results;
        for (const CaptureRequest& request : job->requests) {
            std::optional<Bitmap> bitmap;
            for (const WindowInfo& window : job->windows) {
                if (window.number != request.window || !window.isOnscreen || !job->takenWith ||
                    !stoodThere(*job->takenWith, window)) {
                    continue;
                }
                const QRectF bounds(window.bounds.x, window.bounds.y, window.bounds.width, window.bounds.height);
                for (const auto& [output, image] : job->pictures) {
                    if (!bitmap && output.contains(bounds.center().toPoint())) {
                        bitmap = cut(image, output, bounds, QSize(request.width, request.height));
                    }
                }
            }
            results.emplace_back(request.window, std::move(bitmap));
        }
        QMetaObject::invokeMethod(
            self,
            [job, results = std::move(results)]() mutable {
                for (auto& [window, bitmap] : results) {
                    job->deliver(window, std::move(bitmap));
                }
            },
            Qt::QueuedConnection);
    });
}

std::optional<Bitmap> ScreencopyCapture::cut(const QImage& outputImage, const QRect& output, const QRectF& window,
                                             QSize box) {
    if (outputImage.isNull() || output.isEmpty() || box.isEmpty()) {
        return std::nullopt;
    }
    const QRectF visible = window.intersected(QRectF(output));
    if (visible.isEmpty()) {
        return std::nullopt;
    }
    // Output pixels per logical point (a scaled output's picture is larger than its place in the layout).
    const double scale = double(outputImage.width()) / output.width();
    const QRect source = QRectF((visible.x() - output.x()) * scale, (visible.y() - output.y()) * scale,
                                visible.width() * scale, visible.height() * scale)
                             .toAlignedRect()
                             .intersected(outputImage.rect());
    if (source.isEmpty()) {
        return std::nullopt;
    }
    const QImage picture = outputImage.copy(source)
                               .scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                               .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    Bitmap bitmap;
    bitmap.width = picture.width();
    bitmap.height = picture.height();
    bitmap.stride = int(picture.bytesPerLine());
    bitmap.pixels = QByteArray(reinterpret_cast<const char*>(picture.constBits()), picture.sizeInBytes());
    return bitmap;
}

} // namespace tillory::platform::nix
