pragma ComponentBehavior: Bound
import QtQuick
import TovraAI.Components
import TovraAI.Sessions

// The engine's state at the bottom of the sidebar: a status dot and the loaded model.
Item {
    id: root

    property bool isRunning: false
    property string activeModelName
    // "Remote: host" for a remote engine; empty for this computer's.
    property string remoteLabel

    implicitHeight: 18 + 20

    Row {
        anchors.left: parent.left
        anchors.leftMargin: 14
        anchors.right: parent.right
        anchors.rightMargin: 14
        anchors.verticalCenter: parent.verticalCenter
        spacing: 8

        Rectangle {
            width: 18
            height: 18
            radius: 9
            color: root.isRunning ? Theme.alpha(Theme.green, 0.2) : Theme.alpha(Theme.secondary, 0.12)
            Rectangle {
                anchors.centerIn: parent
                width: 7
                height: 7
                radius: 3.5
                color: root.isRunning ? Theme.green : Theme.alpha(Theme.secondary, 0.35)
            }
        }
        Text {
            objectName: "engineStatusText"
            anchors.verticalCenter: parent.verticalCenter
            width: parent.width - 26
            elide: Text.ElideRight
            text: (root.activeModelName.length > 0 ? root.activeModelName : "No model loaded")
                  + (root.remoteLabel.length > 0 ? " · " + root.remoteLabel : "")
            font.pixelSize: 11
            color: Theme.secondary
        }
    }
}
