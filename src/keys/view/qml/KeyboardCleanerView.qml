import QtQuick
import "qrc:/tillory/ui"

// Covers one screen while the keys are off; the slider is the only way back.
Rectangle {
    id: root
    required property QtObject slider
    color: Qt.rgba(0, 0, 0, 0.6)

    Rectangle {
        id: card
        anchors.centerIn: parent
        width: content.width + 88
        height: content.height + 88
        radius: 22
        color: "#f02a2c31"
        border.color: "#30ffffff"

        Column {
            id: content
            anchors.centerIn: parent
            spacing: 14

            Symbol {
                id: keyboard
                anchors.horizontalCenter: parent.horizontalCenter
                name: "keyboard"
                width: 66; height: 44
                weight: 2.4
                SequentialAnimation on opacity {
                    loops: Animation.Infinite
                    NumberAnimation { from: 1; to: 0.45; duration: 900; easing.type: Easing.InOutSine }
                    NumberAnimation { from: 0.45; to: 1; duration: 900; easing.type: Easing.InOutSine }
                }
            }
            Text {
                textFormat: Text.PlainText
                anchors.horizontalCenter: parent.horizontalCenter
                text: "Keyboard Cleaning"
                color: "white"
                font.pixelSize: 22
            }
            Text {
                textFormat: Text.PlainText
                anchors.horizontalCenter: parent.horizontalCenter
                text: "The keys are off — wipe away. Trackpad and mouse still work."
                color: Qt.rgba(1, 1, 1, 0.7)
                font.pixelSize: 13
            }
            SlideToUnlock {
                anchors.horizontalCenter: parent.horizontalCenter
                model: root.slider
            }
        }
    }
}
