#include "platform/x11/x11_thumbnails.h"

#include "platform/x11/x11_reply.h"

#include <xcb/composite.h>
#include <xcb/render.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>
#include <xcb/xcb_renderutil.h>

#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

namespace tillory::platform::nix {
namespace {

// Real window trees put the client at most a few levels below the top-level frame.
constexpr int kMaxClimb = 8;
// Thumbnails are small; one batch's shared segment stays below this, the rest is read the plain way.
constexpr std::size_t kMaxSharedBytes = 64u << 20;
// A request larger than this on a side is not a thumbnail.
constexpr int kMaxSide = 4096;

xcb_render_fixed_t fixed(double value) {
    return static_cast<xcb_render_fixed_t>(std::lround(value * 65536.0));
}

xcb_render_transform_t scaling(double sx, double sy, double dx, double dy) {
    return {fixed(sx), 0, fixed(dx), 0, fixed(sy), fixed(dy), 0, 0, fixed(1)};
}

/// Where one request stands while a batch runs.
struct Target {
    CaptureRequest request;
    xcb_window_t top = XCB_NONE; // the child of the root that holds the window (its frame)
    bool ok = false;
    xcb_get_image_cookie_t image{};
    xcb_shm_get_image_cookie_t shared{};
    std::size_t offset = 0;
    bool viaShm = false;
};

/// A shared memory segment attached to the server for one batch.
class SharedSegment {
public:
    SharedSegment(xcb_connection_t* c, std::size_t bytes) : c_(c) {
        id_ = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
        if (id_ < 0) {
            return;
        }
        void* address = shmat(id_, nullptr, 0);
        if (address == reinterpret_cast<void*>(-1)) {
            shmctl(id_, IPC_RMID, nullptr);
            return;
        }
        data_ = static_cast<const char*>(address);
        seg_ = xcb_generate_id(c_);
        const Reply<xcb_generic_error_t> error(xcb_request_check(c_, xcb_shm_attach_checked(c_, seg_, id_, 0)));
        // Marked for removal at once: it goes away with the last detach, even if this process dies.
        shmctl(id_, IPC_RMID, nullptr);
        attached_ = !error;
    }
    ~SharedSegment() {
        if (attached_) {
            xcb_shm_detach(c_, seg_);
        }
        if (data_) {
            shmdt(data_);
        }
    }
    SharedSegment(const SharedSegment&) = delete;
    SharedSegment& operator=(const SharedSegment&) = delete;

    bool ok() const { return attached_; }
    xcb_shm_seg_t seg() const { return seg_; }
    const char* data() const { return data_; }

private:
    xcb_connection_t* c_;
    int id_ = -1;
    const char* data_ = nullptr;
    xcb_shm_seg_t seg_ = 0;
    bool attached_ = false;
};

} // namespace

class X11WindowCapture::Worker {
public:
    Worker(std::function<void(std::function<void()>)> post, const std::string& display) : post_(std::move(post)) {
        c_ = xcb_connect(display.empty() ? nullptr : display.c_str(), nullptr);
        if (xcb_connection_has_error(c_) != 0) {
            missing_ = QStringLiteral("Window previews need a connection to the X server");
            return;
        }
        root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
        if (!prepare()) {
            return;
        }
        available_ = true;
        thread_ = std::thread([this] { run(); });
    }
    ~Worker() {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) {
            thread_.join();
        }
        if (formats_) {
            std::free(formats_);
        }
        xcb_disconnect(c_); // also ends the redirect
    }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    bool available() const { return available_; }
    const QString& missing() const { return missing_; }

    void enqueue(std::vector<CaptureRequest> requests, Delivery deliver) {
        std::deque<Job> superseded;
        {
            const std::lock_guard lock(mutex_);
            // Jobs still waiting are for sessions that have since been replaced: quick ⌘Tabs would otherwise
            // pile up captures (and their images) faster than they can be taken. They are answered with nothing.
            superseded.swap(jobs_);
            jobs_.push_back({std::move(requests), std::move(deliver)});
        }
        wake_.notify_one();
        for (const Job& job : superseded) {
            for (const CaptureRequest& request : job.requests) {
                this->deliver(job, request.window, std::nullopt);
            }
        }
    }

private:
    struct Job {
        std::vector<CaptureRequest> requests;
        Delivery deliver;
    };

