import QtQuick

// The monitor's colours by name, in the light and the dark desktop theme.
QtObject {
    property bool dark: false
    property color accent: dark ? "#0a84ff" : "#007aff"
    readonly property color text: dark ? "#f2f2f7" : "#1c1c1e"
    readonly property color secondary: dark ? "#a1a1a8" : "#6b6b70"
    readonly property color track: dark ? Qt.rgba(1, 1, 1, 0.12) : Qt.rgba(0, 0, 0, 0.08)
    readonly property color card: dark ? Qt.rgba(1, 1, 1, 0.06) : Qt.rgba(0, 0, 0, 0.04)
    readonly property color hover: dark ? Qt.rgba(1, 1, 1, 0.08) : Qt.rgba(0, 0, 0, 0.06)

    function named(name) {
        switch (name) {
        case "orange": return dark ? "#ff9f0a" : "#ff9500";
        case "purple": return dark ? "#bf5af2" : "#af52de";
        case "green": return dark ? "#30d158" : "#28a745";
        case "cyan": return dark ? "#64d2ff" : "#1ea7d8";
        case "blue": return dark ? "#409cff" : "#0040dd";
        case "yellow": return dark ? "#ffd60a" : "#d6a100";
        case "red": return dark ? "#ff453a" : "#ff3b30";
        default: return accent;
        }
    }
    function withAlpha(c, a) { return Qt.rgba(c.r, c.g, c.b, a); }
}
