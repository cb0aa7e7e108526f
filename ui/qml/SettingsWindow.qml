import QtQuick
import QtQuick.Window
import TovraAI

// The separate settings window, in a fixed frame.
Window {
    id: root

    property AgentState state
    property QtObject serverManager
    property QtObject modelManager

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
        state: root.state
        serverManager: root.serverManager
        modelManager: root.modelManager
    }
}
