import QtQuick

// The selected metric in figures: headline or stats, breakdown bar, core grid, chart, volumes, interfaces,
// thermal state and fans, as far as the metric has them.
Rectangle {
    id: card
    property var summary: ({})
    property QtObject tints
    radius: 12
    color: tints.card
    implicitHeight: body.height + 20

    component Label: Text {
        textFormat: Text.PlainText
        color: tints.secondary
        font.pixelSize: 10
    }
    component Figure: Text {
        textFormat: Text.PlainText
        color: tints.text
        font.pixelSize: 11
    }
    component Track: Rectangle {
        property real share: 0
        property color tint
        height: 5
        radius: 2.5
        color: tints.track
        Rectangle {
            height: parent.height
            radius: parent.radius
            width: Math.max(2, parent.width * parent.share)
            color: parent.tint
        }
    }

    Column {
        id: body
        x: 10
        y: 10
        width: parent.width - 20
        spacing: 8

        Text {
            textFormat: Text.PlainText
            visible: !!card.summary.unavailable
            text: card.summary.unavailable || ""
            color: tints.secondary
            font.pixelSize: 12
            height: 60
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
        }
        // The headline, or for disk and network their two rates.
        Item {
            visible: !card.summary.unavailable
            width: parent.width
            height: card.summary.headline ? headline.height : rates.height
            Text {
                textFormat: Text.PlainText
                id: headline
                objectName: "headline"
                visible: !!card.summary.headline
                text: card.summary.headline || ""
                color: tints.text
                font.pixelSize: 24
                font.weight: Font.DemiBold
            }
            Label {
                visible: headline.visible
                x: headline.width + 6
                anchors.baseline: headline.baseline
                text: card.summary.caption || ""
                font.pixelSize: 11
            }
            Row {
                id: rates
                visible: !card.summary.headline
                spacing: 14
                Repeater {
                    model: card.summary.headline ? [] : card.summary.stats
                    Column {
                        required property var modelData
                        Label { text: modelData.label }
                        Figure {
                            text: modelData.value
                            color: tints.named(modelData.tint)
                            font.pixelSize: 15
                            font.weight: Font.DemiBold
                        }
                    }
                }
            }
            Label {
                anchors.right: parent.right
                anchors.baseline: headline.baseline
                text: "last min"
                visible: headline.visible && !!card.summary.chart
            }
            Label {
                anchors.right: parent.right
                anchors.bottom: parent.bottom
                anchors.bottomMargin: 3
                text: "last min"
                visible: !headline.visible && !!card.summary.chart
            }
        }
        // Breakdown bar: stacked fractions with a legend.
        Column {
            visible: (card.summary.segments || []).length > 0
            width: parent.width
            spacing: 5
            Rectangle {
                width: parent.width
                height: 6
                radius: 3
                color: tints.track
                clip: true
                Row {
                    Repeater {
                        model: card.summary.segments || []
                        Rectangle {
                            required property var modelData
                            height: 6
                            width: body.width * modelData.fraction
                            color: tints.named(modelData.tint)
                        }
                    }
                }
            }
            Row {
                spacing: 12
                Repeater {
                    model: card.summary.segments || []
                    Row {
                        required property var modelData
                        spacing: 4
                        Rectangle {
                            width: 6; height: 6; radius: 3
                            anchors.verticalCenter: parent.verticalCenter
                            color: tints.named(modelData.tint)
                        }
                        Label { text: modelData.label }
                        Figure { text: modelData.text; font.pixelSize: 10 }
                    }
                }
            }
        }
        // Core grid: six columns, a bar per core filling its cell's height.
        Grid {
            visible: (card.summary.cores || []).length > 0
            columns: 6
            spacing: 3
            Repeater {
                model: card.summary.cores || []
                Rectangle {
                    required property var modelData
                    width: (body.width - 5 * 3) / 6
                    height: 22
                    radius: 3
                    color: tints.track
                    Rectangle {
                        anchors.bottom: parent.bottom
                        width: parent.width
                        height: Math.max(1.5, parent.height * modelData.value)
                        radius: 3
                        color: modelData.level === 2 ? tints.named("red")
                             : modelData.level === 1 ? tints.named("orange") : tints.accent
                    }
                }
            }
        }
        MetricAreaChart {
            objectName: "chart"
            visible: !!card.summary.chart
            width: parent.width
            series: card.summary.chart || ({})
            tint: tints.named((card.summary.chart || {}).tint)
            tints: card.tints
        }
        // Power: what the battery draws or takes (the rates of disk and network are above).
        Repeater {
            model: card.summary.headline ? card.summary.stats : []
            Item {
                required property var modelData
                width: body.width
                height: 16
                Label { text: modelData.label; anchors.verticalCenter: parent.verticalCenter; font.pixelSize: 11 }
                Figure {
                    anchors.right: parent.right
                    text: modelData.value
                    color: tints.named(modelData.tint)
                    font.weight: Font.DemiBold
                }
            }
        }
        Repeater {
            model: card.summary.details || []
            Item {
                required property var modelData
                width: body.width
                height: 16
                Label { text: modelData.label; anchors.verticalCenter: parent.verticalCenter; font.pixelSize: 11 }
                Figure { anchors.right: parent.right; text: modelData.value }
            }
        }
        Repeater {
            model: card.summary.interfaces || []
            Item {
                required property var modelData
                width: body.width
                height: 16
                Figure { text: modelData.name; anchors.verticalCenter: parent.verticalCenter }
                Row {
                    anchors.right: parent.right
                    spacing: 10
                    Figure { text: modelData.down; color: tints.named("green"); font.family: "monospace"; font.pixelSize: 10 }
                    Figure { text: modelData.up; color: tints.named("orange"); font.family: "monospace"; font.pixelSize: 10 }
                }
            }
        }
        Repeater {
            model: card.summary.volumes || []
            Column {
                required property var modelData
                width: body.width
                spacing: 4
                Item {
                    width: parent.width
                    height: 14
                    Row {
                        spacing: 5
                        MonitorSymbol { width: 12; height: 12; name: "internaldrive"; color: tints.secondary; weight: 1.2 }
                        Figure { text: modelData.name }
                    }
                    Label { anchors.right: parent.right; text: modelData.text }
                }
                Track { width: parent.width; share: modelData.share; tint: tints.named("cyan") }
            }
        }
        // Thermal pill.
        Row {
            visible: !!card.summary.thermal
            spacing: 6
            Label { text: "Thermal"; anchors.verticalCenter: parent.verticalCenter; font.pixelSize: 11 }
            Rectangle {
                readonly property color tint: tints.named((card.summary.thermal || {}).tint)
                width: pill.width + 14
                height: 18
                radius: 9
                color: tints.withAlpha(tint, 0.18)
                Text {
                    textFormat: Text.PlainText
                    id: pill
                    anchors.centerIn: parent
                    text: (card.summary.thermal || {}).text || ""
                    color: parent.tint
                    font.pixelSize: 10
                    font.weight: Font.DemiBold
                }
            }
        }
        Row {
            visible: card.summary.showsFans === true && (card.summary.fans || []).length === 0
            spacing: 6
            MonitorSymbol { width: 13; height: 13; name: "fan.slash"; color: tints.secondary }
            Label { text: "No fan sensors"; font.pixelSize: 11 }
        }
        Repeater {
            model: card.summary.fans || []
            Column {
                required property var modelData
                width: body.width
                spacing: 4
                Item {
                    width: parent.width
                    height: 14
                    Row {
                        spacing: 5
                        MonitorSymbol { width: 12; height: 12; name: "fanblades.fill"; color: tints.secondary }
                        Figure { text: modelData.title }
                    }
                    Label { anchors.right: parent.right; text: modelData.text }
                }
                Track { width: parent.width; share: modelData.fraction; tint: tints.named("blue") }
            }
        }
    }
}
