import QtQuick

// One metric at a time: a back control and the metric chips, the metric's summary card, and for CPU, memory and
// disk the process list.
Item {
    id: root
    required property QtObject model
    // The panel's sheet is at most 640 − 2 × 12 tall: the process rows scroll rather than run past it.
    property real maximumHeight: 616
    // The host's colours when it hands them over (their `dark` and `accent`), else the desktop palette's.
    property QtObject theme: null
    property bool dark: theme ? theme.dark : systemPalette.window.hslLightness < 0.5
    implicitHeight: page.height

    SystemPalette { id: systemPalette }
    Tints { id: colours; dark: root.dark; accent: root.theme ? root.theme.accent : (dark ? "#0a84ff" : "#007aff") }

    Component.onCompleted: model.pageShown()
    Component.onDestruction: model.pageHidden()

    Column {
        id: page
        width: parent.width
        spacing: 10

        Row {
            id: header
            spacing: 6
            Rectangle {
                objectName: "back"
                width: 26
                height: 26
                radius: 13
                color: backHover.hovered ? colours.hover : colours.withAlpha(colours.text, 0.05)
                MonitorSymbol {
                    anchors.centerIn: parent
                    width: 14; height: 14
                    name: "chevron.left"
                    color: colours.text
                    weight: 2
                }
                HoverHandler { id: backHover }
                TapHandler { onTapped: root.model.back() }
            }
            Grid {
                id: chips
                columns: 3
                spacing: 4
                Repeater {
                    model: root.model.chips
                    Rectangle {
                        id: chip
                        required property var modelData
                        readonly property bool selected: root.model.metric === modelData.metric
                        objectName: "chip" + modelData.label
                        width: (root.width - 32 - 2 * chips.spacing) / 3
                        height: 22
                        radius: 11
                        color: selected ? colours.accent : chipHover.hovered ? colours.hover : colours.withAlpha(colours.text, 0.05)
                        Row {
                            anchors.centerIn: parent
                            spacing: 4
                            MonitorSymbol {
                                anchors.verticalCenter: parent.verticalCenter
                                width: 11; height: 11
                                name: chip.modelData.symbol
                                color: chip.selected ? "white" : colours.text
                                weight: 1.2
                            }
                            Text {
                                textFormat: Text.PlainText
                                anchors.verticalCenter: parent.verticalCenter
                                text: chip.modelData.label
                                color: chip.selected ? "white" : colours.text
                                font.pixelSize: 11
                                font.weight: chip.selected ? Font.DemiBold : Font.Normal
                            }
                        }
                        HoverHandler { id: chipHover }
                        TapHandler { onTapped: root.model.metric = chip.modelData.metric }
                    }
                }
            }
        }

        SummaryCard {
            id: summaryCard
            width: parent.width
            summary: root.model.summary
            tints: colours
        }

        ProcessList {
            id: processList
            visible: root.model.hasProcessList
            rowsHeight: root.maximumHeight - header.height - summaryCard.height - 2 * page.spacing
                        - processList.chromeHeight
            width: parent.width
            model: root.model
            tints: colours
        }
    }
}
