#pragma once

#include "platform/sim/sim_desktop.h"

namespace tillory::platform::sim {

/// One shared pasteboard: the program's writes and other applications' copies (SimDesktop::copy) both move its
/// change count.
class SimDesktop::SimPasteboard final : public Pasteboard {
public:
    explicit SimPasteboard(SimDesktop& d) : d_(d) {}
    std::int64_t changeCount() override;
    QStringList types() override;
    std::optional<QString> string() override;
    std::optional<QByteArray> data(const QString& type) override;
    std::int64_t write(const QString& text, const std::optional<QByteArray>& rtf) override;
    SubscriptionPtr observeChanges(std::function<void()> changed) override;

private:
    SimDesktop& d_;
};

} // namespace tillory::platform::sim
