import QtQuick
import "qrc:/tillory/ui"

// The switcher's card: the grid of window tiles and, while previews cannot be captured, the hint under it. The
// window is exactly the card; the panel centres it on the display. Places and sizes come from the engine and the
// tile model.
Item {
    id: root
    required property QtObject engine
    required property QtObject tiles
    required property QtObject keys
    // Whether the desktop is dark; the host sets it at each show.
    property bool dark: true
    readonly property OverlayTheme theme: OverlayTheme { dark: root.dark }

    Item {
        id: card
        objectName: "card"
        width: root.engine.cardWidth
        height: root.engine.cardHeight
        opacity: root.engine.isActive ? 1 : 0
        scale: root.engine.isActive ? 1 : 0.97
        Behavior on opacity { NumberAnimation { duration: root.tiles.appearMs; easing.type: Easing.OutCubic } }
        Behavior on scale { NumberAnimation { duration: root.tiles.appearMs; easing.type: Easing.OutCubic } }

        // Frosted glass: a faint light from above and a hairline edge.
        Rectangle {
            anchors.fill: parent
            radius: 24
            gradient: Gradient {
                GradientStop { position: 0; color: root.theme.cardTop }
                GradientStop { position: 1; color: root.theme.cardBottom }
            }
            border.color: root.theme.ink(0.14)
            border.width: 1
        }

        Repeater {
            model: root.tiles
            delegate: WindowTile {
                required property int index
                required property string title
                required property bool selected
                required property bool hasThumbnail
                required property bool hasIcon
                required property string thumbnailSource
                required property string iconSource
                required property string badgeSource
                required property real tileX
                required property real tileY
                required property bool shown
                x: tileX
                y: tileY
                visible: shown
                tileTitle: title
                isSelected: selected
                showsThumbnail: hasThumbnail
                showsIcon: hasIcon
                thumbnail: thumbnailSource
                icon: iconSource
                badge: badgeSource
                highlightMs: root.tiles.highlightMs
                theme: root.theme
                onActivated: root.tiles.activate(index)
            }
        }

        // More rows than fit: a chevron in the margin above or below the rows shown says that more exist.
        Symbol {
            objectName: "moreAbove"
            visible: root.engine.moreAbove
            name: "chevron.right"
            rotation: -90
            width: 14
            height: 14
            x: (parent.width - width) / 2
            y: -1
            color: root.theme.secondary
        }
        Symbol {
            objectName: "moreBelow"
            visible: root.engine.moreBelow
            name: "chevron.right"
            rotation: 90
            width: 14
            height: 14
            x: (parent.width - width) / 2
            // Just under the last row shown, above the hint when there is one.
            y: parent.height - 12 - (root.engine.hint !== "" ? 8 + 16 : 0) - 3
            color: root.theme.secondary
        }

        Row {
            objectName: "hint"
            visible: root.engine.hint !== ""
            anchors.horizontalCenter: parent.horizontalCenter
            anchors.bottom: parent.bottom
            anchors.bottomMargin: 12
            height: 16
            spacing: 6
            Symbol {
                name: root.engine.hintSymbol
                color: root.theme.secondary
                width: 14
                height: 14
                anchors.verticalCenter: parent.verticalCenter
            }
            Text {
                textFormat: Text.PlainText
                objectName: "hintText"
                text: root.keys.text(root.engine.hint)
                color: root.theme.secondary
                font.pixelSize: 12
                anchors.verticalCenter: parent.verticalCenter
            }
        }
    }
}