    bool prepare() {
        const auto* composite = xcb_get_extension_data(c_, &xcb_composite_id);
        const auto* render = xcb_get_extension_data(c_, &xcb_render_id);
        const Reply<xcb_composite_query_version_reply_t> version(
            composite && composite->present
                ? xcb_composite_query_version_reply(c_, xcb_composite_query_version(c_, 0, 4), nullptr)
                : nullptr);
        // NameWindowPixmap arrived in 0.2.
        if (!version || (version->major_version == 0 && version->minor_version < 2)) {
            missing_ = QStringLiteral("Window previews need the X server's Composite extension");
            return false;
        }
        missing_ = QStringLiteral("Window previews need the X server's RENDER extension");
        if (!render || !render->present) {
            return false;
        }
        const Reply<xcb_render_query_version_reply_t> renderVersion(
            xcb_render_query_version_reply(c_, xcb_render_query_version(c_, 0, 11), nullptr));
        formats_ = xcb_render_query_pict_formats_reply(c_, xcb_render_query_pict_formats(c_), nullptr);
        if (!renderVersion || !formats_) {
            return false;
        }
        const xcb_render_pictforminfo_t* argb =
            xcb_render_util_find_standard_format(formats_, XCB_PICT_STANDARD_ARGB_32);
        if (!argb) {
            return false;
        }
        argb_ = argb->id;
        missing_.clear();
        const auto* shm = xcb_get_extension_data(c_, &xcb_shm_id);
        if (shm && shm->present) {
            const Reply<xcb_shm_query_version_reply_t> shmVersion(
                xcb_shm_query_version_reply(c_, xcb_shm_query_version(c_), nullptr));
            haveShm_ = shmVersion != nullptr;
        }
        // Automatic redirection keeps every top-level window's pixels off screen, covered or not; a compositing
        // manager that redirected them already does not mind one more client asking.
        xcb_composite_redirect_subwindows(c_, root_, XCB_COMPOSITE_REDIRECT_AUTOMATIC);
        xcb_flush(c_);
        return true;
    }

    void run() {
        for (;;) {
            Job job;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
                if (stopping_) {
                    return;
                }
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            captureBatch(job);
            while (xcb_generic_event_t* event = xcb_poll_for_event(c_)) {
                std::free(event); // errors of windows that went away or were not drawable
            }
        }
    }

    void deliver(const Job& job, std::uint32_t window, std::optional<Bitmap> image) {
        post_(
            [deliver = job.deliver, window, image = std::move(image)]() mutable { deliver(window, std::move(image)); });
    }

