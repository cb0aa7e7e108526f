pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import TovraAI.Components
import TovraAI.Sessions

// One saved session in the sidebar: badge, title (with a pin mark), date label, and
// a delete button while the pointer is over it; right click for Pin/Unpin, Export as
// Markdown and Delete.
Item {
    id: root

    required property string sessionId
    required property string title
    required property string initial
    required property string dateLabel
    required property bool isPinned
    property bool selected: false
    property bool hovered: false

    signal clicked()
    signal hoverChanged(bool hovered)
    signal togglePinRequested()
    signal exportRequested()
    signal deleteRequested()

    implicitHeight: content.implicitHeight + 8
    Accessible.role: Accessible.ListItem
    Accessible.name: root.title
    Accessible.selected: root.selected

    Rectangle {
        anchors.fill: parent
        anchors.leftMargin: 8
        anchors.rightMargin: 8
        radius: 6
        color: root.selected ? Theme.alpha(Theme.accent, 0.22)
             : root.hovered ? Theme.alpha(Theme.label, 0.05) : "transparent"
    }

    HoverHandler {
        onHoveredChanged: root.hoverChanged(hovered)
    }
    TapHandler {
        acceptedButtons: Qt.LeftButton
        onTapped: root.clicked()
    }
    TapHandler {
        acceptedButtons: Qt.RightButton
        onTapped: contextMenu.popup()
    }

    Row {
        id: content
        x: 16
        y: 4
        width: root.width - 32
        spacing: 10

        Rectangle {
            width: 28
            height: 28
            radius: 7
            anchors.verticalCenter: parent.verticalCenter
            gradient: Gradient {
                GradientStop { position: 0; color: Theme.alpha(Theme.accent, 0.18) }
                GradientStop { position: 1; color: Theme.alpha(Theme.accent, 0.08) }
            }
            Text {
                anchors.centerIn: parent
                text: root.initial
                font.pixelSize: 12
                font.weight: Font.DemiBold
                color: Theme.accent
            }
        }

        Column {
            anchors.verticalCenter: parent.verticalCenter
            width: content.width - 28 - content.spacing - (deleteButton.visible ? deleteButton.width + content.spacing : 0)
            spacing: 2
            Row {
                width: parent.width
                spacing: 4
                Text {
                    id: titleText
                    width: Math.min(implicitWidth, parent.width - (pinMark.visible ? pinMark.width + 4 : 0))
                    text: root.title
                    elide: Text.ElideRight
                    font.pixelSize: 13
                    font.weight: Font.Medium
                    color: Theme.label
                }
                Icon {
                    id: pinMark
                    anchors.verticalCenter: titleText.verticalCenter
                    visible: root.isPinned
                    name: "pin.fill"
                    size: 8
                    color: Theme.alpha(Theme.accent, 0.7)
                }
            }
            Text {
                text: root.dateLabel
                font.pixelSize: 10
                color: Theme.alpha(Theme.secondary, 0.65)
            }
        }

        PlainButton {
            id: deleteButton
            objectName: "deleteSessionButton"
            anchors.verticalCenter: parent.verticalCenter
            visible: opacity > 0
            opacity: root.hovered ? 1 : 0
            scale: root.hovered ? 1 : 0.01
            Behavior on opacity { NumberAnimation { duration: 120; easing.type: Easing.InOutQuad } }
            Behavior on scale { NumberAnimation { duration: 120; easing.type: Easing.InOutQuad } }
            symbol: "xmark.circle.fill"
            symbolSize: 14
            color: Theme.alpha(Theme.secondary, 0.45)
            toolTip: "Delete"
            onClicked: root.deleteRequested()
        }
    }

    Menu {
        id: contextMenu
        IconMenuItem {
            text: root.isPinned ? "Unpin" : "Pin"
            symbol: root.isPinned ? "pin.slash" : "pin"
            onTriggered: root.togglePinRequested()
        }
        IconMenuItem {
            objectName: "exportMenuItem"
            text: "Export as Markdown…"
            symbol: "square.and.arrow.up"
            onTriggered: root.exportRequested()
        }
        MenuSeparator {}
        IconMenuItem {
            text: "Delete"
            symbol: "trash"
            destructive: true
            onTriggered: root.deleteRequested()
        }
    }

    function openContextMenu(): void {
        contextMenu.popup(root, 16, root.height)
    }
}
