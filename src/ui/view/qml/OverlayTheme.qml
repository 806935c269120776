import QtQuick

// The colours of the glass cards shown over other windows (the clipboard palette, the switcher, the snap picker
// and Snap Assist, the island's card and notice) for a dark or a light desktop. What is black because of what it
// stands for (the island's strip over the notch) does not come from here.
QtObject {
    property bool dark: true

    // A faint light from above, as on frosted glass.
    readonly property color cardTop: dark ? "#f5303238" : "#f2fbfbfd"
    readonly property color cardBottom: dark ? "#f51f2024" : "#f2ececf0"
    // Flat glass: the palette's card, and the island's card and notice (clearer, as it hangs over the desktop).
    readonly property color paletteGlass: dark ? "#ee26282c" : "#f0f6f6f8"
    readonly property color islandGlass: dark ? "#db1c1c1f" : "#e6f5f5f7"
    // Its edge: faint on dark; on light a little firmer, or the card melts into a white window below it.
    readonly property color islandEdge: dark ? "#14ffffff" : "#1f000000"

    // Opaque text colours on light glass: at least 4.5:1 (text), 4.5:1 (secondary, small as it is) and 3:1
    // (tertiary) over the glass laid on white and on black.
    readonly property color text: dark ? "white" : "#1d1d1f"
    readonly property color secondary: dark ? "#99ffffff" : "#5e5e64"
    readonly property color tertiary: dark ? "#80ffffff" : "#6e6e73"
    readonly property color accent: dark ? "#3a7bd5" : "#2f6fd0"
    // The palette's chosen row: the accent itself under white text on dark, a tint of it under dark text on light.
    readonly property color selection: dark ? "#cc3a7bd5" : "#383a7bd5"
    // The palette's stack numbers: a disc of the text's colour, the number in the glass's.
    readonly property color badge: dark ? "#e6ffffff" : "#e61d1d1f"
    readonly property color badgeText: dark ? "#26282c" : "#f6f6f8"

    /// Wells, hairlines and plain zones: white at `alpha` on dark glass, black a little fainter on light glass,
    /// where the same amount of black stands out more than white does on dark.
    function ink(alpha) {
        return dark ? Qt.rgba(1, 1, 1, alpha) : Qt.rgba(0, 0, 0, alpha * 0.7);
    }
    /// `color` without its translucency, for where nothing behind the window shows through.
    function solid(color) {
        return Qt.rgba(color.r, color.g, color.b, 1);
    }
}
