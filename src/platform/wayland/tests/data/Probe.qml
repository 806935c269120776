import QtQuick

Rectangle {
    id: root
    color: "#ff0000"
    property int clicks: 0
    property bool hovered: area.containsMouse
    Rectangle {
        x: 0; y: 0; width: parent.width / 2; height: parent.height
        color: "#0000ff"
    }
    MouseArea {
        id: area
        anchors.fill: parent
        hoverEnabled: true
        onClicked: root.clicks += 1
    }
}
