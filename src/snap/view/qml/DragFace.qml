import QtQuick
import "qrc:/tillory/ui"

// What a window drag shows: the frame the window would take, and the layout bar when the pointer is near the top.
// Without compositing both are drawn opaque and still (the window then shows only these parts): the preview as a
// ring, the bar as a solid card.
Item {
    id: face
    required property QtObject controller
    required property QtObject layout
    required property OverlayTheme theme
    readonly property color accent: theme.accent
    readonly property bool translucent: layout.translucent
    readonly property var geo: controller.barGeometry
    readonly property bool hasBar: geo.barRect !== undefined

    function glass(color) {
        return translucent ? Qt.rgba(color.r, color.g, color.b, 0xe6 / 255) : theme.solid(color);
    }

    Item {
        id: preview
        objectName: "preview"
        readonly property rect target: face.controller.dragPreview
        readonly property bool shown: target.width > 0 && target.height > 0
        property bool wasShown: false
        property bool springs: false

        // A preview that appears takes its place at once; one that moves between targets springs there.
        function place() {
            // Read here: `shown` may not have caught up with the target yet.
            if (target.width <= 0 || target.height <= 0) {
                wasShown = false;
                return;
            }
            springs = wasShown && face.translucent;
            x = target.x;
            y = target.y;
            width = target.width;
            height = target.height;
            wasShown = true;
        }
        onTargetChanged: place()
        Component.onCompleted: place()

        visible: opacity > 0
        opacity: shown ? 1 : 0
        Behavior on opacity { enabled: face.translucent; NumberAnimation { duration: 120 } }
        Behavior on x { enabled: preview.springs; SpringAnimation { spring: face.layout.springStrength; damping: face.layout.springDamping } }
        Behavior on y { enabled: preview.springs; SpringAnimation { spring: face.layout.springStrength; damping: face.layout.springDamping } }
        Behavior on width { enabled: preview.springs; SpringAnimation { spring: face.layout.springStrength; damping: face.layout.springDamping } }
        Behavior on height { enabled: preview.springs; SpringAnimation { spring: face.layout.springStrength; damping: face.layout.springDamping } }

        // The glow: the accent at 60 %, blurred 14 points out.
        BorderImage {
            visible: face.translucent
            x: -14
            y: -14
            width: parent.width + 28
            height: parent.height + 28
            source: visible ? "image://tillory-snap/glow/14/10/99" + face.accent.toString().substring(1) : ""
            cache: false
            border { left: 38; top: 38; right: 38; bottom: 38 }
        }
        Rectangle {
            anchors.fill: parent
            radius: 10
            color: face.translucent ? Qt.rgba(face.accent.r, face.accent.g, face.accent.b, 0.45) : "transparent"
            border.width: face.translucent ? 3 : 4
            border.color: Qt.rgba(1, 1, 1, face.translucent ? 0.9 : 1)
        }
        Rectangle {
            anchors.fill: parent
            radius: 10
            color: "transparent"
            border.width: 1
            border.color: face.accent
        }
        Rectangle {
            visible: !face.translucent
            anchors.fill: parent
            anchors.margins: 3
            radius: 7
            color: "transparent"
            border.width: 1
            border.color: face.accent
        }
    }

    Item {
        id: bar
        objectName: "bar"
        readonly property bool shown: face.controller.dragBarVisible && face.hasBar
        readonly property rect area: face.hasBar ? face.geo.barRect : Qt.rect(0, 0, 0, 0)
        // Slides down from above the display's top edge.
        property real slide: shown ? 0 : -(area.y + area.height)
        Behavior on slide { enabled: face.translucent; NumberAnimation { duration: 220; easing.type: Easing.OutCubic } }
        x: area.x
        y: area.y + slide
        width: area.width
        height: area.height
        visible: opacity > 0
        opacity: shown ? 1 : 0
        Behavior on opacity { enabled: face.translucent; NumberAnimation { duration: 180 } }

        BorderImage {
            visible: face.translucent
            x: -24
            y: -24 + 8
            width: parent.width + 48
            height: parent.height + 48
            source: visible ? "image://tillory-snap/halo/24/18/4c000000" : ""
            cache: false
            border { left: 66; top: 66; right: 66; bottom: 66 }
        }
        // The cards' glass, a little clearer.
        Rectangle {
            anchors.fill: parent
            radius: 18
            gradient: Gradient {
                GradientStop { position: 0; color: face.glass(face.theme.cardTop) }
                GradientStop { position: 1; color: face.glass(face.theme.cardBottom) }
            }
            border.width: 1
            border.color: face.theme.ink(0.16)
        }

        Repeater {
            model: face.hasBar ? face.geo.cards : []
            delegate: Item {
                id: barCard
                required property int index
                required property var modelData
                x: modelData.rect.x - bar.area.x
                y: modelData.rect.y - bar.area.y
                width: modelData.rect.width
                height: modelData.rect.height

                Rectangle {
                    anchors.fill: parent
                    radius: 10
                    color: face.theme.ink(0.06)
                }
                Repeater {
                    model: barCard.modelData.zones
                    delegate: Rectangle {
                        required property int index
                        required property rect modelData
                        readonly property bool lit: barCard.index === face.controller.dragHoverLayout
                                                    && index === face.controller.dragHoverZone
                        objectName: "barZone"
                        x: modelData.x - barCard.modelData.rect.x
                        y: modelData.y - barCard.modelData.rect.y
                        width: modelData.width
                        height: modelData.height
                        radius: 4
                        color: lit ? face.accent : face.theme.ink(0.12)
                        border.width: lit ? 2 : 1
                        border.color: lit ? Qt.lighter(face.accent, 1.35) : face.theme.ink(0.24)
                        Behavior on color { enabled: face.translucent; ColorAnimation { duration: 120; easing.type: Easing.OutQuad } }
                    }
                }
            }
        }
    }
}
