import QtQuick

// A switch of the home page: its title and a small switch that writes through.
Item {
    id: row
    required property QtObject theme
    property string title
    property bool isOn
    signal toggled(bool on)
    implicitHeight: 30

    Text {
        textFormat: Text.PlainText
        anchors.left: parent.left; anchors.leftMargin: 12
        anchors.verticalCenter: parent.verticalCenter
        text: row.title
        color: theme.text
        font.pixelSize: 13
    }
    Rectangle {
        id: track
        objectName: "switch"
        anchors.right: parent.right; anchors.rightMargin: 12
        anchors.verticalCenter: parent.verticalCenter
        width: 30; height: 18; radius: 9
        color: row.isOn ? theme.accent : theme.switchOff
        Behavior on color { ColorAnimation { duration: 120 } }
        Rectangle {
            width: 14; height: 14; radius: 7
            y: 2
            x: row.isOn ? track.width - width - 2 : 2
            color: "white"
            Behavior on x { NumberAnimation { duration: 120; easing.type: Easing.OutCubic } }
        }
    }
    TapHandler { onTapped: row.toggled(!row.isOn) }
}
