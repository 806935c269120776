import QtQuick
import QtQuick.Window
import "qrc:/tillory/ui"

// One window: its preview (or its application's icon, or a plain window outline), the application's icon as a badge,
// and its title.
Item {
    id: tile
    property string tileTitle
    property bool isSelected
    property bool showsThumbnail
    property bool showsIcon
    property string thumbnail
    property string icon
    property string badge
    property int highlightMs
    required property OverlayTheme theme
    signal activated()

    width: 190
    height: 144
    z: isSelected ? 1 : 0
    // The highlighted tile grows by 3 %. Its background is resized rather than scaled: the software renderer
    // draws a scaled rounded rectangle in pieces with visible seams.
    property real grow: isSelected ? 1.03 : 1
    Behavior on grow { NumberAnimation { duration: tile.highlightMs; easing.type: Easing.OutCubic } }

    Rectangle {
        objectName: "tileBackground"
        width: tile.width * tile.grow
        height: tile.height * tile.grow
        x: (tile.width - width) / 2
        y: (tile.height - height) / 2
        radius: 12 * tile.grow
        color: tile.isSelected ? tile.theme.ink(0.16) : hover.containsMouse ? tile.theme.ink(0.07) : "transparent"
        border.width: tile.isSelected ? 1 : 0
        border.color: tile.theme.ink(0.3)
    }

    // A faint well under the preview, so that a window without a picture still reads as a window; resized with
    // the tile like the background.
    Rectangle {
        x: tile.width / 2 + (6 - tile.width / 2) * tile.grow
        y: tile.height / 2 + (6 - tile.height / 2) * tile.grow
        width: 178 * tile.grow
        height: 111 * tile.grow
        radius: 8 * tile.grow
        color: tile.theme.ink(0.05)
    }

    Item {
        anchors.fill: parent
        scale: tile.grow

        Item {
            id: box
            x: 6
            y: 6
            width: 178
            height: 111
            Image {
                objectName: "thumbnail"
                anchors.fill: parent
                anchors.margins: 3
                visible: tile.showsThumbnail
                source: tile.thumbnail
                sourceSize: Qt.size(width * Screen.devicePixelRatio, height * Screen.devicePixelRatio)
                fillMode: Image.PreserveAspectFit
                // Not kept in Qt's picture cache: every thumbnail has an address of its own, and a cached one
                // would hold its texture past the panel.
                cache: false
                smooth: true
            }
            // Neither a picture nor an icon of its own: a plain window outline, so that no tile is blank.
            Rectangle {
                objectName: "genericIcon"
                anchors.centerIn: parent
                width: 36
                height: 30
                visible: !tile.showsThumbnail && !tile.showsIcon
                radius: 5
                color: tile.theme.ink(0.08)
                border.width: 1.5
                border.color: tile.theme.ink(0.55)
                Rectangle {
                    x: 1.5
                    y: 1.5
                    width: parent.width - 3
                    height: 7
                    radius: 3.5
                    color: tile.theme.ink(0.35)
                }
            }
            Image {
                objectName: "centredIcon"
                anchors.centerIn: parent
                width: 36
                height: 36
                visible: !tile.showsThumbnail && tile.showsIcon
                source: visible ? tile.icon : ""
                sourceSize: Qt.size(width * Screen.devicePixelRatio, height * Screen.devicePixelRatio)
                cache: false
                smooth: true
            }
        }

        // The badge carries its own soft shadow (drawn by the image provider), so it is larger than the icon in it.
        Image {
            objectName: "badge"
            visible: tile.showsIcon
            width: 36
            height: 36
            x: box.x + box.width - 28
            y: box.y + box.height - 28
            source: visible ? tile.badge : ""
            sourceSize: Qt.size(width * Screen.devicePixelRatio, height * Screen.devicePixelRatio)
            cache: false
            smooth: true
        }

        Text {
            textFormat: Text.PlainText
            objectName: "title"
            x: 8
            y: box.y + box.height + 5
            width: 174
            height: 16
            text: tile.tileTitle
            color: tile.theme.text
            opacity: tile.isSelected ? 1 : 0.85
            font.pixelSize: 12
            elide: Text.ElideRight
            maximumLineCount: 1
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
        }
    }

    MouseArea {
        id: hover
        anchors.fill: parent
        hoverEnabled: true
        onClicked: tile.activated()
    }
}
