import QtQuick

// The panel's colours for a dark or a light desktop.
QtObject {
    property bool dark: true
    readonly property color card: dark ? "#f51e1f22" : "#f7f4f4f6"
    readonly property color outline: dark ? "#38ffffff" : "#2a000000"
    readonly property color text: dark ? "#f2ffffff" : "#e6000000"
    readonly property color secondary: dark ? "#a0ffffff" : "#8c000000"
    readonly property color group: dark ? "#12ffffff" : "#0b000000"
    readonly property color hover: dark ? "#22ffffff" : "#16000000"
    readonly property color accent: dark ? "#0a84ff" : "#007aff"
    readonly property color warning: dark ? "#ffd60a" : "#c98a00"
    readonly property color switchOff: dark ? "#40ffffff" : "#26000000"
}
