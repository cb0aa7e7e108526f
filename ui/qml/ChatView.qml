import QtQuick
import TovraAI

// The Chat tab: the conversation of the active session.
Item {
    id: root

    // Switches the shell to the Models tab.
    property var navigateToModels: null
    property AgentState state
    property QtObject agent
    property QtObject serverManager
    property QtObject modelManager
    readonly property alias messageList: messageList

    MessageList {
        id: messageList
        anchors.fill: parent
        messages: root.state ? root.state.messages : null
    }
}
