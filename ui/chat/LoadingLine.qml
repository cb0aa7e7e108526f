pragma ComponentBehavior: Bound
import QtQuick
import TovraAI.Components
import TovraAI.Chat

// The line at the top of the chat while the engine starts: a spinner and its status.
Rectangle {
    id: root

    property string statusMessage

    implicitHeight: loadingRow.implicitHeight + 16
    color: Theme.alpha(Theme.windowBackground, 0.85)

    Row {
        id: loadingRow
        x: 16
        anchors.verticalCenter: parent.verticalCenter
        spacing: 8
        Spinner {
            anchors.verticalCenter: parent.verticalCenter
            width: 12
            height: 12
            running: root.visible
        }
        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: root.statusMessage
            font.pixelSize: 10
            color: Theme.secondary
        }
    }
}
