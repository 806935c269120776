import QtQuick
import "qrc:/tillory/ui"

// The unlock slider. The model decides where the knob goes and when the lock ends; this only draws it and
// reports the drag.
Item {
    id: slide
    required property QtObject model
    readonly property color accent: "#3a7bd5"
    width: model.trackW
    height: model.trackH

    // Follows the model's offset; springs when the model jumps (release), tracks the finger while dragging.
    property real shownOffset: model.offset
    Behavior on shownOffset {
        enabled: !drag.pressed
        SpringAnimation { spring: slide.model.unlocked ? 6 : 4; damping: slide.model.unlocked ? 0.6 : 0.45 }
    }

    Rectangle {
        anchors.fill: parent
        radius: height / 2
        color: Qt.rgba(1, 1, 1, 0.08)
        border.color: Qt.rgba(1, 1, 1, 0.18)
    }
    Rectangle {
        x: 0; y: 0
        height: parent.height
        width: slide.shownOffset + height
        radius: height / 2
        color: Qt.rgba(0.227, 0.482, 0.835, 0.5)
    }
    Text {
        textFormat: Text.PlainText
        objectName: "slideLabel"
        anchors.centerIn: parent
        anchors.horizontalCenterOffset: 20
        text: "Slide to turn keys back on"
        color: "white"
        font.pixelSize: 13
        font.weight: Font.Medium
        opacity: slide.model.labelOpacity
    }
    Rectangle {
        id: knob
        objectName: "knob"
        x: 4 + slide.shownOffset
        y: 4
        width: slide.model.knobDiameter
        height: width
        radius: width / 2
        color: "white"
        Symbol {
            anchors.centerIn: parent
            width: 18; height: 18
            weight: 2.6
            name: slide.model.knobSymbol
            color: slide.accent
        }
    }
    MouseArea {
        id: drag
        anchors.fill: parent
        property point start
        onPressed: (mouse) => { start = Qt.point(mouse.x, mouse.y) }
        onPositionChanged: (mouse) => slide.model.dragChanged(mouse.x - start.x, mouse.y - start.y)
        onReleased: (mouse) => {
            // Where the pointer was let go is the last word, even if its final move was folded into this.
            slide.model.dragChanged(mouse.x - start.x, mouse.y - start.y)
            slide.model.released()
        }
    }
}
