// Feeds arbitrary bytes to what reads sway's IPC: the frame decoder (in reads of the sizes the first byte picks) and,
// for a payload that is a JSON object, the tree parser. Frames must lie within the input and the cap; views must
// carry an id and finite frames, and re-ordering by recency must keep exactly the same views.
#include "platform/wayland/sway_ipc.h"
#include "platform/wayland/sway_tree.h"

#include <QJsonDocument>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace tillory::platform::nix;

namespace {

void checkTree(const QJsonObject& tree) {
    const auto windows = swayWindows(tree);
    std::vector<std::uint32_t> recent;
    for (const SwayWindow& w : windows) {
        if (w.id == 0 || w.pid < 0 || !w.frame.isFinite() || w.frame.width < 0 || w.frame.height < 0) {
            std::abort();
        }
        recent.insert(recent.begin(), w.id);
    }
    auto reordered = byRecency(windows, recent);
    auto byId = [](const SwayWindow& a, const SwayWindow& b) { return a.id < b.id; };
    auto sorted = windows;
    std::stable_sort(sorted.begin(), sorted.end(), byId);
    std::stable_sort(reordered.begin(), reordered.end(), byId);
    if (sorted.size() != reordered.size() ||
        !std::equal(sorted.begin(), sorted.end(), reordered.begin(),
                    [](const SwayWindow& a, const SwayWindow& b) { return a.id == b.id; })) {
        std::abort();
    }
    swayView(tree);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    const qsizetype step = 1 + data[0] % 64;
    SwayFrameDecoder decoder;
    qsizetype fed = 0;
    qsizetype taken = 0;
    for (qsizetype at = 0; at < bytes.size(); at += step) {
        decoder.feed(bytes.mid(at, step));
        fed += std::min(step, bytes.size() - at);
        while (const auto frame = decoder.next()) {
            taken += 14 + frame->payload.size();
            if (taken > fed || frame->payload.size() > qsizetype(SwayFrameDecoder::kMaxPayload)) {
                std::abort();
            }
            if (const QJsonDocument payload = QJsonDocument::fromJson(frame->payload); payload.isObject()) {
                checkTree(payload.object());
            }
        }
    }
    // The whole input as a payload too, so that the parser sees JSON without framing around it.
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    if (document.isObject()) {
        checkTree(document.object());
    }
    return 0;
}
