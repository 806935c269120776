#include "platform/sim/sim_pasteboard.h"

namespace tillory::platform::sim {

std::int64_t SimDesktop::SimPasteboard::changeCount() {
    return d_.changeCount_;
}

QStringList SimDesktop::SimPasteboard::types() {
    return d_.types_;
}

std::optional<QString> SimDesktop::SimPasteboard::string() {
    return d_.text_;
}

std::optional<QByteArray> SimDesktop::SimPasteboard::data(const QString& type) {
    if (type == PasteboardType::RTF) {
        return d_.rtf_;
    }
    if (type == PasteboardType::String && d_.text_) {
        return d_.text_->toUtf8();
    }
    return std::nullopt;
}

std::int64_t SimDesktop::SimPasteboard::write(const QString& text, const std::optional<QByteArray>& rtf) {
    if (d_.duringWrite_) {
        const auto duringWrite = d_.duringWrite_; // it may set another
        duringWrite();
    }
    d_.copy(text, {}, rtf);
    return d_.changeCount_;
}

void SimDesktop::copy(const std::optional<QString>& text, const QStringList& extraTypes,
                      const std::optional<QByteArray>& rtf) {
    ++changeCount_;
    text_ = text;
    rtf_ = rtf;
    types_.clear();
    if (text) {
        types_.append(PasteboardType::String);
    }
    if (rtf) {
        types_.append(PasteboardType::RTF);
    }
    types_.append(extraTypes);
}

} // namespace tillory::platform::sim
