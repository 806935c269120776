import QtQuick
import "qrc:/tillory/ui"

// The panel's clipboard page: back, title and trash; then the newest entries, pinned first. A click copies an
// entry back and closes the panel; hovering a row shows its pin and delete buttons, which act on that entry only.
Item {
    id: page
    required property QtObject model
    // The panel's colours when it hands them over (only `dark` is read); a dark panel otherwise.
    property QtObject theme: null
    readonly property bool dark: theme ? theme.dark : true
    readonly property color textColor: dark ? "#f2ffffff" : "#e6000000"
    readonly property color secondary: dark ? "#a0ffffff" : "#8c000000"
    readonly property color faint: dark ? "#59ffffff" : "#47000000"
    readonly property color hoverColor: dark ? "#1affffff" : "#10000000"
    readonly property color pinColor: "#ff9f0a"
    implicitHeight: column.implicitHeight

    Column {
        id: column
        width: parent.width
        spacing: 8

        Item {
            width: parent.width
            height: 26
            IconButton {
                id: backButton
                objectName: "back"
                anchors.verticalCenter: parent.verticalCenter
                symbol: "chevron.left"
                onClicked: page.model.back()
            }
            Text {
                textFormat: Text.PlainText
                anchors.left: backButton.right; anchors.leftMargin: 4
                anchors.verticalCenter: parent.verticalCenter
                text: "Clipboard"
                color: page.textColor
                font.pixelSize: 14
                font.weight: Font.DemiBold
            }
            IconButton {
                objectName: "trash"
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                symbol: "trash"
                enabled: !page.model.empty
                onClicked: page.model.clear()
            }
        }

        Text {
            textFormat: Text.PlainText
            visible: page.model.rows.length === 0
            width: parent.width
            topPadding: 28; bottomPadding: 28
            horizontalAlignment: Text.AlignHCenter
            text: "Copy something and it will appear here."
            color: page.secondary
            font.pixelSize: 12
        }

        Column {
            width: parent.width
            spacing: 1
            // By count, not by list: rows that change in place keep their items and their hover.
            Repeater {
                model: page.model.rows.length
                delegate: ClipRow {
                    required property int index
                    width: column.width
                    row: page.model.rows[index] || ({})
                }
            }
        }
    }

    component IconButton: Item {
        id: button
        property string symbol
        property real size: 13
        readonly property bool hovered: area.containsMouse
        signal clicked()
        width: 24; height: 24
        opacity: enabled ? 1 : 0.3
        Rectangle {
            anchors.fill: parent
            radius: 6
            color: area.containsMouse && button.enabled ? page.hoverColor : "transparent"
        }
        Symbol {
            anchors.centerIn: parent
            width: button.size; height: button.size
            name: button.symbol
            color: page.textColor
            weight: 1.5
        }
        MouseArea {
            id: area
            anchors.fill: parent
            hoverEnabled: true
            onClicked: button.clicked()
        }
    }

    component ClipRow: Rectangle {
        id: item
        property var row
        objectName: "row"
        height: Math.max(32, texts.implicitHeight + 12)
        radius: 7
        z: hover.hovered ? 1 : 0 // its tooltip hangs over the next row
        color: hover.hovered ? page.hoverColor : "transparent"

        HoverHandler { id: hover }
        // Under the buttons: a click on a button never reaches it.
        MouseArea {
            anchors.fill: parent
            onClicked: page.model.copy(item.row.id)
        }

        Item {
            id: mark
            x: 6; y: 7
            width: 16; height: 14
            Symbol {
                anchors.centerIn: parent
                width: 10; height: 10
                name: item.row.pinned ? "pin.fill" : "text.alignleft"
                color: item.row.pinned ? page.pinColor : page.faint
                weight: 1.3
            }
        }
        Column {
            id: texts
            anchors.left: mark.right; anchors.leftMargin: 6
            anchors.right: buttons.visible ? buttons.left : parent.right
            anchors.rightMargin: 8
            y: 6
            spacing: 2
            Text {
                textFormat: Text.PlainText
                width: parent.width
                text: item.row.text
                color: page.textColor
                font.pixelSize: 12
                wrapMode: Text.Wrap
                maximumLineCount: 2
                elide: Text.ElideRight
            }
            Text {
                textFormat: Text.PlainText
                text: item.row.age
                color: page.secondary
                font.pixelSize: 9
            }
        }
        Row {
            id: buttons
            visible: hover.hovered
            anchors.right: parent.right; anchors.rightMargin: 4
            anchors.verticalCenter: parent.verticalCenter
            spacing: 0
            IconButton {
                id: pinButton
                objectName: "pin"
                symbol: item.row.pinned ? "pin.slash" : "pin"
                size: 11
                onClicked: page.model.togglePin(item.row.id)
            }
            IconButton {
                objectName: "delete"
                symbol: "xmark.circle.fill"
                size: 12
                opacity: 0.75
                onClicked: page.model.remove(item.row.id)
            }
        }
        Rectangle {
            objectName: "tooltip"
            visible: pinButton.hovered && buttons.visible
            z: 2
            anchors.right: parent.right; anchors.rightMargin: 4
            anchors.top: buttons.bottom; anchors.topMargin: 2
            width: tip.implicitWidth + 12; height: tip.implicitHeight + 6
            radius: 5
            color: page.dark ? "#3a3b3f" : "#fdfdfd"
            border.color: page.dark ? "#50ffffff" : "#30000000"
            Text {
                textFormat: Text.PlainText
                id: tip
                anchors.centerIn: parent
                text: item.row.pinned ? "Unpin" : "Keep in history forever"
                color: page.textColor
                font.pixelSize: 11
            }
        }
    }
}
