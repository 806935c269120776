import QtQuick
import QtQuick.Controls.Basic as Controls
import "qrc:/tillory/ui"

// A plain button of the panel: an optional symbol, a label, a hover wash and a tooltip.
Item {
    id: button
    required property QtObject theme
    property string text
    property string symbol
    property string tip
    property bool prominent: false
    signal clicked()
    implicitWidth: row.implicitWidth + 14
    implicitHeight: 24

    Rectangle {
        anchors.fill: parent
        radius: 6
        color: button.prominent ? theme.accent : (hover.hovered ? theme.hover : "transparent")
    }
    Row {
        id: row
        anchors.centerIn: parent
        spacing: 5
        Symbol {
            visible: button.symbol !== ""
            name: button.symbol
            width: 13; height: 13
            weight: 1.4
            color: button.prominent ? "white" : theme.secondary
            anchors.verticalCenter: parent.verticalCenter
        }
        Text {
            textFormat: Text.PlainText
            text: button.text
            color: button.prominent ? "white" : theme.text
            font.pixelSize: 12
            anchors.verticalCenter: parent.verticalCenter
        }
    }
    HoverHandler { id: hover }
    TapHandler { onTapped: button.clicked() }
    Controls.ToolTip {
        visible: button.tip !== "" && hover.hovered
        text: button.tip
        delay: 600
    }
}
