#pragma once

#include "platform/api/bitmap.h"

#include <QByteArray>
#include <QUrl>

#include <QtGlobal>

#include <functional>
#include <optional>

namespace tillory::platform {

/// Downloads over the network (and reads of local file URLs), off the main thread.
class UrlFetcher {
public:
    virtual ~UrlFetcher() = default;
    using Reply = std::function<void(std::optional<QByteArray>)>;
    /// Fetches `url` (https, http or file); `reply` runs on the main thread, never from inside this call, with the
    /// body of a successful answer, or nothing on any failure: another scheme, an error status, a body larger
    /// than `maxBytes`, or no complete answer within `timeoutSeconds` of the call (a total deadline).
    virtual void fetch(const QUrl& url, qint64 maxBytes, double timeoutSeconds, Reply reply) = 0;
    /// As `fetch`, for documents whose source matters (the update feed): `url` must be https, redirects may lead
    /// only to other https addresses, a certificate the system does not trust fails, no cached copy is used, and
    /// only status 200 counts as an answer.
    virtual void fetchHttps(const QUrl& url, qint64 maxBytes, double timeoutSeconds, Reply reply) = 0;
};

/// Turns encoded pictures (PNG, JPEG, …) from other programs into bitmaps, off the main thread. Called on the main
/// thread.
class ImageDecoder {
public:
    virtual ~ImageDecoder() = default;
    using Reply = std::function<void(std::optional<Bitmap>)>;
    /// Pictures with more pixels than this are refused from their header, before anything is decoded.
    static constexpr qint64 kMaxPixels = 40'000'000;
    /// Hands `reply`, on the main thread and never from inside this call, the picture scaled down to at most
    /// `maxSide` pixels on its longer side (never up); nothing when the bytes are not a picture this platform
    /// reads or it has more than `kMaxPixels` pixels.
    virtual void decode(const QByteArray& bytes, int maxSide, Reply reply) = 0;
};

} // namespace tillory::platform
