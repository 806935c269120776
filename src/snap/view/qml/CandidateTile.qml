import QtQuick
import QtQuick.Window
import "qrc:/tillory/ui"

// One window Snap Assist offers: its picture (or its application's icon), and the icon and title under it.
Item {
    id: tile
    required property var window
    required property OverlayTheme theme
    readonly property color accent: theme.accent
    property bool isFocused: false
    property bool animated: true
    readonly property bool isHovered: mouse.containsMouse
    readonly property string thumbnailSource: "image://tillory-snap/thumbnail/" + window.id + "/" + window.imageKey
    readonly property string iconSource: "image://tillory-snap/icon/" + window.id + "/" + window.imageKey
    // The tile under the mouse grows by 4 %. Its rounded rectangles are resized rather than scaled: the software
    // renderer draws a scaled rounded rectangle in pieces with visible seams.
    property real grow: isHovered ? 1.04 : 1
    Behavior on grow { enabled: tile.animated; NumberAnimation { duration: 120; easing.type: Easing.OutQuad } }
    signal tapped()

    objectName: "tile"
    width: 132
    height: 106

    component Well: Rectangle {
        x: tile.width / 2 * (1 - tile.grow)
        y: tile.height / 2 * (1 - tile.grow)
        width: 132 * tile.grow
        height: 84 * tile.grow
        radius: 8 * tile.grow
    }

    Well {
        color: tile.theme.ink(0.06)
    }

    Item {
        anchors.fill: parent
        scale: tile.grow

        Item {
            id: preview
            width: 132
            height: 84
        }
        Image {
            objectName: "thumbnail"
            anchors.fill: preview
            anchors.margins: 3
            visible: tile.window.hasThumbnail
            source: visible ? tile.thumbnailSource : ""
            sourceSize: Qt.size(width * Screen.devicePixelRatio, height * Screen.devicePixelRatio)
            fillMode: Image.PreserveAspectFit
            // Every picture has an address of its own; a cached one would only hold its memory longer.
            cache: false
            smooth: true
        }
        Image {
            objectName: "centredIcon"
            anchors.centerIn: preview
            width: 38
            height: 38
            visible: !tile.window.hasThumbnail && tile.window.hasIcon
            source: visible ? tile.iconSource : ""
            sourceSize: Qt.size(width * Screen.devicePixelRatio, height * Screen.devicePixelRatio)
            cache: false
            smooth: true
        }

        Row {
            anchors.horizontalCenter: parent.horizontalCenter
            y: preview.height + 6
            height: 16
            spacing: 4
            Image {
                anchors.verticalCenter: parent.verticalCenter
                visible: tile.window.hasIcon
                width: 13
                height: 13
                source: visible ? tile.iconSource : ""
                sourceSize: Qt.size(width * Screen.devicePixelRatio, height * Screen.devicePixelRatio)
                cache: false
                smooth: true
            }
            Text {
                textFormat: Text.PlainText
                anchors.verticalCenter: parent.verticalCenter
                width: Math.min(implicitWidth, tile.width - (tile.window.hasIcon ? 17 : 0))
                objectName: "tileTitle"
                text: tile.window.title
                color: tile.theme.secondary
                font.pixelSize: 11
                elide: Text.ElideRight
                maximumLineCount: 1
            }
        }
    }

    Well {
        color: "transparent"
        border.width: tile.isFocused ? 2 : 1
        border.color: tile.isFocused ? tile.accent : tile.theme.ink(0.14)
    }

    MouseArea {
        id: mouse
        anchors.fill: parent
        hoverEnabled: true
        onClicked: tile.tapped()
    }
}
