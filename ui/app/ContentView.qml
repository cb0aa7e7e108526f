pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import TovraAI.Components
import TovraAI.Chat
import TovraAI.Approval
import TovraAI.Sessions
import TovraAI.Library
import TovraAI.Settings
import TovraAI.Onboarding
import TovraAI.App

// The main window's content: toolbar, the sessions sidebar beside the selected tab,
// and the first-run gate.
Item {
    id: root

    property AgentState agentState
    property AgentManager agent
    property ModelManager modelManager
    property RemoteEngine remoteEngine
    property ServerManager serverManager
    property EngineChoice engine
    property McpRegistry toolServers

    property int selectedTab: AppTab.Chat
    property alias hoveredSessionID: sidebar.hoveredSessionID
    property alias searchQuery: sidebar.searchQuery
    // Kept in the preference store; false opens the onboarding sheet.
    property bool onboardingComplete: false
    property bool showOnboarding: false

    readonly property alias sidebar: sidebar
    readonly property alias chatView: chatView

    // The content appeared for the first time: time for the start-up work.
    signal firstShown()
    // The user finished onboarding: the application stores it.
    signal onboardingCompleted()

    property bool _appeared: false

    function appear(): void {
        if (root._appeared)
            return
        root._appeared = true
        if (!root.onboardingComplete)
            root.showOnboarding = true
        else if (root.selectedTab === AppTab.Chat)
            chatView.focusInput()
        root.firstShown()
    }

    function newChat(): void {
        if (root.agentState)
            root.agentState.startNewChat()
        root.selectedTab = AppTab.Chat
    }

    // The closed sheet took the focus with it: the message box is where typing goes next.
    onShowOnboardingChanged: {
        if (!root.showOnboarding && root.selectedTab === AppTab.Chat)
            chatView.focusInput()
    }
    // A page that goes out of sight keeps no keyboard focus: what is typed next would land in
    // a field nobody sees (Return in Settings' Add field would add a server).
    onSelectedTabChanged: {
        for (let item = root.Window.activeFocusItem; item; item = item.parent) {
            if (item !== detail)
                continue
            if (root.selectedTab === AppTab.Chat)
                chatView.focusInput()
            else
                detail.forceActiveFocus()
            return
        }
    }
    onOnboardingCompleteChanged: {
        if (!root.onboardingComplete && root._appeared)
            root.showOnboarding = true
    }
    Component.onCompleted: if (root.visible) root.appear()
    onVisibleChanged: if (root.visible) root.appear()

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        ToolBar {
            id: toolbar
            Layout.fillWidth: true
            background: Rectangle {
                color: Theme.windowBackground
                Divider {
                    anchors.bottom: parent.bottom
                    width: parent.width
                }
            }

            RowLayout {
                anchors.fill: parent
                anchors.leftMargin: 10
                anchors.rightMargin: 12
                spacing: 10

                ToolButton {
                    id: newChatButton
                    objectName: "newChatButton"
                    text: "New Chat"
                    // The saved sessions are still being read.
                    enabled: root.agentState ? root.agentState.sessionsLoaded : false
                    display: AbstractButton.IconOnly
                    Accessible.name: "New Chat"
                    ToolTip.visible: hovered
                    ToolTip.text: "New Chat (Ctrl+N)"
                    ToolTip.delay: 600
                    contentItem: Icon {
                        name: "square.and.pencil"
                        size: 17
                        color: Theme.secondary
                    }
                    onClicked: root.newChat()
                }
                Text {
                    text: "Tovra AI"
                    font.pixelSize: 13
                    font.weight: Font.DemiBold
                    color: Theme.label
                    Layout.leftMargin: 6
                }
                Item {
                    Layout.fillWidth: true
                }
                TabSelector {
                    id: tabSelector
                    objectName: "tabSelector"
                    Layout.preferredWidth: 210
                    selectedTab: root.selectedTab
                    onTabChosen: tab => root.selectedTab = tab
                }
            }
        }

        SplitView {
            Layout.fillWidth: true
            Layout.fillHeight: true
            orientation: Qt.Horizontal

            Sidebar {
                id: sidebar
                SplitView.minimumWidth: 200
                SplitView.preferredWidth: 240
                SplitView.maximumWidth: 260
                agentState: root.agentState
                engine: root.engine
                onSessionSelected: root.selectedTab = AppTab.Chat
            }

            StackLayout {
                id: detail
                objectName: "detail"
                SplitView.fillWidth: true
                currentIndex: root.selectedTab

                ChatView {
                    id: chatView
                    agentState: root.agentState
                    agent: root.agent
                    engine: root.engine
                    modelManager: root.modelManager
                    onModelsRequested: root.selectedTab = AppTab.Models
                }
                ModelLibraryView {
                    modelManager: root.modelManager
                    serverManager: root.serverManager
                    engine: root.engine
                }
                SettingsView {
                    agentState: root.agentState
                    serverManager: root.serverManager
                    modelManager: root.modelManager
                    remoteEngine: root.remoteEngine
                    engine: root.engine
                    toolServers: root.toolServers
                }
            }
        }
    }

    // Over whichever tab shows: a tool call waits for the user wherever they are.
    ApprovalSheet {
        objectName: "approvalSheet"
        agentState: root.agentState
        toolServerApproval: root.agent ? root.agent.toolServerApproval : null
    }

    OnboardingView {
        id: onboarding
        objectName: "onboarding"
        isPresented: root.showOnboarding
        modelManager: root.modelManager
        serverManager: root.serverManager
        onCompleted: root.onboardingCompleted()
        onIsPresentedRequested: value => root.showOnboarding = value
    }
}
