import QtQuick
import "qrc:/tillory/ui"

// Elapsed time, bar, total time. The bar moves between polls from the position's timestamp; dragging shows where
// the track will go and seeks on release.
Item {
    id: scrubber
    property QtObject media
    required property OverlayTheme theme
    property var dragFraction: undefined
    // Bumped every half second so the live position is read again.
    property int tick: 0
    readonly property real fraction: dragFraction !== undefined ? dragFraction
                                                                : (tick, media.position, media.positionTimestamp,
                                                                   media.isPlaying, media.currentProgress())
    implicitHeight: 12
    // Both times as wide as the longer of them can be, so "1:40:00" stays inside the card and the bar keeps still.
    readonly property real clockWidth: Math.max(30, Math.ceil(longest.advanceWidth))

    TextMetrics {
        id: longest
        font.pixelSize: 9
        font.family: "monospace"
        text: scrubber.media.clock(scrubber.media.duration)
    }

    Timer {
        interval: 500
        repeat: true
        running: scrubber.visible && scrubber.media.isPlaying && scrubber.dragFraction === undefined
        onTriggered: scrubber.tick++
    }

    Row {
        anchors.fill: parent
        spacing: 8
        Text {
            textFormat: Text.PlainText
            id: elapsed
            objectName: "elapsed"
            width: scrubber.clockWidth
            anchors.verticalCenter: parent.verticalCenter
            horizontalAlignment: Text.AlignRight
            text: scrubber.media.clock(scrubber.fraction * Math.max(0, scrubber.media.duration))
            color: scrubber.theme.secondary
            font.pixelSize: 9 // whole pixels only; the nearest to 8.5
            font.family: "monospace"
        }
        Item {
            id: bar
            objectName: "bar"
            width: parent.width - 2 * scrubber.clockWidth - 2 * 8
            height: parent.height
            Rectangle {
                anchors.verticalCenter: parent.verticalCenter
                width: parent.width
                height: 4
                radius: 2
                color: scrubber.theme.ink(0.18)
                Rectangle {
                    width: parent.width * scrubber.fraction
                    height: parent.height
                    radius: 2
                    color: scrubber.theme.text
                }
            }
            MouseArea {
                anchors.fill: parent
                // A track of unknown length cannot be sought: the bar then does not follow the pointer.
                enabled: scrubber.media.canSeek
                function follow(x) { scrubber.dragFraction = Math.min(1, Math.max(0, x / bar.width)); }
                onPressed: mouse => follow(mouse.x)
                onPositionChanged: mouse => follow(mouse.x)
                onCanceled: scrubber.dragFraction = undefined
                onReleased: mouse => {
                    follow(mouse.x);
                    scrubber.media.seek(scrubber.dragFraction * scrubber.media.duration);
                    scrubber.dragFraction = undefined;
                }
            }
        }
        Text {
            textFormat: Text.PlainText
            objectName: "total"
            width: scrubber.clockWidth
            anchors.verticalCenter: parent.verticalCenter
            text: scrubber.media.clock(scrubber.media.duration)
            color: scrubber.theme.secondary
            font.pixelSize: 9 // whole pixels only; the nearest to 8.5
            font.family: "monospace"
        }
    }
}
