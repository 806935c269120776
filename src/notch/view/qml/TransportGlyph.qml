import QtQuick
import "qrc:/tillory/ui"

// A transport button: fires only when released near where it was pressed, so a press that slides away is no click.
Item {
    id: glyph
    property string symbol
    required property OverlayTheme theme
    property bool isHovered: area.containsMouse
    property bool isPressed: false
    signal action()
    width: 26
    height: 26

    Rectangle {
        anchors.fill: parent
        radius: width / 2
        color: glyph.theme.ink(glyph.isHovered ? 0.16 : 0.06)
        scale: glyph.isPressed ? 0.86 : 1
        Behavior on scale { NumberAnimation { duration: 90 } }
        Behavior on color { ColorAnimation { duration: 120 } }
        Symbol {
            anchors.centerIn: parent
            width: 10.5
            height: 10.5
            name: glyph.symbol
            color: glyph.theme.text
        }
    }

    MouseArea {
        id: area
        property point start
        anchors.fill: parent
        hoverEnabled: true
        onPressed: mouse => { start = Qt.point(mouse.x, mouse.y); glyph.isPressed = true; }
        onCanceled: glyph.isPressed = false
        onReleased: mouse => {
            glyph.isPressed = false;
            if (Math.abs(mouse.x - start.x) < 10 && Math.abs(mouse.y - start.y) < 10)
                glyph.action();
        }
    }
}
