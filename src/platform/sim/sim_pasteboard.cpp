#include "platform/sim/sim_pasteboard.h"

#include "platform/sim/sim_desktop_internal.h"

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

SubscriptionPtr SimDesktop::SimPasteboard::observeChanges(std::function<void()> changed) {
    if (!d_.pasteboardAnnounces_ || !changed) {
        return nullptr;
    }
    const int id = d_.nextObserver_++;
    d_.pasteboardObservers_[id] = std::move(changed);
    SimDesktop* d = &d_;
    return std::make_unique<SimSubscription>(d_.alive_, [d, id] { d->pasteboardObservers_.erase(id); });
}

void SimDesktop::copy(const std::optional<QString>& text, const QStringList& extraTypes,
                      const std::optional<QByteArray>& rtf) {
    ++changeCount_;
    // Announced later, as a real desktop's event arrives after the copy.
    for (const auto& entry : pasteboardObservers_) {
        std::weak_ptr<bool> alive = alive_;
        scheduler_.post([alive, this, id = entry.first] {
            if (alive.lock()) {
                if (auto found = pasteboardObservers_.find(id); found != pasteboardObservers_.end()) {
                    const auto observer = found->second; // it may end its own subscription
                    observer();
                }
            }
        });
    }
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
