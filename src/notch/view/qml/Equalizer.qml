import QtQuick

// Four bars bouncing out of step: each grows from a quarter to full height and back, slower and later than the one
// before it.
Item {
    id: eq
    property color barColor: "#34c759"
    property bool running: visible
    property real time: 0

    // Twenty steps a second are smooth at this size and keep an idle island cheap: the bars move all the while a
    // track plays.
    Timer {
        interval: 50
        repeat: true
        running: eq.running
        onTriggered: eq.time += interval / 1000
    }

    Repeater {
        model: 4
        Rectangle {
            required property int index
            readonly property real period: 0.38 + 0.09 * index
            readonly property real phase: ((eq.time + 0.13 * index) / period) % 2
            // Scaled about the middle: the height changes, the centre stays.
            readonly property real level: 0.25 + 0.75 * (phase < 1 ? phase : 2 - phase)
            width: 2.5
            height: eq.height * level
            radius: 1
            color: eq.barColor
            x: (eq.width - 16) / 2 + 4.5 * index
            y: (eq.height - height) / 2
        }
    }
}
