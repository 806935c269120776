import QtQuick

// The tray panel's root: a transparent layer that closes the panel when clicked, and on it, hanging from the top,
// the sheet with the current page. Pages come and go with a small scale from the top and a fade.
Item {
    id: root
    required property QtObject controller
    property bool dark: true
    readonly property int sheetHeight: card.height
    width: 324
    height: 640
    focus: true
    Keys.onEscapePressed: controller.hide()

    PanelTheme { id: panelTheme; dark: root.dark }

    MouseArea {
        objectName: "outside"
        anchors.fill: parent
        onClicked: root.controller.hide()
    }

    Rectangle {
        id: card
        objectName: "sheet"
        width: 324
        height: Math.min(root.height, flick.contentHeight + 24)
        radius: 14
        color: panelTheme.card
        border.color: panelTheme.outline
        border.width: 1
        clip: true
        Behavior on height { NumberAnimation { duration: 220; easing.type: Easing.OutCubic } }

        // Clicks on the card stay on the card.
        MouseArea { anchors.fill: parent }

        Flickable {
            id: flick
            x: 12; y: 12
            width: 300
            height: parent.height - 24
            contentWidth: 300
            contentHeight: Math.max(1, current.implicitHeight)
            boundsBehavior: Flickable.StopAtBounds
            interactive: contentHeight > height

            readonly property Item current: root.controller.page === 1 ? dashboardPage
                                          : root.controller.page === 2 ? clipboardPage : homePage

            PageSlot {
                id: homePage
                shown: root.controller.page === 0
                Loader {
                    width: 300
                    active: root.controller.home !== null
                    sourceComponent: HomePage {
                        width: 300
                        model: root.controller.home
                        panel: root.controller
                        theme: panelTheme
                    }
                    onLoaded: homePage.implicitHeight = Qt.binding(() => item ? item.implicitHeight : 0)
                }
            }
            PageSlot {
                id: dashboardPage
                shown: root.controller.page === 1
                pageModel: root.controller.dashboard
                source: "qrc:/tillory/monitor/DashboardPage.qml"
            }
            PageSlot {
                id: clipboardPage
                shown: root.controller.page === 2
                pageModel: root.controller.clipboardPage
                source: "qrc:/tillory/clipboard/ClipboardPage.qml"
            }
        }
    }

    component PageSlot: Item {
        id: slot
        property bool shown
        property QtObject pageModel
        property string source
        width: 300
        implicitHeight: 0
        visible: opacity > 0
        opacity: shown ? 1 : 0
        scale: shown ? 1 : 0.98
        transformOrigin: Item.Top
        Behavior on opacity { NumberAnimation { duration: 220; easing.type: Easing.OutCubic } }
        Behavior on scale { NumberAnimation { duration: 320; easing.type: Easing.OutCubic } }

        Loader {
            id: loader
            width: 300
            property QtObject current: slot.source !== "" ? slot.pageModel : null
            onCurrentChanged: {
                if (current)
                    setSource(slot.source, { model: current, width: 300 });
                else
                    setSource("");
            }
            onLoaded: {
                // Pages that take the panel's colours get them.
                if (item.hasOwnProperty("theme"))
                    item.theme = panelTheme;
                slot.implicitHeight = Qt.binding(() => loader.item ? loader.item.implicitHeight : 0);
            }
        }
    }
}
