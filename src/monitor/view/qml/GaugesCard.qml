import QtQuick

// The monitor on the home page: CPU, GPU and memory rings over temperature, network, disk and power readouts.
// Every ring and readout opens the dashboard on its metric.
Item {
    id: root
    required property QtObject model
    // The host's colours when it hands them over (their `dark` and `accent`), else the desktop palette's.
    property QtObject theme: null
    property bool dark: theme ? theme.dark : systemPalette.window.hslLightness < 0.5
    implicitHeight: card.height

    SystemPalette { id: systemPalette }
    Tints { id: colours; dark: root.dark; accent: root.theme ? root.theme.accent : (dark ? "#0a84ff" : "#007aff") }

    Rectangle {
        id: card
        objectName: "gaugesCard"
        width: parent.width
        height: content.height + 32
        radius: 16
        color: colours.card
        border.color: colours.withAlpha(colours.text, 0.06)

        Column {
            id: content
            y: 16
            x: 8
            width: parent.width - 16
            spacing: 14

            Row {
                anchors.horizontalCenter: parent.horizontalCenter
                spacing: (content.width - 3 * 64) / 3
                Repeater {
                    model: root.model.rings
                    GaugeRing {
                        required property var modelData
                        objectName: "ring" + modelData.label
                        tints: colours
                        value: modelData.value
                        centerText: modelData.centerText
                        label: modelData.label
                        symbol: modelData.symbol
                        tint: colours.named(modelData.tint)
                        onTapped: root.model.open(modelData.metric)
                    }
                }
            }

            Row {
                id: cells
                spacing: 4
                Repeater {
                    model: root.model.cells
                    Rectangle {
                        id: cell
                        required property var modelData
                        required property int index
                        objectName: "cell" + index
                        width: (content.width - 3 * cells.spacing) / 4
                        height: 52
                        radius: 10
                        color: cellHover.hovered ? colours.hover : colours.withAlpha(colours.text, 0.035)
                        Behavior on color { ColorAnimation { duration: 150 } }

                        Column {
                            anchors.centerIn: parent
                            spacing: 2
                            MonitorSymbol {
                                anchors.horizontalCenter: parent.horizontalCenter
                                width: 13; height: 13
                                name: cell.modelData.symbol
                                color: colours.named(cell.modelData.tint)
                            }
                            Repeater {
                                model: cell.modelData.lines
                                Row {
                                    required property var modelData
                                    anchors.horizontalCenter: parent.horizontalCenter
                                    spacing: 2
                                    Text {
                                        textFormat: Text.PlainText
                                        visible: text !== ""
                                        text: modelData.label
                                        color: colours.secondary
                                        font.pixelSize: 9
                                        font.family: "monospace"
                                    }
                                    Text {
                                        textFormat: Text.PlainText
                                        text: modelData.value
                                        color: colours.text
                                        font.pixelSize: 10
                                        font.family: "monospace"
                                    }
                                }
                            }
                        }
                        HoverHandler { id: cellHover }
                        TapHandler { onTapped: root.model.open(cell.modelData.metric) }
                    }
                }
            }
        }
    }
}
