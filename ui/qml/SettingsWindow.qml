pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Window
import TovraAI

// The separate settings window, in a fixed frame.
Window {
    id: root

    property AgentState agentState
    property ServerManager serverManager
    property ModelManager modelManager

    title: "Settings"
    width: 540
    height: 540
    minimumWidth: 540
    maximumWidth: 540
    minimumHeight: 540
    maximumHeight: 540
    color: Theme.windowBackground

    SettingsView {
        anchors.fill: parent
        agentState: root.agentState
        serverManager: root.serverManager
        modelManager: root.modelManager
    }
}
