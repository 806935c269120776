import QtQuick

// Colours of the shell's small windows, following the desktop's light or dark palette.
QtObject {
    property bool dark: true
    readonly property color card: dark ? "#1e1f22" : "#f4f4f6"
    readonly property color outline: dark ? "#38ffffff" : "#2a000000"
    readonly property color text: dark ? "#f2ffffff" : "#e6000000"
    readonly property color secondary: dark ? "#a0ffffff" : "#8c000000"
    readonly property color tertiary: dark ? "#70ffffff" : "#60000000"
    readonly property color keyCap: dark ? "#1affffff" : "#12000000"
    readonly property color accent: dark ? "#0a84ff" : "#007aff"
}
