import QtQuick

// Four bars bouncing out of step: each grows from a quarter to full height and back, slower and later than the one
// before it.
Item {
    id: eq
    property color barColor: "#34c759"
    // Seconds; the bars step whenever it moves. Steps of 0.18 s rather than a smooth animation: a playing track
    // keeps the bars moving all day, and each step redraws the island.
    property real time: 0
    readonly property real step: 0.18
    // False where the bars are faded out though still visible.
    property bool moving: true

    Timer {
        interval: eq.step * 1000
        repeat: true
        // Only while the bars can be seen: a hidden wing or an island off screen costs nothing.
        running: eq.moving && eq.visible && eq.Window.window !== null && eq.Window.window.visible
        onTriggered: eq.time += eq.step
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
