#pragma once

#include <QByteArray>
#include <QString>

namespace tillory::platform::nix {

/// The text of an X COMPOUND_TEXT property (window titles of older programs, xterm's among them). It starts in
/// ASCII and Latin-1; Latin-1 designated again and UTF-8 segments (ESC % G … ESC % @, or an extended segment
/// named UTF-8) are decoded, every character of another character set becomes U+FFFD, and direction marks and
/// control characters other than tab and newline are dropped. Never fails, whatever the bytes.
QString decodeCompoundText(const QByteArray& data);

} // namespace tillory::platform::nix
