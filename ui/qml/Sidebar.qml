pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import TovraAI

// The sidebar: "Chats", the search field, the sessions (pinned first) and the engine status.
Rectangle {
    id: root

    property AgentState agentState
    property ServerManager serverManager
    property alias searchQuery: search.text
    property string hoveredSessionID
    readonly property alias sessions: sessionModel
    readonly property alias listView: list

    // A row was chosen: the shell shows the Chat tab.
    signal sessionSelected(string sessionId)

    color: Theme.sidebarBackground

    function selectSession(sessionId: string): void {
        if (sessionModel.selectSession(sessionId))
            root.sessionSelected(sessionId)
    }

    SessionSidebarModel {
        id: sessionModel
        state: root.agentState
        searchQuery: search.text
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        Text {
            Layout.leftMargin: 16
            Layout.rightMargin: 16
            Layout.topMargin: 16
            Layout.bottomMargin: 6
            text: "Chats"
            font.pixelSize: 10
            font.weight: Font.DemiBold
            font.capitalization: Font.AllUppercase
            font.letterSpacing: 0.8
            color: Theme.secondary
            Accessible.role: Accessible.Heading
        }

        SearchField {
            id: search
            Layout.fillWidth: true
            Layout.leftMargin: 10
            Layout.rightMargin: 10
            Layout.bottomMargin: 6
        }

        // The saved sessions arrive a moment after the window.
        Row {
            objectName: "sessionsLoading"
            Layout.leftMargin: 16
            Layout.topMargin: 6
            spacing: 8
            visible: root.agentState !== null && !root.agentState.sessionsLoaded
            Spinner {
                anchors.verticalCenter: parent.verticalCenter
                width: 12
                height: 12
            }
            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: "Loading chats…"
                font.pixelSize: 11
                color: Theme.secondary
            }
        }

        ListView {
            id: list
            objectName: "sessionList"
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            model: sessionModel
            activeFocusOnTab: true
            keyNavigationEnabled: false
            boundsBehavior: Flickable.StopAtBounds
            currentIndex: root.agentState ? sessionModel.rowOf(root.agentState.activeSessionID) : -1
            highlightFollowsCurrentItem: false
            Accessible.role: Accessible.List
            Accessible.name: "Chats"
            ScrollBar.vertical: ScrollBar {}

            // Keyboard: arrows move the selection, the menu key opens the row's menu.
            Keys.onUpPressed: list.moveSelection(-1)
            Keys.onDownPressed: list.moveSelection(1)
            Keys.onMenuPressed: if (list.currentItem) list.currentItem.openContextMenu()
            Keys.onPressed: event => {
                if (event.key === Qt.Key_F10 && (event.modifiers & Qt.ShiftModifier) && list.currentItem) {
                    list.currentItem.openContextMenu()
                    event.accepted = true
                }
            }

            function moveSelection(step: int): void {
                const row = Math.max(0, Math.min(list.count - 1, list.currentIndex + step))
                if (row < 0 || row === list.currentIndex)
                    return
                const ids = sessionModel.sessionIds()
                root.selectSession(ids[row])
                list.positionViewAtIndex(row, ListView.Contain)
            }

            delegate: SessionRow {
                id: row
                required property int index
                width: list.width
                selected: root.agentState !== null && root.agentState.activeSessionID === sessionId
                hovered: root.hoveredSessionID === sessionId
                onClicked: {
                    list.forceActiveFocus()
                    root.selectSession(sessionId)
                }
                onHoverChanged: hovered => {
                    if (hovered)
                        root.hoveredSessionID = row.sessionId
                    else if (root.hoveredSessionID === row.sessionId)
                        root.hoveredSessionID = ""
                }
                onTogglePinRequested: root.agentState.togglePin(sessionId)
                onDeleteRequested: sessionModel.deleteSession(sessionId)
            }
        }

        Divider {
            Layout.fillWidth: true
        }

        EngineStatusFooter {
            Layout.fillWidth: true
            isRunning: root.serverManager ? root.serverManager.isRunning : false
            activeModelName: root.serverManager ? root.serverManager.activeModelName : ""
            remoteHost: root.serverManager ? root.serverManager.remoteHost : ""
        }
    }

    Rectangle {
        anchors.right: parent.right
        width: 1
        height: parent.height
        color: Theme.separator
    }
}
