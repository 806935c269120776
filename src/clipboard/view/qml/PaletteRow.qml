import QtQuick
import "qrc:/tillory/ui"

// One history entry: its badge (row number, or stack number in a circle), one line of text, a pin mark.
Rectangle {
    id: item
    property var row
    required property OverlayTheme theme
    signal picked()
    signal hovered()
    height: 30
    radius: 7
    color: item.row.selected ? item.theme.selection : "transparent"

    Item {
        id: badge
        x: 6
        width: 18; height: parent.height
        Text {
            textFormat: Text.PlainText
            anchors.centerIn: parent
            visible: item.row.stageNumber === 0
            text: item.row.number
            color: item.theme.tertiary
            font.pixelSize: 9
            font.family: "DejaVu Sans Mono"
        }
        Rectangle {
            anchors.centerIn: parent
            visible: item.row.stageNumber > 0
            width: 14; height: 14; radius: 7
            color: item.theme.badge
            Text {
                textFormat: Text.PlainText
                anchors.centerIn: parent
                text: item.row.stageNumber
                color: item.theme.badgeText
                font.pixelSize: 9
                font.bold: true
            }
        }
    }
    Text {
        textFormat: Text.PlainText
        anchors.left: badge.right; anchors.leftMargin: 6
        anchors.right: pin.visible ? pin.left : parent.right; anchors.rightMargin: 8
        anchors.verticalCenter: parent.verticalCenter
        objectName: "rowText"
        text: item.row.text
        color: item.theme.text
        elide: Text.ElideRight
        maximumLineCount: 1
        font.pixelSize: 12
    }
    Symbol {
        id: pin
        visible: item.row.pinned
        name: "pin.fill"
        color: item.theme.ink(0.8)
        width: 11; height: 11
        weight: 1.4
        anchors.right: parent.right; anchors.rightMargin: 9
        anchors.verticalCenter: parent.verticalCenter
    }
    MouseArea {
        anchors.fill: parent
        hoverEnabled: true
        onEntered: item.hovered()
        onClicked: item.picked()
    }
}
