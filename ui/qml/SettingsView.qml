pragma ComponentBehavior: Bound
import QtQuick
import TovraAI

// The Settings tab and the settings window.
Item {
    id: root

    property AgentState agentState
    property ServerManager serverManager
    property ModelManager modelManager

    Column {
        anchors.centerIn: parent
        spacing: 8
        Icon {
            anchors.horizontalCenter: parent.horizontalCenter
            name: "gear"
            size: 36
            color: Theme.alpha(Theme.accent, 0.6)
        }
        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: "Settings"
            font.pixelSize: 17
            font.weight: Font.DemiBold
            color: Theme.label
        }
    }
}
