pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Window
import TovraAI.Components
import TovraAI.Settings
import TovraAI.App

// The separate settings window, in a fixed frame.
Window {
    id: root

    property AgentState agentState
    property ServerManager serverManager
    property ModelManager modelManager
    property RemoteEngine remoteEngine
    property EngineChoice engine
    property McpRegistry toolServers

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
        remoteEngine: root.remoteEngine
        engine: root.engine
        toolServers: root.toolServers
    }
}
