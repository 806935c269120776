import QtQuick

// The processes behind the metric: a search over all of them, or the Apps view (applications, the System group
// and Other apps) or All, each row with its figure in a 72-point column on the right.
Column {
    id: list
    required property QtObject model
    property QtObject tints
    // Height the rows may take; beyond it they scroll (a machine with many cores has a tall summary card).
    property real rowsHeight: Infinity
    // Everything but the rows, as laid out (hidden items take no room).
    readonly property real chromeHeight: searchRow.height + spacing
        + (samplingRow.visible ? samplingRow.height + spacing : 0)
        + (columnHeader.visible ? columnHeader.height + spacing : 0)
        + (emptyLabel.visible ? emptyLabel.height + spacing : 0)
        + (endBar.visible ? endBar.height + spacing : 0)
    spacing: 6

    Row {
        id: searchRow
        spacing: 6
        Rectangle {
            width: list.width - scopes.width - 6
            height: 26
            radius: 8
            color: tints.withAlpha(tints.text, 0.06)
            border.color: search.activeFocus ? tints.withAlpha(tints.accent, 0.6) : "transparent"
            MonitorSymbol {
                x: 8
                anchors.verticalCenter: parent.verticalCenter
                width: 12; height: 12
                name: "magnifyingglass"
                color: tints.secondary
            }
            TextInput {
                id: search
                objectName: "search"
                x: 26
                width: parent.width - 26 - 24
                anchors.verticalCenter: parent.verticalCenter
                text: list.model.query
                onTextEdited: list.model.query = text
                color: tints.text
                selectionColor: tints.accent
                font.pixelSize: 12
                clip: true
                Text {
                    textFormat: Text.PlainText
                    visible: !search.text
                    text: "Search all processes"
                    color: tints.secondary
                    font: search.font
                }
            }
            MonitorSymbol {
                objectName: "clearSearch"
                visible: list.model.query !== ""
                anchors.right: parent.right
                anchors.rightMargin: 6
                anchors.verticalCenter: parent.verticalCenter
                width: 13; height: 13
                name: "xmark.circle.fill"
                color: tints.secondary
                TapHandler { onTapped: list.model.query = "" }
            }
        }
        // Apps / All.
        Rectangle {
            id: scopes
            width: 96
            height: 26
            radius: 8
            color: tints.withAlpha(tints.text, 0.06)
            Row {
                anchors.fill: parent
                anchors.margins: 2
                Repeater {
                    model: list.model.scopeLabels
                    Rectangle {
                        required property string modelData
                        required property int index
                        objectName: "scope" + modelData
                        width: (scopes.width - 4) / 2
                        height: 22
                        radius: 6
                        readonly property bool selected: list.model.scope === index
                        color: selected ? (tints.dark ? Qt.rgba(1, 1, 1, 0.18) : "white") : "transparent"
                        Text {
                            textFormat: Text.PlainText
                            anchors.centerIn: parent
                            text: modelData
                            color: parent.selected ? tints.text : tints.secondary
                            font.pixelSize: 11
                            font.weight: parent.selected ? Font.DemiBold : Font.Normal
                        }
                        TapHandler { onTapped: list.model.scope = index }
                    }
                }
            }
        }
    }

    Row {
        id: samplingRow
        visible: list.model.listState === "sampling"
        spacing: 6
        height: 28
        Rectangle {
            id: spinner
            anchors.verticalCenter: parent.verticalCenter
            width: 12; height: 12; radius: 6
            color: "transparent"
            border.width: 2
            border.color: tints.track
            Rectangle { width: 4; height: 4; radius: 2; x: 4; y: -1; color: tints.secondary }
            RotationAnimator on rotation { from: 0; to: 360; duration: 900; loops: Animation.Infinite; running: spinner.visible }
        }
        Text {
            textFormat: Text.PlainText
            anchors.verticalCenter: parent.verticalCenter
            text: "Sampling…"
            color: tints.secondary
            font.pixelSize: 11
        }
    }

    Item {
        id: columnHeader
        visible: list.model.listState !== "sampling"
        width: list.width
        height: 14
        Text { x: 4; textFormat: Text.PlainText; text: "PROCESS"; color: tints.secondary; font.pixelSize: 9; font.weight: Font.DemiBold; font.letterSpacing: 0.6 }
        Text {
            textFormat: Text.PlainText
            anchors.right: parent.right
            anchors.rightMargin: 4
            width: 72
            horizontalAlignment: Text.AlignRight
            text: list.model.columnTitle
            color: tints.secondary
            font.pixelSize: 9
            font.weight: Font.DemiBold
            font.letterSpacing: 0.6
        }
    }

    Flickable {
        id: rowsView
        width: list.width
        height: Math.min(rows.height, Math.max(60, list.rowsHeight))
        contentHeight: rows.height
        interactive: contentHeight > height
        clip: interactive
        boundsBehavior: Flickable.StopAtBounds
        Column {
            id: rows
            width: list.width
            Repeater {
                model: list.model.rows
                Rectangle {
                    id: row
                    required property var modelData
                    readonly property bool isSystem: modelData.kind === "system"
                    readonly property bool isProcess: modelData.kind === "process"
                    // A hovered process tells which one it is: its pid and how it was started.
                    readonly property bool opened: isProcess && rowHover.hovered
                    objectName: "row" + modelData.kind
                    width: list.width
                    height: opened ? 34 : 20
                    radius: 6
                    color: rowHover.hovered && (isSystem || isProcess) ? tints.hover : "transparent"

                    Row {
                        x: row.modelData.indented ? 22 : 4
                        y: 3
                        spacing: 6
                        Item {
                            width: 14; height: 14
                            anchors.verticalCenter: parent.verticalCenter
                            Image {
                                anchors.fill: parent
                                visible: !!row.modelData.icon
                                source: row.modelData.icon || ""
                                sourceSize: Qt.size(28, 28)
                                smooth: true
                                // Out of the shared picture cache, which outlives the page; a dozen small icons are
                                // cheap to make again.
                                cache: false
                            }
                            MonitorSymbol {
                                anchors.fill: parent
                                visible: !row.modelData.icon
                                name: row.modelData.kind === "system" ? "gearshape.2.fill"
                                    : row.modelData.kind === "other" ? "ellipsis" : "gearshape.fill"
                                color: tints.secondary
                            }
                        }
                        Text {
                            textFormat: Text.PlainText
                            anchors.verticalCenter: parent.verticalCenter
                            width: Math.min(implicitWidth, list.width - 72 - 80 - (row.modelData.indented ? 18 : 0))
                            elide: Text.ElideRight
                            text: row.modelData.name
                            color: tints.text
                            font.pixelSize: 12
                        }
                        Rectangle {
                            visible: !!row.modelData.badge
                            anchors.verticalCenter: parent.verticalCenter
                            width: badge.width + 8
                            height: 14
                            radius: 7
                            color: tints.withAlpha(tints.text, 0.08)
                            Text {
                                textFormat: Text.PlainText
                                id: badge
                                anchors.centerIn: parent
                                text: row.modelData.badge || ""
                                color: tints.secondary
                                font.pixelSize: 9
                            }
                        }
                        MonitorSymbol {
                            visible: row.isSystem
                            anchors.verticalCenter: parent.verticalCenter
                            width: 10; height: 10
                            name: "chevron.right"
                            color: tints.secondary
                            rotation: row.modelData.expanded ? 90 : 0
                            Behavior on rotation { SpringAnimation { spring: 6; damping: 0.5; epsilon: 0.5 } }
                        }
                    }
                    Text {
                        textFormat: Text.PlainText
                        objectName: "detail"
                        visible: row.opened
                        x: row.modelData.indented ? 42 : 24
                        y: 19
                        width: parent.width - x - 26
                        elide: Text.ElideMiddle
                        text: row.modelData.detail || ""
                        color: tints.secondary
                        font.pixelSize: 10
                    }
                    Text {
                        textFormat: Text.PlainText
                        anchors.right: parent.right
                        anchors.rightMargin: 4
                        y: 3
                        width: 72
                        horizontalAlignment: Text.AlignRight
                        text: row.modelData.value
                        color: row.modelData.indented ? tints.secondary : tints.text
                        font.pixelSize: 11
                    }
                    MonitorSymbol {
                        objectName: "endProcess"
                        visible: row.opened && !!row.modelData.canEnd
                        anchors.right: parent.right
                        anchors.rightMargin: 6
                        y: 19
                        width: 13; height: 13
                        name: "xmark.circle.fill"
                        color: endHover.hovered ? "#ff453a" : tints.secondary
                        HoverHandler { id: endHover }
                        TapHandler { onTapped: list.model.askToEnd(row.modelData.pid) }
                    }
                    HoverHandler { id: rowHover; enabled: row.isSystem || row.isProcess }
                    TapHandler { enabled: row.isSystem; onTapped: list.model.toggleSystem() }
                }
            }
        }
    }

    // Ending a process asks first, naming it; a refusal says why.
    Rectangle {
        id: endBar
        objectName: "endBar"
        visible: list.model.pendingEnd.pid !== undefined || list.model.endNotice !== ""
        width: list.width
        height: visible ? endColumn.height + 16 : 0
        radius: 8
        color: tints.withAlpha("#ff453a", 0.12)
        Column {
            id: endColumn
            x: 8; y: 8
            width: parent.width - 16
            spacing: 6
            Text {
                textFormat: Text.PlainText
                objectName: "endQuestion"
                width: parent.width
                wrapMode: Text.Wrap
                text: list.model.pendingEnd.question || list.model.endNotice
                color: tints.text
                font.pixelSize: 11
            }
            Row {
                anchors.right: parent.right
                spacing: 8
                Repeater {
                    model: list.model.pendingEnd.pid !== undefined ? [["cancelEnd", "Cancel"], ["confirmEnd", "End Process"]]
                                                                   : [["cancelEnd", "OK"]]
                    Rectangle {
                        required property var modelData
                        objectName: modelData[0]
                        width: label.implicitWidth + 16
                        height: 20
                        radius: 6
                        color: modelData[0] === "confirmEnd" ? "#ff453a" : tints.withAlpha(tints.text, 0.1)
                        Text {
                            id: label
                            textFormat: Text.PlainText
                            anchors.centerIn: parent
                            text: parent.modelData[1]
                            color: parent.modelData[0] === "confirmEnd" ? "white" : tints.text
                            font.pixelSize: 11
                            font.weight: Font.DemiBold
                        }
                        TapHandler {
                            onTapped: parent.modelData[0] === "confirmEnd" ? list.model.confirmEnd() : list.model.cancelEnd()
                        }
                    }
                }
            }
        }
    }

    Text {
        textFormat: Text.PlainText
        id: emptyLabel
        visible: text !== ""
        x: 4
        height: 22
        verticalAlignment: Text.AlignVCenter
        text: list.model ? list.model.emptyText : ""
        color: tints.secondary
        font.pixelSize: 11
    }
}
