import QtQuick
import "qrc:/tillory/ui"

// The shortcuts reference: a badge and title, every group's rows with their key caps, and "Done".
Rectangle {
    id: root
    required property QtObject controller
    property bool opaque: false
    // Set by the window's maker, as every view of Tillory decides it.
    property bool dark: true
    width: 430
    // On a short screen the window stops at its height and the content scrolls.
    property real maxHeight: 100000
    height: Math.min(column.implicitHeight + 2 * 26 + footer.height, maxHeight)
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
        contentHeight: column.implicitHeight + 2 * 26
        interactive: contentHeight > height
        clip: true
        boundsBehavior: Flickable.StopAtBounds

    Column {
        id: column
        x: 26; y: 26
        width: parent.width - 52
        spacing: 20

        Column {
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 6
            Rectangle {
                anchors.horizontalCenter: parent.horizontalCenter
                width: 58; height: 58
                radius: 13
                gradient: Gradient {
                    GradientStop { position: 0; color: "#9a9aa0" }
                    GradientStop { position: 1; color: "#5c5c62" }
                }
                Symbol {
                    anchors.centerIn: parent
                    width: 30; height: 30
                    name: "keyboard"
                    color: "white"
                    weight: 2
                }
            }
            Text {
                textFormat: Text.PlainText
                anchors.horizontalCenter: parent.horizontalCenter
                text: "Shortcuts & Gestures"
                color: theme.text
                font.pixelSize: 17
                font.weight: Font.DemiBold
            }
        }

        Column {
            width: parent.width
            spacing: 14
            Repeater {
                model: root.controller ? root.controller.groups : []
                delegate: Column {
                    required property var modelData
                    width: column.width
                    spacing: 6
                    Text {
                        textFormat: Text.PlainText
                        text: modelData.name
                        color: theme.tertiary
                        font.pixelSize: 10
                        font.weight: Font.DemiBold
                    }
                    Repeater {
                        model: modelData.items
                        delegate: Row {
                            required property var modelData
                            spacing: 10
                            Item {
                                width: 104
                                height: cap.height
                                Rectangle {
                                    id: cap
                                    width: Math.min(104, keys.implicitWidth + 14)
                                    height: keys.implicitHeight + 6
                                    radius: 6
                                    color: theme.keyCap
                                    Text {
                                        textFormat: Text.PlainText
                                        id: keys
                                        anchors.centerIn: parent
                                        text: modelData.keys
                                        color: theme.text
                                        font.pixelSize: 11
                                        font.weight: Font.DemiBold
                                    }
                                }
                            }
                            Column {
                                width: column.width - 114
                                spacing: 1
                                Text {
                                    textFormat: Text.PlainText
                                    width: parent.width
                                    text: modelData.title
                                    color: theme.text
                                    font.pixelSize: 12
                                    font.weight: Font.Medium
                                }
                                Text {
                                    textFormat: Text.PlainText
                                    width: parent.width
                                    text: modelData.detail
                                    color: theme.secondary
                                    font.pixelSize: 11
                                    wrapMode: Text.Wrap
                                }
                            }
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
        height: doneButton.height + 26
        ProminentButton {
            id: doneButton
            objectName: "done"
            anchors.horizontalCenter: parent.horizontalCenter
            theme: theme
            text: "Done"
            onClicked: root.controller.done()
        }
    }

}
