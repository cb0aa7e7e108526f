pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtQuick.Layouts
import TovraAI.Components
import TovraAI.Sessions

// The sidebar: "Chats", the search field, the sessions (pinned first) and the engine status.
Rectangle {
    id: root

    property AgentState agentState
    // The engine in use, local or remote.
    property EngineChoice engine
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

    // One chat to a Markdown file the user picks; a failure is told in an alert.
    ChatExporter {
        id: exporter
        objectName: "chatExporter"
        state: root.agentState
        onFailed: message => {
            exportAlert.text = message
            exportAlert.open()
        }
    }
    FileDialog {
        id: exportDialog
        objectName: "exportChatDialog"
        property string sessionId
        title: "Export as Markdown"
        acceptLabel: "Export"
        fileMode: FileDialog.SaveFile
        nameFilters: ["Markdown files (*.md)"]
        defaultSuffix: "md"
        onAccepted: exporter.exportSession(sessionId, selectedFile)
    }
    Dialog {
        id: exportAlert
        objectName: "exportAlert"
        property alias text: alertText.text
        parent: Overlay.overlay
        anchors.centerIn: Overlay.overlay
        width: Math.min(420, (parent ? parent.width : 460) - 40)
        modal: true
        title: "Export failed"
        standardButtons: Dialog.Ok
        Label {
            id: alertText
            width: parent.width
            wrapMode: Text.Wrap
        }
    }

    function exportSession(sessionId: string): void {
        exportDialog.sessionId = sessionId
        exportDialog.selectedFile = exporter.suggestedFile(sessionId)
        exportDialog.open()
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
                onExportRequested: root.exportSession(sessionId)
                onDeleteRequested: sessionModel.deleteSession(sessionId)
            }
        }

        Divider {
            Layout.fillWidth: true
        }

        EngineStatusFooter {
            Layout.fillWidth: true
            isRunning: root.engine ? root.engine.isRunning : false
            activeModelName: root.engine ? root.engine.modelName : ""
            remoteLabel: root.engine ? root.engine.remoteLabel : ""
        }
    }

    Rectangle {
        anchors.right: parent.right
        width: 1
        height: parent.height
        color: Theme.separator
    }
}
