import QtQuick
import QtQuick.Shapes

// The last minute as a line over a faded area; the points come from the model in a unit square.
Item {
    id: chart
    property var series: ({})
    property color tint
    property QtObject tints
    implicitHeight: 56
    clip: true

    // Each new value moves the line one step to the left at once. A glide over that step redrew the open dashboard
    // a dozen times a second and doubled what it cost; no monitor of its kind animates its history.
    readonly property var line: (series.points || []).map(p => Qt.point(p[0] * width, p[1] * height))
    readonly property var area: line.length < 2 ? [] :
        line.concat([Qt.point(line[line.length - 1].x, height), Qt.point(line[0].x, height)])

    Rectangle {
        anchors.fill: parent
        radius: 6
        color: tints.withAlpha(tints.text, 0.025)
    }
    Text {
        textFormat: Text.PlainText
        anchors.centerIn: parent
        visible: chart.series.collecting === true
        text: "Collecting…"
        color: tints.secondary
        font.pixelSize: 11
    }
    Shape {
        width: parent.width
        height: parent.height
        visible: chart.line.length >= 2
        // Smoothed by the painter; a multisampled layer would draw nothing on scaled displays with the software
        // renderer.
        antialiasing: true
        ShapePath {
            strokeColor: "transparent"
            fillGradient: LinearGradient {
                x1: 0; y1: 0; x2: 0; y2: chart.height
                GradientStop { position: 0; color: tints.withAlpha(chart.tint, 0.3) }
                GradientStop { position: 1; color: tints.withAlpha(chart.tint, 0.02) }
            }
            PathPolyline { path: chart.area }
        }
        ShapePath {
            strokeColor: chart.tint
            strokeWidth: 1.5
            fillColor: "transparent"
            capStyle: ShapePath.RoundCap
            joinStyle: ShapePath.RoundJoin
            PathPolyline { path: chart.line }
        }
    }
}
