pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QtQuick.Dialogs
import TovraAI.Components
import TovraAI.Chat

// The Chat tab: the active session's conversation (or the welcome panel while it has
// no turns) and the input box that sends to the agent loop. It hosts the session
// settings sheet and the celebration; the approval sheet is the window's.
Item {
    id: root

    property AgentState agentState
    property AgentManager agent
    // The engine in use, local or remote.
    property EngineChoice engine
    // Held for the screens it leads to; nothing is read from it here.
    property ModelManager modelManager

    // The text in the input box.
    property alias inputText: inputBar.inputText
    property bool showSessionSettings: false
    // The warning about the missing model, shown for 2.5 seconds after a refused send.
    readonly property alias showNoModelBanner: noModelFlag.copied
    // A drag with files hovers over the conversation.
    property bool isDroppingFile: false
    readonly property bool inputFocused: inputBar.editor.activeFocus

    readonly property bool isLoading: agentState ? agentState.isLoading : false
    readonly property bool isRunning: engine ? engine.isRunning : false
    readonly property bool isStarting: engine ? engine.isStarting : false

    readonly property alias controller: controller
    // The files attached to the message being typed.
    readonly property alias attachments: attachmentList
    readonly property alias messageList: messageList
    readonly property alias inputEditor: inputBar.editor
    readonly property alias sessionSettingsSheet: sessionSettingsSheet

    readonly property var suggestions: [
        { icon: "camera.viewfinder", text: "Take a screenshot of my screen" },
        { icon: "folder", text: "List files in my Downloads folder" },
        { icon: "apps.iphone", text: "What apps do I have open?" },
        { icon: "cpu", text: "What are my system specs?" }
    ]

    // Switches the shell to the Models tab.
    signal modelsRequested()

    // Sends the typed text; while the engine starts it waits in the box, queued; without
    // an engine the no-model line shows and the text stays.
    function submitInput(): void {
        switch (controller.submit(root.inputText)) {
        case ChatController.Send:
            root.sendText(root.inputText.trim())
            break
        case ChatController.Refuse:
            noModelFlag.set()
            break
        }
    }

    function sendText(text: string): void {
        // While a file is still read, or one does not fit, the text waits with the chips.
        if (attachmentList.holdsSend)
            return
        root.inputText = ""
        attachmentList.sendWith(root.agent, text)
    }

    function stopGeneration(): void {
        if (root.agent)
            root.agent.stop()
    }

    // Edit and retry cut the conversation, so they wait for the running turn to end:
    // it would go on writing into whatever message is last.
    function editFromMessage(messageId: string): void {
        if (!root.agentState || root.isLoading)
            return
        // Its files come back as chips with its text, and go again when it is sent.
        attachmentList.restoreFiles(root.agentState, messageId)
        const text = ChatLogic.editFromMessage(root.agentState, messageId)
        if (text === undefined)
            return
        root.inputText = text
        inputBar.editor.cursorPosition = inputBar.editor.length
        inputBar.editor.forceActiveFocus()
    }

    // The agent loop refuses a turn without a running engine, so the conversation is
    // cut only when the message can be sent again at once.
    function retryFromMessage(messageId: string): void {
        switch (controller.retry()) {
        case ChatController.Send:
            ChatLogic.retryWithFiles(root.agent, root.agentState, messageId)
            break
        case ChatController.Refuse:
            noModelFlag.set()
            break
        }
    }

    // PDFs, text files and pictures become chips; any other file is named in the text.
    function attachDroppedFile(url: url): void {
        if (attachmentList.isAttachable(url))
            attachmentList.addFile(url)
        else
            root.inputText = ChatLogic.attachDroppedFile(root.inputText, url)
    }

    function chooseFiles(): void {
        fileDialog.open()
    }

    function focusInput(): void {
        inputBar.editor.forceActiveFocus()
    }

    function scrollToBottom(): void {
        messageList.followEnd = true
        Qt.callLater(messageList.positionViewAtEnd)
    }

    AttachmentListModel {
        id: attachmentList
        engine: root.engine
        contextUsed: root.agentState ? root.agentState.contextUsed : 0
    }

    FileDialog {
        id: fileDialog
        objectName: "attachDialog"
        title: "Attach Files"
        fileMode: FileDialog.OpenFiles
        nameFilters: ["Documents and pictures (*.pdf *.txt *.md *.csv *.json *.png *.jpg *.jpeg *.webp)",
                      "All files (*)"]
        onAccepted: {
            for (const url of selectedFiles)
                root.attachDroppedFile(url)
            root.focusInput()
        }
        onRejected: root.focusInput()
    }

    ChatController {
        id: controller
        state: root.agentState
        engine: root.engine
        hasAttachments: attachmentList.hasSendable
        onQueuedTextReady: text => root.sendText(text)
    }

    Connections {
        target: root.agentState ? root.agentState.messages : null
        function onRowsInserted() { root.scrollToBottom() }
        function onRowsRemoved() { root.scrollToBottom() }
        function onModelReset() { root.scrollToBottom() }
    }

    // The input box grows with its text: a list that showed its end keeps showing it.
    Connections {
        target: messageList
        function onHeightChanged() {
            if (messageList.followEnd)
                Qt.callLater(messageList.positionViewAtEnd)
        }
    }

    Connections {
        target: root.agentState
        function onActiveSessionIDChanged() { root.scrollToBottom() }
    }

    CopyFlag {
        id: noModelFlag
        interval: 2500
    }

    Shortcut {
        sequence: "Ctrl+L"
        enabled: root.visible
        onActivated: root.focusInput()
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        LoadingLine {
            objectName: "loadingLine"
            Layout.fillWidth: true
            visible: root.isStarting
            statusMessage: root.engine ? root.engine.statusMessage : ""
        }

        // The conversation, or the welcome panel; files dropped here are attached.
        Item {
            Layout.fillWidth: true
            Layout.fillHeight: true

            MessageList {
                id: messageList
                objectName: "messageList"
                anchors.fill: parent
                visible: controller.hasTurns
                messages: root.agentState ? root.agentState.messages : null
                actionsEnabled: !root.isLoading
                onEditRequested: messageId => root.editFromMessage(messageId)
                onRetryRequested: messageId => root.retryFromMessage(messageId)

                historyWasTrimmed: root.agentState ? root.agentState.historyWasTrimmed : false
                isTyping: controller.isTyping
                showThinking: root.agentState ? root.agentState.showThinking : true
            }

            Flickable {
                objectName: "welcomeScroll"
                anchors.fill: parent
                visible: !controller.hasTurns
                contentHeight: welcome.height + 44
                clip: true
                boundsBehavior: Flickable.StopAtBounds
                ScrollBar.vertical: ScrollBar {}

                WelcomePanel {
                    id: welcome
                    objectName: "welcomePanel"
                    x: 22
                    y: 22
                    width: parent.width - 44
                    isRunning: root.isRunning
                    isStarting: root.isStarting
                    statusMessage: root.engine ? root.engine.statusMessage : ""
                    suggestions: root.suggestions
                    onBrowseModels: root.modelsRequested()
                    onSuggestionChosen: text => {
                        root.inputText = text
                        root.submitInput()
                    }
                }
            }

            DropArea {
                objectName: "dropArea"
                anchors.fill: parent
                onEntered: drag => {
                    if (!drag.hasUrls) {
                        drag.accepted = false
                        return
                    }
                    drag.accept(Qt.CopyAction)
                    root.isDroppingFile = true
                }
                onExited: root.isDroppingFile = false
                onDropped: drop => {
                    root.isDroppingFile = false
                    for (const url of drop.urls)
                        root.attachDroppedFile(url)
                    drop.accept(Qt.CopyAction)
                }
            }

            DropOverlay {
                objectName: "dropOverlay"
                anchors.fill: parent
                visible: root.isDroppingFile
            }
        }

        // The input area.
        Divider {
            Layout.fillWidth: true
            opacity: 0.4
        }

        NoModelLine {
            objectName: "noModelLine"
            shown: root.showNoModelBanner
        }

        ChatInputBar {
            id: inputBar
            Layout.fillWidth: true
            isLoading: root.isLoading
            isRunning: root.isRunning
            isStarting: root.isStarting
            isQueued: controller.isQueued
            modelName: root.engine ? root.engine.modelName : ""
            remoteLabel: root.engine ? root.engine.remoteLabel : ""
            tokensPerSecond: root.agentState ? root.agentState.tokensPerSecond : 0
            contextUsed: root.agentState ? root.agentState.contextUsed : 0
            // The launch setting's size, until the engine's own figure is at hand.
            contextSize: root.engine ? root.engine.contextSize : 0
            onInputTextChanged: controller.textEdited(inputText)
            onSubmitRequested: root.submitInput()
            onStopRequested: root.stopGeneration()
            onModelsRequested: root.modelsRequested()
            onSessionSettingsRequested: root.showSessionSettings = true
            attachments: attachmentList
            onAttachRequested: root.chooseFiles()
        }
    }

    SessionSettingsSheet {
        id: sessionSettingsSheet
        objectName: "sessionSettingsSheet"
        isPresented: root.showSessionSettings
        agentState: root.agentState
        onIsPresentedRequested: value => root.showSessionSettings = value
    }

    // The celebration: over everything, taking no clicks; fresh strips each time.
    Item {
        id: confettiLayer
        objectName: "confettiLayer"
        anchors.fill: parent
        enabled: false
        opacity: controller.showConfetti ? 1 : 0
        visible: opacity > 0
        Behavior on opacity { NumberAnimation { duration: 300 } }

        // Loaded from its file (ui/README.md: Loaders on Qt 6.4).
        Loader {
            anchors.fill: parent
            active: confettiLayer.visible
            source: "ConfettiView.qml"
            onLoaded: (item as ConfettiView).particles = ChatLogic.makeConfettiParticles()
        }
    }
}
