import QtQuick
import "qrc:/tillory/ui"

// What's new: the application's icon, title and version, the highlights, and "Continue".
Rectangle {
    id: root
    required property QtObject controller
    property bool opaque: false
    // Set by the window's maker, as every view of Tillory decides it.
    property bool dark: true
    width: 420
    // On a short screen the window stops at its height and the content scrolls.
    property real maxHeight: 100000
    height: Math.min(column.implicitHeight + 2 * 28 + footer.height, maxHeight)
    radius: opaque ? 0 : 14
    color: theme.card
    border.color: opaque ? "transparent" : theme.outline

    // Escape closes the window as the desktop's close does: nothing is remembered.
    focus: true
    Keys.onEscapePressed: root.Window.window.close()

    ShellTheme { id: theme; dark: root.dark }

    // The window has no title bar: its background moves it.
    DragHandler {
        target: null
        onActiveChanged: if (active) root.Window.window.startSystemMove()
    }

    Flickable {
        id: scroller
        objectName: "scroller"
        anchors { left: parent.left; right: parent.right; top: parent.top; bottom: footer.top }
        contentHeight: column.implicitHeight + 2 * 28
        interactive: contentHeight > height
        clip: true
        boundsBehavior: Flickable.StopAtBounds

    Column {
        id: column
        x: 28; y: 28
        width: parent.width - 56
        spacing: 22

        Column {
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 4
            Item {
                anchors.horizontalCenter: parent.horizontalCenter
                width: 72; height: 76
                // A soft shadow under the icon, black at 25 %.
                Rectangle {
                    x: 2; y: 4
                    width: 68; height: 68
                    radius: 16
                    color: "#40000000"
                }
                AppIcon { x: 0; y: 0; width: 72; height: 72 }
            }
            Text {
                textFormat: Text.PlainText
                anchors.horizontalCenter: parent.horizontalCenter
                text: "What's New in Tillory"
                color: theme.text
                font.pixelSize: 22
                font.weight: Font.DemiBold
            }
            Text {
                textFormat: Text.PlainText
                anchors.horizontalCenter: parent.horizontalCenter
                text: "Version " + (root.controller ? root.controller.version : "")
                color: theme.secondary
                font.pixelSize: 15
            }
        }

        Column {
            width: parent.width
            spacing: 14
            Repeater {
                model: root.controller ? root.controller.highlights : []
                delegate: Row {
                    required property var modelData
                    spacing: 10
                    Item {
                        width: 26; height: 20
                        Symbol {
                            anchors.centerIn: parent
                            width: 18; height: 18
                            name: modelData.symbol
                            color: theme.accent
                            weight: 1.6
                        }
                    }
                    Column {
                        width: column.width - 36
                        spacing: 2
                        Text {
                            textFormat: Text.PlainText
                            width: parent.width
                            text: modelData.title
                            color: theme.text
                            font.pixelSize: 13
                            font.weight: Font.DemiBold
                        }
                        Text {
                            textFormat: Text.PlainText
                            width: parent.width
                            text: modelData.detail
                            color: theme.secondary
                            font.pixelSize: 12
                            wrapMode: Text.Wrap
                        }
                    }
                }
            }
        }
    }
    }

    // More below: the last lines fade out and a bar shows how far down the view is.
    Rectangle {
        objectName: "moreBelow"
        anchors { left: parent.left; right: parent.right; bottom: footer.top }
        height: 28
        visible: scroller.interactive && !scroller.atYEnd
        gradient: Gradient {
            GradientStop { position: 0; color: Qt.rgba(theme.card.r, theme.card.g, theme.card.b, 0) }
            GradientStop { position: 1; color: theme.card }
        }
    }
    Rectangle {
        visible: scroller.interactive
        x: parent.width - 7
        y: scroller.visibleArea.yPosition * scroller.height + 4
        width: 3
        height: Math.max(20, scroller.visibleArea.heightRatio * scroller.height - 8)
        radius: 1.5
        color: theme.secondary
        opacity: 0.5
    }

    // The button stays in view however short the screen: only the content above it scrolls.
    Item {
        id: footer
        anchors { left: parent.left; right: parent.right; bottom: parent.bottom }
        height: continueButton.height + 28
        ProminentButton {
            id: continueButton
            objectName: "continue"
            anchors.horizontalCenter: parent.horizontalCenter
            theme: theme
            large: true
            text: "Continue"
            onClicked: root.controller.done()
        }
    }

    // Tillory's icon: the tray icon's three tiles, white on a blue rounded square.
    component AppIcon: Rectangle {
        radius: 16
        gradient: Gradient {
            GradientStop { position: 0; color: "#3d8bff" }
            GradientStop { position: 1; color: "#1f5fd1" }
        }
        Repeater {
            model: [[0.22, 0.22, 0.26, 0.56], [0.52, 0.22, 0.26, 0.26], [0.52, 0.52, 0.26, 0.26]]
            delegate: Rectangle {
                required property var modelData
                x: parent.width * modelData[0]; y: parent.height * modelData[1]
                width: parent.width * modelData[2] - 2; height: parent.height * modelData[3] - 2
                radius: 4
                color: "white"
            }
        }
    }
}
