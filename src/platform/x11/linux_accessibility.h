#pragma once

#include "platform/linux/atspi_accessibility.h"
#include "platform/x11/x11_window_elements.h"

namespace tillory::platform::nix {

/// The accessibility interface of the Linux desktop: text elements, carets and trust from AT-SPI; applications and
/// their windows from X11. Each element goes back to the side that made it. Main thread.
class LinuxAccessibility final : public Accessibility {
public:
    LinuxAccessibility(AtspiAccessibility& text, X11WindowElements& windows) : text_(text), windows_(windows) {}

    bool isTrusted() const override { return text_.isTrusted(); }
    bool isTrustedPrompting() override { return text_.isTrustedPrompting(); }
    Element systemWide() override { return text_.systemWide(); }
    Element application(std::int32_t pid) override { return windows_.application(pid); }

    AXValue attribute(const Element& element, const QString& name) override {
        return X11WindowElements::owns(element) ? windows_.attribute(element, name) : text_.attribute(element, name);
    }
    AXValue parameterizedAttribute(const Element& element, const QString& name, const AXValue& parameter) override {
        return text_.parameterizedAttribute(element, name, parameter);
    }
    bool setAttribute(const Element& element, const QString& name, const AXValue& value) override {
        return X11WindowElements::owns(element) && windows_.setAttribute(element, name, value);
    }
    bool performAction(const Element& element, const QString& action) override {
        return X11WindowElements::owns(element) && windows_.performAction(element, action);
    }
    std::uint32_t windowNumber(const Element& element) override { return windows_.windowNumber(element); }

private:
    AtspiAccessibility& text_;
    X11WindowElements& windows_;
};

} // namespace tillory::platform::nix
