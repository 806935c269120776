import QtQuick

// Four bars bouncing out of step: each grows from a quarter to full height and back, slower and later than the one
// before it.
Item {
    id: eq
    property color barColor: "#34c759"
    // Seconds; the bars step whenever it moves. The island wakes for its pointer poll anyway (about 5 times a
    // second, 20 with the pointer near), and a wake of its own for the bars would cost as much again: a playing
    // track keeps them moving all day.
    property real time: 0

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
