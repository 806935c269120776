#pragma once

#include "core/scheduler.h"
#include "platform/api/network.h"

#include <QMap>

#include <vector>

namespace tillory::platform::sim {

/// Downloads from a table the test fills; an unknown URL fails. Answers through the scheduler.
class SimUrlFetcher final : public UrlFetcher {
public:
    explicit SimUrlFetcher(core::Scheduler& scheduler) : scheduler_(scheduler) {}
    void setBody(const QUrl& url, const QByteArray& body) { bodies_[url] = body; }
    const std::vector<QUrl>& requests() const { return requests_; }
    void fetch(const QUrl& url, qint64 maxBytes, double timeoutSeconds, Reply reply) override;
    /// The same table, for https addresses only.
    void fetchHttps(const QUrl& url, qint64 maxBytes, double timeoutSeconds, Reply reply) override;

private:
    core::Scheduler& scheduler_;
    QMap<QUrl, QByteArray> bodies_;
    std::vector<QUrl> requests_;
};

/// Decodes only the byte strings the test registered, each to its bitmap; answers through the scheduler.
class SimImageDecoder final : public ImageDecoder {
public:
    explicit SimImageDecoder(core::Scheduler& scheduler) : scheduler_(scheduler) {}
    void setPicture(const QByteArray& bytes, Bitmap bitmap) { pictures_[bytes] = std::move(bitmap); }
    int decodeCount() const { return decodes_; }
    void decode(const QByteArray& bytes, int maxSide, Reply reply) override;

private:
    core::Scheduler& scheduler_;
    QMap<QByteArray, Bitmap> pictures_;
    int decodes_ = 0;
};

} // namespace tillory::platform::sim
