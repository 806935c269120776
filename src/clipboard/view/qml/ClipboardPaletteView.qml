import QtQuick
import "qrc:/tillory/ui"

// The palette's card. The window is exactly the card: it hangs from the top edge when the list drops down
// below the caret and rests on the bottom edge otherwise.
Item {
    id: root
    required property QtObject controller
    required property QtObject keys
    // Whether the desktop is dark; the host sets it at each show.
    property bool dark: true
    readonly property OverlayTheme theme: OverlayTheme { dark: root.dark }
    width: 360
    implicitWidth: 360
    implicitHeight: card.height

    Rectangle {
        id: card
        width: parent.width
        height: 44 + 30 * rows.count
        radius: 12
        color: root.theme.paletteGlass
        border.color: root.theme.ink(0.25)
        border.width: 1
        transformOrigin: controller.dropsDown ? Item.Top : Item.Bottom
        scale: controller.isVisible ? 1 : 0.94
        opacity: controller.isVisible ? 1 : 0
        Behavior on scale { SpringAnimation { spring: 4.5; damping: 0.35; epsilon: 0.001 } }
        Behavior on opacity { NumberAnimation { duration: 160 } }

        Text {
            textFormat: Text.PlainText
            id: title
            objectName: "title"
            x: 12; y: 10
            text: "Clipboard"
            color: root.theme.text
            font.pixelSize: 11
            font.weight: Font.DemiBold
        }
        Text {
            textFormat: Text.PlainText
            objectName: "headerHint"
            anchors.right: parent.right; anchors.rightMargin: 12
            anchors.verticalCenter: title.verticalCenter
            text: keys.text(controller.headerHint)
            color: root.theme.secondary
            font.pixelSize: 9
        }

        Column {
            x: 6; y: 32
            width: parent.width - 12
            Repeater {
                id: rows
                // By count, so that rows are rebuilt only when their number changes: a row destroyed under the
                // pointer (on a hover or a stacking click) would lose the click being made.
                model: controller.rows.length
                delegate: PaletteRow {
                    required property int index
                    width: parent ? parent.width : 0
                    row: controller.rows[index]
                    theme: root.theme
                    onPicked: controller.pick(index)
                    onHovered: controller.hover(index)
                }
            }
        }
    }
}
