pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import TovraAI.Components

// The sidebar's search: magnifying glass, the text, and a clear button while not empty.
Rectangle {
    id: root

    property alias text: input.text
    property string placeholder: "Search chats…"

    implicitHeight: Math.max(input.implicitHeight, 16) + 10
    radius: 7
    color: Theme.alpha(Theme.controlBackground, 0.6)
    border.width: 0.5
    border.color: Theme.alpha(Theme.separator, 0.5)

    Icon {
        id: glass
        anchors.left: parent.left
        anchors.leftMargin: 10
        anchors.verticalCenter: parent.verticalCenter
        name: "magnifyingglass"
        size: 11
        color: Theme.secondary
    }

    TextField {
        id: input
        objectName: "searchInput"
        anchors.left: glass.right
        anchors.leftMargin: 6
        anchors.right: clearButton.visible ? clearButton.left : parent.right
        anchors.rightMargin: clearButton.visible ? 4 : 10
        anchors.verticalCenter: parent.verticalCenter
        padding: 0
        topPadding: 5
        bottomPadding: 5
        placeholderText: root.placeholder
        placeholderTextColor: Theme.secondary
        font.pixelSize: 12
        color: Theme.label
        background: null
        selectByMouse: true
        Accessible.name: root.placeholder
        Keys.onEscapePressed: input.clear()
    }

    PlainButton {
        id: clearButton
        objectName: "clearSearchButton"
        anchors.right: parent.right
        anchors.rightMargin: 8
        anchors.verticalCenter: parent.verticalCenter
        visible: input.text.length > 0
        symbol: "xmark.circle.fill"
        symbolSize: 11
        toolTip: "Clear search"
        onClicked: input.clear()
    }
}
