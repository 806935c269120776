#pragma once

#include "platform/sim/sim_desktop.h"

namespace tillory::platform::sim {

/// The desktop's applications, windows and text elements as an accessibility tree. Nothing answers until the
/// test grants access, as on a system where the user has not trusted the program yet.
class SimDesktop::SimAccessibility final : public Accessibility {
public:
    explicit SimAccessibility(SimDesktop& d) : d_(d) {}

    bool isTrusted() const override;
    bool isTrustedPrompting() override;
    Element systemWide() override;
    Element application(std::int32_t pid) override;
    AXValue attribute(const Element& element, const QString& name) override;
    AXValue parameterizedAttribute(const Element& element, const QString& name, const AXValue& parameter) override;
    bool setAttribute(const Element& element, const QString& name, const AXValue& value) override;
    bool performAction(const Element& element, const QString& action) override;
    std::uint32_t windowNumber(const Element& element) override;

private:
    AXValue focusedOf(std::int32_t pid);
    AXValue applicationAttribute(std::int32_t pid, const QString& name);
    AXValue windowAttribute(std::uint32_t number, const QString& name);

    SimDesktop& d_;
};

} // namespace tillory::platform::sim
