#pragma once

#include "platform/api/pasteboard.h"

#include <QStringList>

namespace tillory::platform::nix {

/// The clipboard formats Linux programs offer (MIME types and X11 target names) and the pasteboard's names for
/// them, shared by the X11 and Wayland clipboards.
namespace clipboard_formats {

/// The password-manager mark on Linux; it counts as the concealed type.
inline const QString kPasswordManagerHint = QStringLiteral("x-kde-passwordManagerHint");

/// Text formats in the order an owner is most likely to answer them faithfully.
inline const QStringList kText = {QStringLiteral("text/plain;charset=utf-8"), QStringLiteral("text/plain"),
                                  QStringLiteral("UTF8_STRING"), QStringLiteral("STRING"), QStringLiteral("TEXT")};
inline const QStringList kRtf = {QStringLiteral("text/rtf"), QStringLiteral("application/rtf"),
                                 QStringLiteral("text/richtext")};

/// Maps one format to the pasteboard's type name; unknown ones stay as they are.
inline QString typeForFormat(const QString& format) {
    if (kText.contains(format)) {
        return PasteboardType::String;
    }
    if (kRtf.contains(format)) {
        return PasteboardType::RTF;
    }
    if (format == kPasswordManagerHint) {
        return PasteboardType::Concealed;
    }
    return format;
}

} // namespace clipboard_formats
} // namespace tillory::platform::nix
