import QtQuick

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

        // The track: a ring 4.5 wide whose middle runs at a radius of 26.75. A multisampled layer would draw
        // nothing on scaled displays with the software renderer.
        Rectangle {
            anchors.fill: parent
            radius: width / 2
            color: "transparent"
            border.color: tints.track
            border.width: 4.5
            antialiasing: true
        }
        // The arc, in a gradient of the tint that deepens along the sweep.
        Canvas {
            id: arc
            anchors.fill: parent
            readonly property real sweep: Math.max(0, Math.min(1, ring.shown))
            onSweepChanged: requestPaint()
            Connections { target: ring; function onTintChanged() { arc.requestPaint() } }
            onPaint: {
                const ctx = getContext("2d");
                ctx.reset();
                if (sweep <= 0.001)
                    return;
                const start = -Math.PI / 2;
                // Conical gradients run counter-clockwise: from a little before the top (so the start's round
                // cap stays light) the colour deepens clockwise, to the full tint at the arc's end.
                const gradient = ctx.createConicalGradient(29, 29, -start + 0.15);
                gradient.addColorStop(Math.max(0, 1 - sweep - 0.03), ring.tint);
                gradient.addColorStop(1, Qt.lighter(ring.tint, 1.35));
                ctx.strokeStyle = gradient;
                ctx.lineWidth = 4.5;
                ctx.lineCap = "round";
                ctx.beginPath();
                ctx.arc(29, 29, 26.75, start, start + 2 * Math.PI * sweep, false);
                ctx.stroke();
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
                textFormat: Text.PlainText
                anchors.horizontalCenter: parent.horizontalCenter
                text: ring.centerText
                color: tints.text
                font.pixelSize: 13
                font.weight: Font.DemiBold
            }
        }
    }
    Text {
        textFormat: Text.PlainText
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
