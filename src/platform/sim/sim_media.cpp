#include "platform/sim/sim_media.h"

namespace tillory::platform::sim {

void SimUrlFetcher::fetch(const QUrl& url, qint64 maxBytes, double, Reply reply) {
    requests_.push_back(url);
    std::optional<QByteArray> body;
    if (auto found = bodies_.find(url); found != bodies_.end() && found->size() <= maxBytes) {
        body = *found;
    }
    scheduler_.post([reply = std::move(reply), body] { reply(body); });
}

void SimUrlFetcher::fetchHttps(const QUrl& url, qint64 maxBytes, double timeoutSeconds, Reply reply) {
    if (url.scheme() == QLatin1String("https")) {
        fetch(url, maxBytes, timeoutSeconds, std::move(reply));
    } else {
        requests_.push_back(url);
        scheduler_.post([reply = std::move(reply)] { reply(std::nullopt); });
    }
}

void SimImageDecoder::decode(const QByteArray& bytes, int, Reply reply) {
    ++decodes_;
    auto found = pictures_.find(bytes);
    std::optional<Bitmap> bitmap = found == pictures_.end() ? std::nullopt : std::optional<Bitmap>(*found);
    scheduler_.post([reply = std::move(reply), bitmap = std::move(bitmap)] { reply(bitmap); });
}

} // namespace tillory::platform::sim
