import QtQuick
import "qrc:/tillory/ui"

// One layout as a card of zones. A zone lights up when it is the selection (which the keys and the mouse both
// move: the card reports the zone under the mouse) or the zone Snap Assist fills next; a filled zone is ticked.
// Zone places come from the layout object.
Item {
    id: card
    required property var zones
    required property QtObject layout
    required property OverlayTheme theme
    readonly property color accent: theme.accent
    property bool isFocused: false
    property int focusedZone: -1
    property int activeZone: -1
    property var filled: []
    property bool interactive: true
    property bool animated: true
    signal zoneHovered(int zone)
    signal zoneTapped(int zone)

    Rectangle {
        anchors.fill: parent
        radius: 10
        color: card.theme.ink(0.06)
        border.width: card.isFocused ? 1.5 : 0
        border.color: card.accent
    }

    Repeater {
        model: card.zones
        delegate: Rectangle {
            id: zone
            required property int index
            required property rect modelData
            readonly property rect place: card.layout.zoneRect(modelData, card.width, card.height)
            readonly property bool lit: index === card.focusedZone || index === card.activeZone
            readonly property bool isFilled: card.filled.indexOf(index) >= 0
            objectName: "zone"
            x: place.x
            y: place.y
            width: place.width
            height: place.height
            radius: 6
            color: isFilled ? Qt.rgba(card.accent.r, card.accent.g, card.accent.b, 0.35)
                            : lit ? Qt.rgba(card.accent.r, card.accent.g, card.accent.b, 0.85) : card.theme.ink(0.1)
            border.width: lit ? 2 : 1
            border.color: lit ? card.accent : card.theme.ink(0.22)
            Behavior on color { enabled: card.animated; ColorAnimation { duration: 120; easing.type: Easing.OutQuad } }

            Symbol {
                anchors.centerIn: parent
                visible: zone.isFilled
                name: "checkmark"
                width: 11
                height: 11
                weight: 2.2
                color: card.theme.ink(0.7)
            }

            MouseArea {
                anchors.fill: parent
                enabled: card.interactive
                hoverEnabled: true
                onContainsMouseChanged: {
                    if (containsMouse)
                        card.zoneHovered(zone.index);
                }
                onClicked: card.zoneTapped(zone.index)
            }
        }
    }
}