    void findTops(std::vector<Target>& targets) {
        std::vector<xcb_window_t> current;
        for (const Target& t : targets) {
            current.push_back(t.request.window);
        }
        for (int round = 0; round < kMaxClimb; ++round) {
            std::vector<std::pair<std::size_t, xcb_query_tree_cookie_t>> pending;
            for (std::size_t i = 0; i < targets.size(); ++i) {
                if (!targets[i].ok && current[i] != XCB_NONE) {
                    pending.emplace_back(i, xcb_query_tree(c_, current[i]));
                }
            }
            if (pending.empty()) {
                return;
            }
            for (const auto& [i, cookie] : pending) {
                const Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c_, cookie, nullptr));
                if (!tree) {
                    current[i] = XCB_NONE; // gone
                } else if (tree->parent == root_ || tree->parent == XCB_NONE) {
                    targets[i].top = current[i];
                    targets[i].ok = tree->parent == root_;
                    current[i] = XCB_NONE;
                } else {
                    current[i] = tree->parent;
                }
            }
        }
    }

    /// Sends the scaling of one window into a new depth-32 pixmap of the requested size; XCB_NONE on failure.
    xcb_pixmap_t scale(const Target& t, const xcb_get_geometry_reply_t& top, xcb_visualid_t visual,
                       const xcb_translate_coordinates_reply_t& offset, const xcb_get_geometry_reply_t& client) {
        const xcb_render_pictformat_t format = xcb_render_util_find_visual_format(formats_, visual)
                                                   ? xcb_render_util_find_visual_format(formats_, visual)->format
                                                   : XCB_NONE;
        if (format == XCB_NONE || top.depth == 0) {
            return XCB_NONE;
        }
        const int tw = t.request.width;
        const int th = t.request.height;
        const xcb_pixmap_t source = xcb_generate_id(c_);
        xcb_composite_name_window_pixmap(c_, t.top, source);
        const xcb_render_picture_t sourcePicture = xcb_generate_id(c_);
        xcb_render_create_picture(c_, sourcePicture, source, format, 0, nullptr);
        const auto picture = [this](xcb_pixmap_t pixmap, int w, int h) {
            xcb_create_pixmap(c_, 32, pixmap, root_, std::uint16_t(w), std::uint16_t(h));
            const xcb_render_picture_t p = xcb_generate_id(c_);
            xcb_render_create_picture(c_, p, pixmap, argb_, 0, nullptr);
            return p;
        };
        const auto draw = [this](xcb_render_picture_t from, xcb_render_transform_t transform, xcb_render_picture_t to,
                                 int w, int h) {
            static const char kBilinear[] = "bilinear";
            xcb_render_set_picture_transform(c_, from, transform);
            xcb_render_set_picture_filter(c_, from, sizeof kBilinear - 1, kBilinear, 0, nullptr);
            xcb_render_composite(c_, XCB_RENDER_PICT_OP_SRC, from, XCB_NONE, to, 0, 0, 0, 0, 0, 0, std::uint16_t(w),
                                 std::uint16_t(h));
        };
        const double cw = client.width;
        const double ch = client.height;
        const xcb_pixmap_t result = xcb_generate_id(c_);
        const xcb_render_picture_t resultPicture = picture(result, tw, th);
        // One bilinear pass from far above 2:1 skips pixels and aliases; going to twice the size first and then
        // halving exactly averages every 2 × 2 block.
        if (cw >= 4.0 * tw && ch >= 4.0 * th) {
            const xcb_pixmap_t middle = xcb_generate_id(c_);
            const xcb_render_picture_t middlePicture = picture(middle, 2 * tw, 2 * th);
            draw(sourcePicture, scaling(cw / (2.0 * tw), ch / (2.0 * th), offset.dst_x, offset.dst_y), middlePicture,
                 2 * tw, 2 * th);
            draw(middlePicture, scaling(2, 2, 0, 0), resultPicture, tw, th);
            xcb_render_free_picture(c_, middlePicture);
            xcb_free_pixmap(c_, middle);
        } else {
            draw(sourcePicture, scaling(cw / tw, ch / th, offset.dst_x, offset.dst_y), resultPicture, tw, th);
        }
        xcb_render_free_picture(c_, sourcePicture);
        xcb_render_free_picture(c_, resultPicture);
        xcb_free_pixmap(c_, source);
        return result;
    }

    void captureBatch(const Job& job) {
        std::vector<Target> targets;
        for (const CaptureRequest& r : job.requests) {
            Target t;
            t.request = r;
            t.request.width = std::clamp(r.width, 1, kMaxSide);
            t.request.height = std::clamp(r.height, 1, kMaxSide);
            targets.push_back(t);
        }
        findTops(targets);
        struct Facts {
            xcb_get_geometry_cookie_t top, client;
            xcb_get_window_attributes_cookie_t attributes, clientAttributes;
            xcb_translate_coordinates_cookie_t offset;
        };
        std::vector<Facts> facts;
        for (const Target& t : targets) {
            const xcb_window_t top = t.ok ? t.top : root_;
            const xcb_window_t client = t.ok ? t.request.window : root_;
            facts.push_back({xcb_get_geometry(c_, top), xcb_get_geometry(c_, client),
                             xcb_get_window_attributes(c_, top), xcb_get_window_attributes(c_, client),
                             xcb_translate_coordinates(c_, client, top, 0, 0)});
        }
        std::size_t sharedBytes = 0;
        for (Target& t : targets) {
            t.offset = sharedBytes;
            sharedBytes += std::size_t(t.request.width) * std::size_t(t.request.height) * 4;
        }
        std::optional<SharedSegment> segment;
        if (haveShm_ && sharedBytes > 0 && sharedBytes <= kMaxSharedBytes) {
            segment.emplace(c_, sharedBytes);
        }
        std::vector<xcb_pixmap_t> results(targets.size(), XCB_NONE);
        for (std::size_t i = 0; i < targets.size(); ++i) {
            Target& t = targets[i];
            const Reply<xcb_get_geometry_reply_t> top(xcb_get_geometry_reply(c_, facts[i].top, nullptr));
            const Reply<xcb_get_geometry_reply_t> client(xcb_get_geometry_reply(c_, facts[i].client, nullptr));
            const Reply<xcb_get_window_attributes_reply_t> attributes(
                xcb_get_window_attributes_reply(c_, facts[i].attributes, nullptr));
            // The client's own state says whether it is shown: a frame may stay mapped a moment longer.
            const Reply<xcb_get_window_attributes_reply_t> clientAttributes(
                xcb_get_window_attributes_reply(c_, facts[i].clientAttributes, nullptr));
            const Reply<xcb_translate_coordinates_reply_t> offset(
                xcb_translate_coordinates_reply(c_, facts[i].offset, nullptr));
            t.ok = t.ok && top && client && attributes && offset && client->width > 0 && client->height > 0 &&
                   clientAttributes && clientAttributes->map_state == XCB_MAP_STATE_VIEWABLE;
            if (t.ok) {
                // The request is a box: the window keeps its own shape inside it.
                const double fit =
                    std::min(double(t.request.width) / client->width, double(t.request.height) / client->height);
                t.request.width = std::clamp(int(std::lround(client->width * fit)), 1, t.request.width);
                t.request.height = std::clamp(int(std::lround(client->height * fit)), 1, t.request.height);
                results[i] = scale(t, *top, attributes->visual, *offset, *client);
                t.ok = results[i] != XCB_NONE;
            }
            if (!t.ok) {
                continue;
            }
            const auto w = std::uint16_t(t.request.width);
            const auto h = std::uint16_t(t.request.height);
            if (segment && segment->ok()) {
                t.viaShm = true;
                t.shared = xcb_shm_get_image(c_, results[i], 0, 0, w, h, ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, segment->seg(),
                                             std::uint32_t(t.offset));
            } else {
                t.image = xcb_get_image(c_, XCB_IMAGE_FORMAT_Z_PIXMAP, results[i], 0, 0, w, h, ~0u);
            }
            xcb_free_pixmap(c_, results[i]);
        }
        xcb_flush(c_);
        for (const Target& t : targets) {
            deliver(job, t.request.window, t.ok ? collect(t, segment ? &*segment : nullptr) : std::nullopt);
        }
    }

    std::optional<Bitmap> collect(const Target& t, const SharedSegment* segment) {
        Bitmap bitmap;
        bitmap.width = t.request.width;
        bitmap.height = t.request.height;
        bitmap.stride = bitmap.width * 4;
        const qsizetype bytes = qsizetype(bitmap.stride) * bitmap.height;
        if (t.viaShm) {
            const Reply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(c_, t.shared, nullptr));
            if (!reply || reply->depth != 32) {
                return std::nullopt;
            }
            bitmap.pixels = QByteArray(segment->data() + t.offset, bytes);
        } else {
            const Reply<xcb_get_image_reply_t> reply(xcb_get_image_reply(c_, t.image, nullptr));
            if (!reply || reply->depth != 32 || xcb_get_image_data_length(reply.get()) < bytes) {
                return std::nullopt;
            }
            bitmap.pixels = QByteArray(reinterpret_cast<const char*>(xcb_get_image_data(reply.get())), bytes);
        }
        return bitmap;
    }

    std::function<void(std::function<void()>)> post_;
    xcb_connection_t* c_ = nullptr;
    xcb_window_t root_ = XCB_NONE;
    xcb_render_query_pict_formats_reply_t* formats_ = nullptr;
    xcb_render_pictformat_t argb_ = XCB_NONE;
    bool haveShm_ = false;
    bool available_ = false;
    QString missing_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    bool stopping_ = false;
    std::thread thread_;
};

X11WindowCapture::X11WindowCapture(std::function<void(std::function<void()>)> post, const std::string& display)
    : worker_(std::make_unique<Worker>(std::move(post), display)) {}

X11WindowCapture::~X11WindowCapture() = default;

bool X11WindowCapture::available() const {
    return worker_->available();
}

QString X11WindowCapture::missing() const {
    return worker_->missing();
}

bool X11WindowCapture::capture(std::vector<CaptureRequest> requests, Delivery deliver) {
    if (!available() || requests.empty() || !deliver) {
        return false;
    }
    worker_->enqueue(std::move(requests), std::move(deliver));
    return true;
}

} // namespace tillory::platform::nix
