import QtQuick
import QtQuick.Shapes
import "qrc:/tillory/ui"

// The island: a black strip around the notch with the cover on the left wing and a playing indicator on the right;
// below it the player card while expanded, or a notice capsule while collapsed. The strip stands for the notch, so
// it is black on any desktop; the card and the capsule are glass in the desktop's light or dark.
Item {
    id: root
    required property QtObject controller
    required property QtObject media
    // Told what the view draws, so the window can be shaped to it.
    required property QtObject shape
    // Without a compositing manager nothing behind the window shows through: the glass is drawn opaque.
    property bool translucent: true
    // Whether the desktop is dark; the host sets it as the card or the notice is about to show.
    property bool dark: true
    readonly property OverlayTheme theme: OverlayTheme { dark: root.dark }

    readonly property real notchHeight: controller.notchSize.height
    readonly property bool expanded: controller.isExpanded
    readonly property bool showsHud: !expanded && controller.hasHud
    readonly property string art: media.hasArtwork ? "image://tillory-notch/art/" + media.artworkImageId : ""
    readonly property color glass: translucent ? theme.islandGlass : theme.solid(theme.islandGlass)

    function shapeOf(item, radius) {
        item.x; item.y; item.width; item.height; item.scale; // the shape follows every one of them
        const r = item.mapToItem(root, 0, 0, item.width, item.height);
        return [r.x, r.y, r.width, r.height, radius, false];
    }
    readonly property var maskShapes: {
        const list = [[strip.x, strip.y, strip.width, strip.height, 0, true]];
        if (card.visible)
            list.push(shapeOf(card, 22));
        if (hud.visible)
            list.push(shapeOf(hud, hud.height / 2));
        return list;
    }
    onMaskShapesChanged: shape.shapes = maskShapes
    Component.onCompleted: shape.shapes = maskShapes

    // The collapsed island, also the top of the expanded one.
    Item {
        id: strip
        objectName: "strip"
        width: root.controller.bareWidth + 2 * root.controller.wingExtraEach
        height: root.notchHeight
        x: (root.width - width) / 2
        y: 0

        Shape {
            anchors.fill: parent
            // Flared top corners of 6, bottom corners of 14; the window's shape follows the same outline.
            ShapePath {
                fillColor: "black"
                strokeColor: "transparent"
                startX: 0; startY: 0
                PathQuad { controlX: 6; controlY: 0; x: 6; y: 6 }
                PathLine { x: 6; y: strip.height - 14 }
                PathQuad { controlX: 6; controlY: strip.height; x: 20; y: strip.height }
                PathLine { x: strip.width - 20; y: strip.height }
                PathQuad { controlX: strip.width - 6; controlY: strip.height; x: strip.width - 6; y: strip.height - 14 }
                PathLine { x: strip.width - 6; y: 6 }
                PathQuad { controlX: strip.width - 6; controlY: 0; x: strip.width; y: 0 }
            }
        }

        // The wings' contents sit clear of the 6-point flare at the strip's outer edges.
        Row {
            anchors.fill: parent
            opacity: root.expanded ? 0 : 1
            Behavior on opacity { NumberAnimation { duration: 200 } }

            Item {
                id: leftWing
                width: root.controller.wingExtraEach
                height: parent.height
                Item {
                    anchors.centerIn: parent
                    anchors.horizontalCenterOffset: 3
                    width: 20
                    height: 20
                    visible: root.art !== ""
                    Rectangle { // the shadow
                        anchors.fill: parent
                        anchors.topMargin: 1
                        anchors.bottomMargin: -1
                        radius: 4
                        color: Qt.rgba(0, 0, 0, 0.35)
                    }
                    Image {
                        objectName: "wingArt"
                        anchors.fill: parent
                        source: root.art !== "" ? root.art + "/8" : ""
                        sourceSize: Qt.size(40, 40)
                        // Kept out of the shared picture cache: covers change with every track, and that
                        // cache outlives the view.
                        cache: false
                    }
                }
                Symbol {
                    objectName: "wingNote"
                    anchors.centerIn: parent
                    anchors.horizontalCenterOffset: 3
                    width: 11
                    height: 11
                    visible: root.art === ""
                    name: "music.note"
                    color: Qt.rgba(1, 1, 1, 0.6)
                }
            }
            Item {
                width: root.controller.bareWidth
                height: parent.height
            }
            Item {
                width: root.controller.wingExtraEach
                height: parent.height
                Equalizer {
                    objectName: "equalizer"
                    moving: !root.expanded
                    anchors.centerIn: parent
                    anchors.horizontalCenterOffset: -3
                    width: 17
                    height: 13
                    visible: root.media.hasNowPlaying && root.media.isPlaying
                    barColor: root.media.artworkColor !== "" ? root.media.artworkColor : "#34c759"
                }
                Symbol {
                    objectName: "wingPause"
                    anchors.centerIn: parent
                    anchors.horizontalCenterOffset: -3
                    width: 10
                    height: 10
                    visible: root.media.hasNowPlaying && !root.media.isPlaying
                    name: "pause.fill"
                    color: Qt.rgba(1, 1, 1, 0.6)
                }
            }
        }
    }

    // The player card: drops from under the strip, growing from its top edge as it fades in.
    Rectangle {
        id: card
        objectName: "card"
        width: 440
        height: 104
        x: (root.width - width) / 2
        y: root.notchHeight + 8
        radius: 22
        color: root.glass
        border.width: 1
        border.color: root.theme.islandEdge
        transformOrigin: Item.Top
        opacity: root.expanded ? 1 : 0
        scale: root.expanded ? 1 : 0.6
        visible: opacity > 0.01
        Behavior on opacity { NumberAnimation { duration: 400; easing.type: Easing.OutCubic } }
        Behavior on scale { NumberAnimation { duration: 400; easing.type: Easing.OutCubic } }

        Column {
            anchors.fill: parent
            anchors.leftMargin: 14
            anchors.rightMargin: 14
            anchors.topMargin: 11
            anchors.bottomMargin: 11
            spacing: 7

            Row {
                width: parent.width
                height: 52
                spacing: 12
                Item {
                    width: 52
                    height: 52
                    Rectangle {
                        anchors.fill: parent
                        radius: 11
                        color: root.theme.ink(0.1)
                        visible: root.art === ""
                        Symbol {
                            anchors.centerIn: parent
                            width: 20
                            height: 20
                            name: "music.note"
                            color: root.theme.secondary
                        }
                    }
                    Image {
                        objectName: "cardArt"
                        anchors.fill: parent
                        visible: root.art !== ""
                        source: root.art !== "" ? root.art + "/22" : ""
                        sourceSize: Qt.size(104, 104)
                        cache: false
                    }
                }
                Column {
                    width: parent.width - 52 - 12 - controls.width - 12
                    anchors.verticalCenter: parent.verticalCenter
                    spacing: 2
                    Text {
                        textFormat: Text.PlainText
                        objectName: "title"
                        width: parent.width
                        text: root.media.hasNowPlaying ? root.media.shownTitle : "Play something in a media player"
                        color: root.theme.text
                        font.pixelSize: 13
                        font.weight: Font.DemiBold
                        elide: Text.ElideRight
                        maximumLineCount: 1
                    }
                    Text {
                        textFormat: Text.PlainText
                        objectName: "artist"
                        width: parent.width
                        text: root.media.hasNowPlaying ? root.media.shownArtist : ""
                        color: root.theme.secondary
                        font.pixelSize: 11
                        elide: Text.ElideRight
                        maximumLineCount: 1
                    }
                }
                Row {
                    id: controls
                    anchors.verticalCenter: parent.verticalCenter
                    spacing: 6
                    TransportGlyph {
                        objectName: "previous"
                        symbol: "backward.fill"
                        theme: root.theme
                        onAction: root.media.previousTrack()
                    }
                    TransportGlyph {
                        objectName: "playPause"
                        symbol: root.media.hasNowPlaying && root.media.isPlaying ? "pause.fill" : "play.fill"
                        theme: root.theme
                        onAction: root.media.playPause()
                    }
                    TransportGlyph {
                        objectName: "next"
                        symbol: "forward.fill"
                        theme: root.theme
                        onAction: root.media.nextTrack()
                    }
                }
            }
            Scrubber {
                objectName: "scrubber"
                width: parent.width
                media: root.media
                theme: root.theme
                visible: root.media.hasNowPlaying
            }
        }
    }

    // The notice capsule: slides down from the top edge, fading and growing in.
    Rectangle {
        id: hud
        objectName: "hud"
        readonly property real restY: root.notchHeight + 8
        width: hudRow.implicitWidth + 28
        height: hudRow.implicitHeight + 14
        x: (root.width - width) / 2
        y: root.showsHud ? restY : 0
        radius: height / 2
        color: root.glass
        border.width: 1
        border.color: root.theme.islandEdge
        opacity: root.showsHud ? 1 : 0
        scale: root.showsHud ? 1 : 0.7
        visible: opacity > 0.01
        Behavior on y { NumberAnimation { duration: 350; easing.type: Easing.OutBack; easing.overshoot: 1.2 } }
        Behavior on opacity { NumberAnimation { duration: 350 } }
        Behavior on scale { NumberAnimation { duration: 350; easing.type: Easing.OutBack; easing.overshoot: 1.2 } }

        // The last notice stays drawn while the capsule leaves.
        property string symbol
        property string label
        Connections {
            target: root.controller
            function onHudChanged() {
                if (root.controller.hasHud) {
                    hud.symbol = root.controller.hudSymbol;
                    hud.label = root.controller.hudLabel;
                }
            }
        }
        Row {
            id: hudRow
            anchors.centerIn: parent
            spacing: 6
            Symbol {
                anchors.verticalCenter: parent.verticalCenter
                width: 13
                height: 13
                name: hud.symbol
                color: root.theme.text
            }
            Text {
                textFormat: Text.PlainText
                objectName: "hudLabel"
                anchors.verticalCenter: parent.verticalCenter
                text: hud.label
                color: root.theme.text
                font.pixelSize: 12
                font.weight: Font.Medium
            }
        }
    }
}
