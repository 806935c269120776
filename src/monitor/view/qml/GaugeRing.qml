import QtQuick
import QtQuick.Shapes

// One ring: a full track and an arc covering the value, the value (or its stand-in) in the middle, the label below.
Item {
    id: ring
    property real value: 0
    property string centerText
    property string label
    property string symbol
    property color tint
    property QtObject tints
    signal tapped()

    implicitWidth: 64
    implicitHeight: 58 + 18
    property real shown: value
    Behavior on shown { SpringAnimation { spring: 3.5; damping: 0.35; epsilon: 0.002 } }

    Rectangle {
        anchors.fill: parent
        anchors.margins: -2
        radius: 10
        color: hover.hovered ? tints.hover : "transparent"
        Behavior on color { ColorAnimation { duration: 150 } }
    }

    Item {
        id: dial
        width: 58
        height: 58
        anchors.horizontalCenter: parent.horizontalCenter
        scale: hover.hovered ? 1.04 : 1
        Behavior on scale { SpringAnimation { spring: 5; damping: 0.4; epsilon: 0.002 } }

        Shape {
            anchors.fill: parent
            layer.enabled: true
            layer.samples: 4
            ShapePath {
                strokeColor: tints.track
                strokeWidth: 4.5
                fillColor: "transparent"
                PathAngleArc { centerX: 29; centerY: 29; radiusX: 26.75; radiusY: 26.75; startAngle: 0; sweepAngle: 360 }
            }
            ShapePath {
                strokeColor: ring.tint
                strokeWidth: 4.5
                fillColor: "transparent"
                capStyle: ShapePath.RoundCap
                PathAngleArc {
                    centerX: 29; centerY: 29; radiusX: 26.75; radiusY: 26.75
                    startAngle: -90
                    sweepAngle: 360 * Math.max(0, Math.min(1, ring.shown))
                }
            }
        }
        Column {
            anchors.centerIn: parent
            spacing: 0
            MonitorSymbol {
                anchors.horizontalCenter: parent.horizontalCenter
                width: 11; height: 11
                name: ring.symbol
                color: ring.tint
                weight: 1.2
            }
            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                text: ring.centerText
                color: tints.text
                font.pixelSize: 13
                font.weight: Font.DemiBold
            }
        }
    }
    Text {
        anchors.top: dial.bottom
        anchors.topMargin: 3
        anchors.horizontalCenter: parent.horizontalCenter
        text: ring.label
        color: tints.secondary
        font.pixelSize: 10
        font.weight: Font.Medium
    }
    HoverHandler { id: hover }
    TapHandler { onTapped: ring.tapped() }
}
