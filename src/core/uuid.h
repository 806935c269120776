#pragma once

#include <QString>
#include <QUuid>

#include <optional>

namespace tillory::core {

/// A new random (version 4) UUID.
QUuid makeUuid();

/// The standard 36-character hyphenated form with upper-case hexadecimal digits.
QString uuidString(const QUuid& uuid);

/// Parses exactly the 36-character hyphenated form (either case). Anything else, braces included, is nothing.
std::optional<QUuid> parseUuid(const QString& text);

} // namespace tillory::core
