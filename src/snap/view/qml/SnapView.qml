import QtQuick
import "qrc:/tillory/ui"

// The snap panel's content over one whole display: the drag overlay while a window is dragged, and while the
// picker or Snap Assist is open the dimmed display with the floating card. Places and sizes come from the layout
// object; texts name keys through `keys`.
Item {
    id: root
    required property QtObject controller
    required property QtObject layout
    required property QtObject keys
    // Whether the desktop is dark; the host sets it at each show.
    property bool dark: true
    readonly property OverlayTheme theme: OverlayTheme { dark: root.dark }
    readonly property bool translucent: layout.translucent
    readonly property bool assisting: controller.mode === 1

    DragFace {
        anchors.fill: parent
        controller: root.controller
        layout: root.layout
        theme: root.theme
        // Never in the way of a click: the panel lets them all through while the overlay shows.
        enabled: false
        visible: opacity > 0
        opacity: root.controller.dragVisible ? 1 : 0
        Behavior on opacity { enabled: root.translucent; NumberAnimation { duration: 150 } }
    }

    Item {
        anchors.fill: parent
        visible: root.controller.isActive

        Rectangle {
            objectName: "dim"
            anchors.fill: parent
            visible: root.translucent
            color: Qt.rgba(0, 0, 0, 0.18)
            MouseArea {
                anchors.fill: parent
                onClicked: root.controller.cancel()
            }
        }

        Item {
            id: card
            objectName: "card"
            x: root.layout.cardRect.x
            y: root.layout.cardRect.y
            width: root.layout.cardRect.width
            height: root.layout.cardRect.height
            opacity: root.controller.isActive ? 1 : 0
            scale: root.controller.isActive ? 1 : 0.96
            Behavior on opacity { enabled: root.translucent; NumberAnimation { duration: 180; easing.type: Easing.OutCubic } }
            Behavior on scale { enabled: root.translucent; NumberAnimation { duration: 180; easing.type: Easing.OutCubic } }

            // Black at 35 %, 30 points soft, 12 points down.
            BorderImage {
                visible: root.translucent
                x: -30
                y: -30 + 12
                width: parent.width + 60
                height: parent.height + 60
                // Kept while the panel lives: made anew at each opening it cost a frame's time before the picker showed.
                source: root.translucent ? "image://tillory-snap/halo/30/20/59000000" : ""
                cache: false
                border { left: 80; top: 80; right: 80; bottom: 80 }
            }
            Rectangle {
                anchors.fill: parent
                radius: 20
                gradient: Gradient {
                    GradientStop {
                        position: 0
                        color: root.translucent ? root.theme.cardTop : root.theme.solid(root.theme.cardTop)
                    }
                    GradientStop {
                        position: 1
                        color: root.translucent ? root.theme.cardBottom : root.theme.solid(root.theme.cardBottom)
                    }
                }
                border.width: 1
                border.color: root.theme.ink(0.14)
            }
            // Clicks on the card itself do not reach the dimmed display under it.
            MouseArea {
                anchors.fill: parent
            }

            Column {
                anchors.fill: parent
                anchors.margins: 22
                spacing: 14

                Text {
                    textFormat: Text.PlainText
                    objectName: "title"
                    width: parent.width
                    height: 20
                    text: root.assisting ? "Snap Assist" : "Snap Layouts"
                    color: root.theme.text
                    font.pixelSize: 15
                    font.weight: Font.DemiBold
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                }

                Row {
                    objectName: "layoutsRow"
                    visible: !root.assisting
                    anchors.horizontalCenter: parent.horizontalCenter
                    spacing: 16
                    Repeater {
                        model: root.assisting ? [] : root.controller.layouts
                        delegate: LayoutCard {
                            required property int index
                            required property var modelData
                            objectName: "layoutCard"
                            width: 150
                            height: 94
                            zones: modelData.zones
                            layout: root.layout
                            theme: root.theme
                            animated: root.translucent
                            isFocused: index === root.controller.focusedLayout
                            focusedZone: isFocused ? root.controller.focusedZone : -1
                            onZoneHovered: zone => root.controller.focusZone(index, zone)
                            onZoneTapped: zone => root.controller.commitZone(index, zone)
                        }
                    }
                }

                LayoutCard {
                    objectName: "assistCard"
                    visible: root.assisting && root.controller.activeLayout >= 0
                    anchors.horizontalCenter: parent.horizontalCenter
                    width: 220
                    height: 138
                    zones: visible ? root.controller.layouts[root.controller.activeLayout].zones : []
                    layout: root.layout
                    theme: root.theme
                    animated: root.translucent
                    interactive: false
                    activeZone: root.controller.assistZone
                    filled: root.controller.filledZones
                }

                Grid {
                    objectName: "tiles"
                    visible: root.assisting && root.controller.candidates.length > 0
                    anchors.horizontalCenter: parent.horizontalCenter
                    columns: Math.min(root.layout.tileColumns, Math.max(root.controller.candidates.length, 1))
                    spacing: 12
                    Repeater {
                        model: root.assisting ? root.controller.candidates : []
                        delegate: CandidateTile {
                            required property int index
                            required property var modelData
                            window: modelData
                            theme: root.theme
                            animated: root.translucent
                            isFocused: index === root.controller.focusedZone
                            onTapped: root.controller.fillAssist(modelData.id)
                        }
                    }
                }

                Text {
                    textFormat: Text.PlainText
                    visible: root.assisting && root.controller.candidates.length === 0
                    width: parent.width
                    height: 110
                    text: "No other windows to place"
                    color: root.theme.secondary
                    font.pixelSize: 13
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                }

                Text {
                    textFormat: Text.PlainText
                    objectName: "hint"
                    width: parent.width
                    height: 14
                    text: root.assisting ? "Pick a window to fill the highlighted zone"
                                         : root.keys.text("Click a zone, or ⌃⌥ + arrows to snap halves")
                    color: root.theme.secondary
                    font.pixelSize: 11
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                }
            }
        }
    }
}
