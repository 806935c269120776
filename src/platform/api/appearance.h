#pragma once

namespace tillory::platform {

/// How the desktop wants programs to look. Main thread.
class Appearance {
public:
    enum class ColorScheme { unstated, light, dark };
    virtual ~Appearance() = default;
    /// The colour scheme the user chose for the desktop; unstated when the desktop says nothing this platform
    /// reads. Cheap: answered from what is already known.
    virtual ColorScheme colorScheme() = 0;
};

} // namespace tillory::platform
