import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Qt5Compat.GraphicalEffects
import TovraAI

// The Chat tab: the active session's conversation (or the welcome panel while it has
// no turns) and the input box that sends to the agent loop. It hosts the approval
// sheet, the session settings sheet and the celebration.
Item {
    id: root

    // Switches the shell to the Models tab.
    property var navigateToModels: null
    property AgentState state
    property AgentManager agent
    property ServerManager serverManager
    // Held for the screens it leads to; nothing is read from it here.
    property QtObject modelManager

    // The text in the input box.
    property string inputText: ""
    property bool showSessionSettings: false
    // The warning about the missing model, shown for 2.5 seconds after a refused send.
    readonly property alias showNoModelBanner: noModelFlag.copied
    // A drag with files hovers over the conversation.
    property bool isDroppingFile: false
    readonly property bool inputFocused: inputEditor.activeFocus

    readonly property bool isLoading: state ? state.isLoading : false
    readonly property bool isRunning: serverManager ? serverManager.isRunning : false
    readonly property bool isStarting: serverManager ? serverManager.isStarting : false
    readonly property bool canSubmit: ChatLogic.canSubmit(inputText, isLoading)
    readonly property real tokensPerSecond: state ? state.tokensPerSecond : 0
    // Whether any message is a user or assistant turn; otherwise the welcome panel shows.
    property bool hasTurns: false

    readonly property alias messageList: messageList
    readonly property alias inputEditor: inputEditor
    readonly property alias approvalSheet: approvalSheet
    readonly property alias sessionSettingsSheet: sessionSettingsSheet

    readonly property var suggestions: [
        { icon: "camera.viewfinder", text: "Take a screenshot of my screen" },
        { icon: "folder", text: "List files in my Downloads folder" },
        { icon: "apps.iphone", text: "What apps do I have open?" },
        { icon: "cpu", text: "What are my system specs?" }
    ]

    // Sends the typed text. While a reply is generated, nothing happens; while the
    // engine is only starting, the text waits in the box (the loading line says why);
    // without an engine, the no-model line shows and the text stays too.
    function submitInput(): void {
        const text = root.inputText.trim()
        if (text.length === 0 || root.isLoading)
            return
        if (root.isRunning) {
            root.inputText = ""
            root.agent.send(text)
            return
        }
        if (!root.isStarting)
            noModelFlag.set()
    }

    function stopGeneration(): void {
        if (root.agent)
            root.agent.stop()
    }

    // Edit and retry cut the conversation, so they wait for the running turn to end:
    // it would go on writing into whatever message is last.
    function editFromMessage(messageId: string): void {
        if (!root.state || root.isLoading)
            return
        const text = ChatLogic.editFromMessage(root.state, messageId)
        if (text === undefined)
            return
        root.inputText = text
        inputEditor.cursorPosition = inputEditor.length
        inputEditor.forceActiveFocus()
    }

    // The agent loop refuses a turn without a running engine, so the conversation is
    // cut only when the message can be sent again at once.
    function retryFromMessage(messageId: string): void {
        if (!root.state || root.isLoading)
            return
        if (!root.isRunning) {
            if (!root.isStarting)
                noModelFlag.set()
            return
        }
        const text = ChatLogic.retryFromMessage(root.state, messageId)
        if (text !== undefined)
            root.agent.send(text)
    }

    function attachDroppedFile(url: url): void {
        root.inputText = ChatLogic.attachDroppedFile(root.inputText, url)
    }

    function focusInput(): void {
        inputEditor.forceActiveFocus()
    }

    function refreshTurns(): void {
        root.hasTurns = ChatLogic.hasConversationTurns(root.state ? root.state.messages : null)
    }

    function scrollToBottom(): void {
        messageList.followEnd = true
        Qt.callLater(messageList.positionViewAtEnd)
    }

    function syncApprovalSheet(): void {
        if (root.state && root.state.hasPendingApproval) {
            approvalSheet.toolCall = root.state.pendingApproval
            approvalSheet.open()
        } else {
            approvalSheet.close()
        }
    }

    onStateChanged: refreshTurns()
    Component.onCompleted: {
        refreshTurns()
        syncApprovalSheet()
    }

    Connections {
        target: root.state ? root.state.messages : null
        function onRowsInserted() { root.refreshTurns(); root.scrollToBottom() }
        function onRowsRemoved() { root.refreshTurns(); root.scrollToBottom() }
        function onModelReset() { root.refreshTurns(); root.scrollToBottom() }
        function onDataChanged() { root.refreshTurns() }
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
        target: root.state
        function onActiveSessionIDChanged() { root.scrollToBottom() }
        function onPendingApprovalChanged() { root.syncApprovalSheet() }
        // The first good reply the user gets is celebrated.
        function onIsLoadingChanged() {
            if (!root.state.isLoading && ChatLogic.claimFirstReplyCelebration(root.state.messages)) {
                root.state.showConfetti = true
                confettiTimer.restart()
            }
        }
    }

    CopyFlag {
        id: noModelFlag
        interval: 2500
    }

    Timer {
        id: confettiTimer
        // The last strip has landed by then (delay up to 1 s, fall up to 3.5 s).
        interval: 5000
        onTriggered: if (root.state) root.state.showConfetti = false
    }

    Shortcut {
        sequence: "Ctrl+L"
        enabled: root.visible
        onActivated: root.focusInput()
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        // Loading line.
        Rectangle {
            objectName: "loadingLine"
            Layout.fillWidth: true
            visible: root.isStarting
            implicitHeight: loadingRow.implicitHeight + 16
            color: Theme.alpha(Theme.windowBackground, 0.85)
            Row {
                id: loadingRow
                x: 16
                anchors.verticalCenter: parent.verticalCenter
                spacing: 8
                Spinner {
                    anchors.verticalCenter: parent.verticalCenter
                    width: 12
                    height: 12
                    running: root.isStarting
                }
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    text: root.serverManager ? root.serverManager.statusMessage : ""
                    font.pixelSize: 10
                    color: Theme.secondary
                }
            }
        }

        // The conversation, or the welcome panel; files dropped here are attached.
        Item {
            Layout.fillWidth: true
            Layout.fillHeight: true

            MessageList {
                id: messageList
                objectName: "messageList"
                anchors.fill: parent
                visible: root.hasTurns
                messages: root.state ? root.state.messages : null
                editAction: root.isLoading ? null : root.editFromMessage
                retryAction: root.isLoading ? null : root.retryFromMessage

                header: Item {
                    width: messageList.width
                    height: historyLine.visible ? historyLine.height + 4 + messageList.spacing : 0
                    Rectangle {
                        id: historyLine
                        objectName: "historyLine"
                        visible: root.state ? root.state.historyWasTrimmed : false
                        anchors.horizontalCenter: parent.horizontalCenter
                        y: 4
                        width: historyRow.implicitWidth + 24
                        height: historyRow.implicitHeight + 10
                        radius: height / 2
                        color: Theme.alpha(Theme.controlBackground, 0.8)
                        Row {
                            id: historyRow
                            anchors.centerIn: parent
                            spacing: 6
                            Icon {
                                anchors.verticalCenter: parent.verticalCenter
                                name: "clock.arrow.circlepath"
                                size: 10
                                color: Theme.secondary
                            }
                            Text {
                                anchors.verticalCenter: parent.verticalCenter
                                text: "Earlier messages not in context window"
                                font.pixelSize: 11
                                color: Theme.secondary
                            }
                        }
                    }
                }

                footer: Item {
                    width: messageList.width
                    height: (typing.visible ? messageList.spacing + typing.height : 0) + 1
                    TypingIndicator {
                        id: typing
                        objectName: "typingIndicator"
                        x: 24
                        y: messageList.spacing
                        visible: root.isLoading && root.state && root.state.currentStreamingContent.length === 0
                    }
                }
            }

            Flickable {
                objectName: "welcomeScroll"
                anchors.fill: parent
                visible: !root.hasTurns
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
                    statusMessage: root.serverManager ? root.serverManager.statusMessage : ""
                    suggestions: root.suggestions
                    onBrowseModels: if (root.navigateToModels) root.navigateToModels()
                    onSuggestionChosen: text => {
                        root.inputText = text
                        root.submitInput()
                    }
                }
            }

            DropArea {
                id: dropArea
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

            Rectangle {
                objectName: "dropOverlay"
                anchors.fill: parent
                anchors.margins: 6
                visible: root.isDroppingFile
                radius: 12
                color: Theme.alpha(Theme.accent, 0.04)
                border.width: 2
                border.color: Theme.accent
                Column {
                    anchors.centerIn: parent
                    spacing: 8
                    Icon {
                        anchors.horizontalCenter: parent.horizontalCenter
                        name: "arrow.down.doc.fill"
                        size: 28
                        color: Theme.accent
                    }
                    Text {
                        text: "Drop file to attach"
                        font.pixelSize: 11
                        font.weight: Font.Medium
                        color: Theme.accent
                    }
                }
            }
        }

        // The input area.
        Divider {
            Layout.fillWidth: true
            opacity: 0.4
        }

        // The no-model line slides in from the bottom while fading.
        Item {
            objectName: "noModelLine"
            Layout.fillWidth: true
            Layout.preferredHeight: root.showNoModelBanner ? noModelRow.implicitHeight + 14 : 0
            Behavior on Layout.preferredHeight { NumberAnimation { duration: 200; easing.type: Easing.InOutQuad } }
            clip: true
            opacity: root.showNoModelBanner ? 1 : 0
            Behavior on opacity { NumberAnimation { duration: 200 } }
            visible: Layout.preferredHeight > 0

            Rectangle {
                anchors.fill: parent
                color: Theme.alpha(Theme.orange, 0.08)
            }
            Row {
                id: noModelRow
                x: 18
                y: 7
                spacing: 8
                Icon {
                    anchors.verticalCenter: parent.verticalCenter
                    name: "exclamationmark.triangle.fill"
                    size: 11
                    color: Theme.orange
                }
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    text: "No model loaded — tap the model button to load one"
                    font.pixelSize: 10
                    color: Theme.secondary
                }
            }
        }

        // The input box.
        Item {
            Layout.fillWidth: true
            implicitHeight: inputBox.height + 24

            RectangularGlow {
                anchors.fill: inputBox
                anchors.topMargin: -3
                anchors.bottomMargin: 3
                glowRadius: 14
                spread: 0.1
                cornerRadius: 18 + glowRadius
                color: Qt.rgba(0, 0, 0, 0.08)
            }
            Rectangle {
                id: inputBox
                objectName: "inputBox"
                x: 16
                y: 12
                width: parent.width - 32
                height: inputColumn.implicitHeight + 24
                radius: 18
                color: Theme.controlBackground

                Column {
                    id: inputColumn
                    x: 14
                    y: 12
                    width: parent.width - 28

                    ScrollView {
                        id: inputScroll
                        width: parent.width
                        height: Math.min(120, Math.max(36, inputEditor.implicitHeight))
                        ScrollBar.horizontal.policy: ScrollBar.AlwaysOff

                        TextArea {
                            id: inputEditor
                            objectName: "inputEditor"
                            text: root.inputText
                            onTextChanged: if (root.inputText !== text) root.inputText = text
                            placeholderText: "Message Tovra AI…"
                            placeholderTextColor: Theme.alpha(Theme.label, 0.35)
                            wrapMode: TextEdit.Wrap
                            font.pixelSize: 13
                            color: Theme.label
                            selectByMouse: true
                            leftPadding: 5
                            rightPadding: 4
                            topPadding: 8
                            bottomPadding: 4
                            background: null
                            Accessible.name: "Message"
                            // Return sends; Shift+Return adds a line break at the end. The
                            // editor itself never breaks the line on Return.
                            Keys.onPressed: event => {
                                if (event.key !== Qt.Key_Return && event.key !== Qt.Key_Enter)
                                    return
                                event.accepted = true
                                if (event.modifiers & Qt.ShiftModifier) {
                                    root.inputText += "\n"
                                    inputEditor.cursorPosition = inputEditor.length
                                } else {
                                    root.submitInput()
                                }
                            }
                        }
                    }

                    RowLayout {
                        width: parent.width
                        spacing: 10

                        // The model button: leads to the model library.
                        AbstractButton {
                            id: modelButton
                            objectName: "modelButton"
                            Layout.topMargin: 6
                            leftPadding: 10
                            rightPadding: 10
                            topPadding: 5
                            bottomPadding: 5
                            text: root.isStarting ? "Loading…"
                                : (root.serverManager && root.serverManager.activeModelName.length > 0
                                   ? ChatLogic.shortModelName(root.serverManager.activeModelName) : "Select Model")
                            Accessible.name: text
                            contentItem: Row {
                                spacing: 5
                                Spinner {
                                    anchors.verticalCenter: parent.verticalCenter
                                    visible: root.isStarting
                                    width: 10
                                    height: 10
                                    color: "white"
                                }
                                Rectangle {
                                    anchors.verticalCenter: parent.verticalCenter
                                    visible: !root.isStarting && root.serverManager
                                             && root.serverManager.activeModelName.length > 0
                                    width: 5
                                    height: 5
                                    radius: 2.5
                                    color: Qt.rgba(1, 1, 1, 0.9)
                                }
                                Icon {
                                    anchors.verticalCenter: parent.verticalCenter
                                    visible: !root.isStarting && !(root.serverManager
                                             && root.serverManager.activeModelName.length > 0)
                                    name: "cpu"
                                    size: 10
                                    font.weight: Font.Medium
                                    color: "white"
                                }
                                Text {
                                    anchors.verticalCenter: parent.verticalCenter
                                    text: modelButton.text
                                    font.pixelSize: 10
                                    font.weight: Font.DemiBold
                                    color: "white"
                                }
                            }
                            background: Item {
                                RectangularGlow {
                                    anchors.fill: parent
                                    anchors.topMargin: 1
                                    anchors.bottomMargin: -1
                                    visible: root.isRunning
                                    glowRadius: 4
                                    cornerRadius: height / 2 + glowRadius
                                    color: Theme.alpha(Theme.accent, 0.2)
                                }
                                Rectangle {
                                    anchors.fill: parent
                                    radius: height / 2
                                    gradient: Gradient {
                                        orientation: Gradient.Horizontal
                                        GradientStop {
                                            position: 0
                                            color: root.isRunning ? Theme.accent : Theme.alpha(Theme.secondary, 0.6)
                                        }
                                        GradientStop {
                                            position: 1
                                            color: root.isRunning ? Theme.alpha(Theme.accent, 0.8)
                                                                  : Theme.alpha(Theme.secondary, 0.4)
                                        }
                                    }
                                }
                            }
                            onClicked: if (root.navigateToModels) root.navigateToModels()
                        }

                        PlainButton {
                            objectName: "sessionSettingsButton"
                            Layout.topMargin: 6
                            symbol: "slider.horizontal.3"
                            symbolSize: 12
                            color: Theme.alpha(Theme.secondary, 0.6)
                            toolTip: "Session settings"
                            onClicked: root.showSessionSettings = true
                        }

                        Item { Layout.fillWidth: true }

                        Text {
                            objectName: "speedLabel"
                            Layout.topMargin: 6
                            readonly property bool shown: root.tokensPerSecond > 0
                            visible: opacity > 0
                            opacity: shown ? 1 : 0
                            Behavior on opacity { NumberAnimation { duration: 400; easing.type: Easing.InOutQuad } }
                            text: shown ? ChatLogic.speedText(root.tokensPerSecond) : text
                            font.family: Theme.monospaceFamily
                            font.pixelSize: 10
                            font.weight: Font.Medium
                            color: Theme.alpha(Theme.secondary, 0.7)
                        }

                        // Send or stop, whichever applies.
                        Item {
                            Layout.topMargin: 6
                            implicitWidth: 32
                            implicitHeight: 32

                            AbstractButton {
                                id: stopButton
                                objectName: "stopButton"
                                anchors.fill: parent
                                enabled: root.isLoading
                                opacity: root.isLoading ? 1 : 0
                                scale: root.isLoading ? 1 : 0.6
                                visible: opacity > 0
                                Behavior on opacity { NumberAnimation { duration: 200; easing.type: Easing.OutBack } }
                                Behavior on scale { NumberAnimation { duration: 200; easing.type: Easing.OutBack } }
                                text: "Stop"
                                Accessible.name: text
                                contentItem: Item {}
                                background: Item {
                                    RectangularGlow {
                                        anchors.fill: parent
                                        anchors.topMargin: 2
                                        anchors.bottomMargin: -2
                                        glowRadius: 6
                                        cornerRadius: 16 + glowRadius
                                        color: Theme.alpha(Theme.red, 0.28)
                                    }
                                    Rectangle {
                                        anchors.fill: parent
                                        radius: 16
                                        color: Theme.alpha(Theme.red, 0.88)
                                    }
                                    Icon {
                                        anchors.centerIn: parent
                                        name: "stop.fill"
                                        size: 12
                                        font.weight: Font.Bold
                                        color: "white"
                                    }
                                }
                                onClicked: root.stopGeneration()
                            }

                            AbstractButton {
                                id: sendButton
                                objectName: "sendButton"
                                anchors.fill: parent
                                enabled: !root.isLoading && root.canSubmit
                                opacity: root.isLoading ? 0 : 1
                                scale: root.isLoading ? 0.6 : 1
                                visible: opacity > 0
                                Behavior on opacity { NumberAnimation { duration: 200; easing.type: Easing.OutBack } }
                                Behavior on scale { NumberAnimation { duration: 200; easing.type: Easing.OutBack } }
                                text: "Send"
                                Accessible.name: text
                                contentItem: Item {}
                                background: Item {
                                    RectangularGlow {
                                        anchors.fill: parent
                                        anchors.topMargin: 2
                                        anchors.bottomMargin: -2
                                        visible: root.canSubmit
                                        glowRadius: 6
                                        cornerRadius: 16 + glowRadius
                                        color: Theme.alpha(Theme.accent, 0.28)
                                    }
                                    Rectangle {
                                        anchors.fill: parent
                                        radius: 16
                                        gradient: Gradient {
                                            GradientStop {
                                                position: 0
                                                color: root.canSubmit ? Theme.accent : Theme.separator
                                                Behavior on color { ColorAnimation { duration: 220 } }
                                            }
                                            GradientStop {
                                                position: 1
                                                color: root.canSubmit ? Theme.alpha(Theme.accent, 0.8) : Theme.separator
                                                Behavior on color { ColorAnimation { duration: 220 } }
                                            }
                                        }
                                    }
                                    Icon {
                                        anchors.centerIn: parent
                                        name: "arrow.up"
                                        size: 15
                                        font.weight: Font.Bold
                                        color: "white"
                                    }
                                }
                                onClicked: root.submitInput()
                            }
                        }
                    }
                }
            }
        }
    }

    // The approval sheet. Closing it without either button is a denial.
    Popup {
        id: approvalSheet
        objectName: "approvalSheet"
        property var toolCall: ({})
        modal: true
        focus: true
        closePolicy: Popup.CloseOnEscape
        anchors.centerIn: Overlay.overlay
        padding: 0
        Overlay.modal: Rectangle { color: Qt.rgba(0, 0, 0, 0.18) }
        background: Rectangle {
            radius: 12
            color: Theme.windowBackground
            border.width: 0.5
            border.color: Theme.separator
        }
        contentItem: ApprovalView {
            objectName: "approvalView"
            toolCall: approvalSheet.toolCall
            onApproved: if (root.state) root.state.resolveApproval(true)
            onDenied: if (root.state) root.state.resolveApproval(false)
        }
        onClosed: if (root.state && root.state.hasPendingApproval) root.state.resolveApproval(false)
    }

    SessionSettingsSheet {
        id: sessionSettingsSheet
        objectName: "sessionSettingsSheet"
        isPresented: root.showSessionSettings
        state: root.state
        onIsPresentedRequested: value => root.showSessionSettings = value
    }

    // The celebration: over everything, taking no clicks; fresh strips each time.
    Item {
        id: confettiLayer
        objectName: "confettiLayer"
        anchors.fill: parent
        enabled: false
        opacity: root.state && root.state.showConfetti ? 1 : 0
        visible: opacity > 0
        Behavior on opacity { NumberAnimation { duration: 300 } }

        Loader {
            anchors.fill: parent
            active: confettiLayer.visible
            sourceComponent: ConfettiView {
                particles: ChatLogic.makeConfettiParticles()
            }
        }
    }
}
