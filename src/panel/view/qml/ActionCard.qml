import QtQuick
import "qrc:/tillory/ui"

// A card of the home page: symbol, title, an optional count, one line of text and a trailing symbol; highlighted
// on hover, the whole card is one button.
Rectangle {
    id: card
    required property QtObject theme
    property string symbol
    property string title
    property string count
    property string line
    property string trailing
    property int lines: 1
    signal clicked()
    implicitHeight: Math.max(52, text.implicitHeight + 20)
    radius: 10
    color: hover.hovered ? theme.hover : theme.group

    Symbol {
        id: leading
        name: card.symbol
        x: 12
        anchors.verticalCenter: parent.verticalCenter
        width: 20; height: 20
        weight: 1.5
        color: theme.accent
    }
    Column {
        id: text
        anchors.left: leading.right; anchors.leftMargin: 10
        anchors.right: end.left; anchors.rightMargin: 8
        anchors.verticalCenter: parent.verticalCenter
        spacing: 2
        Row {
            spacing: 6
            Text {
                textFormat: Text.PlainText
                text: card.title
                color: theme.text
                font.pixelSize: 13
                font.weight: Font.DemiBold
            }
            Text {
                textFormat: Text.PlainText
                visible: card.count !== ""
                text: card.count
                color: theme.secondary
                font.pixelSize: 12
                anchors.baseline: parent.children[0].baseline
            }
        }
        Text {
            textFormat: Text.PlainText
            width: parent.width
            text: card.line
            color: theme.secondary
            font.pixelSize: 11
            elide: Text.ElideRight
            wrapMode: card.lines > 1 ? Text.WordWrap : Text.NoWrap
            maximumLineCount: card.lines
        }
    }
    Symbol {
        id: end
        name: card.trailing
        anchors.right: parent.right; anchors.rightMargin: 12
        anchors.verticalCenter: parent.verticalCenter
        width: 12; height: 12
        weight: 1.6
        color: theme.secondary
    }
    HoverHandler { id: hover }
    TapHandler { onTapped: card.clicked() }
}
