pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import TovraAI.Components
import TovraAI.Approval

// The sheet that asks before a tool runs. Closing it without either button is a denial.
Popup {
    id: root

    property AgentState agentState
    // What to show of a tool server's call, and its "Always allow this tool".
    property ToolServerApproval toolServerApproval: null
    // The call shown; kept while the sheet closes.
    property var toolCall: ({})

    // Opens for the pending call, and closes when none is pending.
    function sync(): void {
        if (root.agentState && root.agentState.hasPendingApproval) {
            root.toolCall = root.agentState.pendingApproval
            root.open()
        } else {
            root.close()
        }
    }

    // The view's width, set here: sized from its content, the popup could settle at zero (and
    // bound to the view's own width, Qt 6.4 crashes while creating the sheet).
    width: root.toolServerApproval && root.toolServerApproval.isToolServerCall ? 480 : 380
    modal: true
    focus: true
    closePolicy: Popup.CloseOnEscape
    anchors.centerIn: Overlay.overlay
    padding: 0
    Overlay.modal: Rectangle { color: Theme.alpha(Theme.shadow, 0.18) }
    background: Rectangle {
        radius: 12
        color: Theme.windowBackground
        border.width: 0.5
        border.color: Theme.separator
    }
    contentItem: ApprovalView {
        id: view
        objectName: "approvalView"
        toolCall: root.toolCall
        server: root.toolServerApproval
        maxHeight: (root.Overlay.overlay ? root.Overlay.overlay.height : 100000) - 48
        onApproved: if (root.agentState) root.agentState.resolveApproval(true)
        onDenied: if (root.agentState) root.agentState.resolveApproval(false)
        onApprovedAlways: if (root.toolServerApproval) root.toolServerApproval.approveAlways()
    }
    onOpened: view.focusDeny()
    onClosed: if (root.agentState && root.agentState.hasPendingApproval) root.agentState.resolveApproval(false)

    Connections {
        target: root.agentState
        function onPendingApprovalChanged() { root.sync() }
    }
    Component.onCompleted: sync()
}
