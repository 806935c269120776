import QtQuick
import "qrc:/tillory/ui"

// The home page: gauges, switches, the clipboard and keyboard-cleaning cards, the hint, the update row, footer.
Item {
    id: page
    required property QtObject model
    required property QtObject panel
    required property QtObject theme
    implicitHeight: column.implicitHeight

    Column {
        id: column
        width: parent.width
        spacing: 10

        Loader {
            id: gauges
            width: parent.width
            property QtObject gaugesModel: page.panel ? page.panel.gauges : null
            onGaugesModelChanged: {
                if (gaugesModel)
                    setSource("qrc:/tillory/monitor/GaugesCard.qml", { model: gaugesModel, theme: page.theme });
                else
                    setSource("");
            }
            Component.onCompleted: gaugesModelChanged()
            visible: status === Loader.Ready
            height: visible && item ? item.implicitHeight : 0
        }

        Rectangle {
            objectName: "switches"
            width: parent.width
            height: toggles.implicitHeight + 8
            radius: 10
            color: theme.group
            Column {
                id: toggles
                y: 4
                width: parent.width
                Repeater {
                    model: page.model.toggles.length
                    delegate: ToggleRow {
                        required property int index
                        width: toggles.width
                        theme: page.theme
                        title: page.model.toggles[index].title
                        isOn: page.model.toggles[index].isOn
                        onToggled: on => page.model.setToggle(index, on)
                    }
                }
            }
        }

        ActionCard {
            objectName: "clipboardCard"
            width: parent.width
            theme: page.theme
            symbol: "doc.on.clipboard"
            title: "Clipboard"
            count: page.model.clipboardCount > 0 ? String(page.model.clipboardCount) : ""
            line: page.model.clipboardLine
            trailing: "chevron.right"
            onClicked: page.model.openClipboard()
        }

        ActionCard {
            objectName: "cleaningCard"
            width: parent.width
            theme: page.theme
            symbol: "keyboard"
            title: "Keyboard Cleaning"
            line: "Lock the keys to wipe them — slide to turn back on"
            trailing: "lock"
            lines: 2
            onClicked: page.model.startKeyboardCleaning()
        }

        Rectangle {
            objectName: "hint"
            visible: page.model.hintText !== ""
            width: parent.width
            height: hintColumn.implicitHeight + 16
            radius: 10
            color: theme.group
            Column {
                id: hintColumn
                x: 10; y: 8
                width: parent.width - 20
                spacing: 6
                Row {
                    width: parent.width
                    spacing: 8
                    Symbol {
                        id: warning
                        name: "exclamationmark.triangle.fill"
                        width: 16; height: 16
                        color: theme.warning
                        anchors.verticalCenter: parent.verticalCenter
                    }
                    Text {
                        textFormat: Text.PlainText
                        width: parent.width - warning.width - hintButtons.width - 16
                        text: page.model.hintText
                        color: theme.text
                        font.pixelSize: 12
                        wrapMode: Text.WordWrap
                        anchors.verticalCenter: parent.verticalCenter
                    }
                    Row {
                        id: hintButtons
                        spacing: 4
                        anchors.verticalCenter: parent.verticalCenter
                        PanelButton {
                            visible: page.model.hintHasRetry
                            theme: page.theme
                            text: "Retry"
                            onClicked: page.model.retryHint()
                        }
                        PanelButton {
                            theme: page.theme
                            text: "Open"
                            prominent: true
                            onClicked: page.model.openHint()
                        }
                    }
                }
                Text {
                    textFormat: Text.PlainText
                    objectName: "hintHelp"
                    visible: page.model.helpShown
                    width: parent.width
                    text: page.model.hintHelp
                    color: theme.secondary
                    font.pixelSize: 11
                    wrapMode: Text.WordWrap
                }
            }
        }

        Rectangle {
            objectName: "update"
            visible: page.model.updateText !== ""
            width: parent.width
            height: 36
            radius: 10
            color: theme.group
            Symbol {
                id: download
                name: "arrow.down.circle.fill"
                x: 10
                width: 16; height: 16
                color: theme.accent
                anchors.verticalCenter: parent.verticalCenter
            }
            Text {
                textFormat: Text.PlainText
                anchors.left: download.right; anchors.leftMargin: 8
                anchors.right: get.left; anchors.rightMargin: 8
                anchors.verticalCenter: parent.verticalCenter
                text: page.model.updateText
                color: theme.text
                font.pixelSize: 12
                elide: Text.ElideRight
            }
            PanelButton {
                id: get
                anchors.right: parent.right; anchors.rightMargin: 8
                anchors.verticalCenter: parent.verticalCenter
                theme: page.theme
                text: "Get"
                prominent: true
                onClicked: page.model.getUpdate()
            }
        }

        Item {
            objectName: "footer"
            width: parent.width
            height: 26
            PanelButton {
                anchors.left: parent.left
                anchors.verticalCenter: parent.verticalCenter
                theme: page.theme
                symbol: "sparkles"
                text: page.model.footerText
                tip: "What's New"
                onClicked: page.model.showWhatsNew()
            }
            Row {
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                spacing: 2
                PanelButton {
                    theme: page.theme
                    symbol: "keyboard"
                    text: "Shortcuts"
                    tip: "Shortcuts & Gestures"
                    onClicked: page.model.showShortcuts()
                }
                PanelButton {
                    objectName: "quit"
                    theme: page.theme
                    text: "Quit"
                    onClicked: page.model.quit()
                }
            }
        }
    }
}
