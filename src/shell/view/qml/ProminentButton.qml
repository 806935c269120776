import QtQuick

// The window's one prominent button: accent-filled, rounded, darker while pressed.
Rectangle {
    id: button
    required property QtObject theme
    property string text
    property bool large: false
    signal clicked()
    implicitWidth: label.implicitWidth + (large ? 48 : 32)
    implicitHeight: large ? 34 : 28
    radius: height / 2
    color: area.pressed ? Qt.darker(theme.accent, 1.2) : theme.accent
    Text {
        textFormat: Text.PlainText
        id: label
        anchors.centerIn: parent
        text: button.text
        color: "white"
        font.pixelSize: button.large ? 14 : 13
        font.weight: Font.DemiBold
    }
    MouseArea {
        id: area
        anchors.fill: parent
        onClicked: button.clicked()
    }
}
