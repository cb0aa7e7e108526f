pragma ComponentBehavior: Bound
import QtQuick
import TovraAI

// The Models tab.
Item {
    id: root

    property ModelManager modelManager
    property ServerManager serverManager

    Column {
        anchors.centerIn: parent
        spacing: 8
        Icon {
            anchors.horizontalCenter: parent.horizontalCenter
            name: "cpu.fill"
            size: 36
            color: Theme.alpha(Theme.accent, 0.6)
        }
        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: "Models"
            font.pixelSize: 17
            font.weight: Font.DemiBold
            color: Theme.label
        }
        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: root.serverManager && root.serverManager.activeModelName.length > 0
                  ? root.serverManager.activeModelName : "No model loaded"
            font.pixelSize: 12
            color: Theme.secondary
        }
    }
}
