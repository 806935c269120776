#pragma once

#include "platform/api/geometry.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <variant>
#include <vector>

namespace tillory::platform {

/// An opaque reference to another application's accessibility object; each backend derives its own.
class ElementHandle {
public:
    virtual ~ElementHandle() = default;
};
using Element = std::shared_ptr<const ElementHandle>;

/// What an attribute read answers. Callers check the kind and treat a wrong kind as nothing (monostate).
using AXValue =
    std::variant<std::monostate, Element, Point, Size, TextRange, Rect, QString, bool, std::vector<Element>>;

namespace AXAttribute {
inline const QString FocusedUIElement = QStringLiteral("AXFocusedUIElement");
inline const QString Role = QStringLiteral("AXRole");
inline const QString SelectedTextRange = QStringLiteral("AXSelectedTextRange");
inline const QString Position = QStringLiteral("AXPosition");
inline const QString Size = QStringLiteral("AXSize");
inline const QString FocusedWindow = QStringLiteral("AXFocusedWindow");
inline const QString Windows = QStringLiteral("AXWindows");
inline const QString Title = QStringLiteral("AXTitle");
inline const QString Minimized = QStringLiteral("AXMinimized");
inline const QString BoundsForRange = QStringLiteral("AXBoundsForRange");
/// Write-only: a Rect (global top-left space) moves and resizes a window in one step, where "AXPosition" then
/// "AXSize" would show it at its old size in between.
inline const QString Frame = QStringLiteral("AXFrame");
} // namespace AXAttribute

namespace AXRole {
inline const QString TextField = QStringLiteral("AXTextField");
inline const QString TextArea = QStringLiteral("AXTextArea");
inline const QString SearchField = QStringLiteral("AXSearchField");
inline const QString ComboBox = QStringLiteral("AXComboBox");
inline const QString Window = QStringLiteral("AXWindow");
} // namespace AXRole

inline const QString kAXRaiseAction = QStringLiteral("AXRaise");

/// Other applications' windows and text carets. Main thread. On a system without the service every trust check
/// answers false, reads answer nothing and writes and actions do nothing.
class Accessibility {
public:
    virtual ~Accessibility() = default;

    /// True once the user has granted the program accessibility.
    virtual bool isTrusted() const = 0;
    /// Same answer; when untrusted the system shows its own prompt.
    virtual bool isTrustedPrompting() = 0;

    /// The root for "AXFocusedUIElement".
    virtual Element systemWide() = 0;
    /// The root for "AXFocusedWindow" and "AXWindows" of the process; nothing for an unknown process.
    virtual Element application(std::int32_t pid) = 0;

    /// Positions and sizes are in global top-left space.
    virtual AXValue attribute(const Element& element, const QString& name) = 0;
    virtual AXValue parameterizedAttribute(const Element& element, const QString& name, const AXValue& parameter) = 0;
    /// Results are not relied upon; true when the backend accepted the write.
    virtual bool setAttribute(const Element& element, const QString& name, const AXValue& value) = 0;
    virtual bool performAction(const Element& element, const QString& action) = 0;

    /// The window server's number of a window element, or 0.
    virtual std::uint32_t windowNumber(const Element& element) = 0;
};

} // namespace tillory::platform
