#pragma once

#include "platform/linux/atspi_accessibility.h"

namespace tillory::platform::nix {

/// The accessibility interface of the Linux desktop: text elements, carets and trust from AT-SPI; applications and
/// their windows from the display server's side (`Windows`: the X11 or the sway window elements). Each element
/// goes back to the side that made it. Main thread.
template <class Windows> class LinuxAccessibility final : public Accessibility {
public:
    LinuxAccessibility(AtspiAccessibility& text, Windows& windows) : text_(text), windows_(windows) {}

    bool isTrusted() const override { return text_.isTrusted(); }
    bool isTrustedPrompting() override { return text_.isTrustedPrompting(); }
    Element systemWide() override { return text_.systemWide(); }
    Element application(std::int32_t pid) override { return windows_.application(pid); }

    AXValue attribute(const Element& element, const QString& name) override {
        return Windows::owns(element) ? windows_.attribute(element, name) : text_.attribute(element, name);
    }
    AXValue parameterizedAttribute(const Element& element, const QString& name, const AXValue& parameter) override {
        return text_.parameterizedAttribute(element, name, parameter);
    }
    bool setAttribute(const Element& element, const QString& name, const AXValue& value) override {
        return Windows::owns(element) && windows_.setAttribute(element, name, value);
    }
    bool performAction(const Element& element, const QString& action) override {
        return Windows::owns(element) && windows_.performAction(element, action);
    }
    std::uint32_t windowNumber(const Element& element) override { return windows_.windowNumber(element); }

private:
    AtspiAccessibility& text_;
    Windows& windows_;
};

} // namespace tillory::platform::nix
