pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Qt5Compat.GraphicalEffects
import TovraAI.Components
import TovraAI.Chat

// The input box at the foot of the chat: the editor, the model button, the session
// settings button, the speed, the context used and the send/stop button; under it the
// queued line.
Item {
    id: root

    // The text in the box.
    property string inputText
    property bool isLoading: false
    property bool isRunning: false
    property bool isStarting: false
    property bool isQueued: false
    property string modelName
    property string remoteLabel
    property real tokensPerSecond: 0
    // Tokens of the model's context the conversation fills, and the context's size (0: not known).
    property int contextUsed: 0
    property int contextSize: 0
    // The files attached to the message being typed, shown as chips above the editor.
    property AttachmentListModel attachments: null
    readonly property bool hasAttachments: attachments !== null && attachments.count > 0
    readonly property bool canSubmit: !isLoading && (ChatLogic.canSubmit(inputText, isLoading)
                                                      || (attachments !== null && attachments.hasSendable))
    readonly property alias editor: inputEditor

    // Return (or the send button) was pressed.
    signal submitRequested()
    signal stopRequested()
    signal modelsRequested()
    signal sessionSettingsRequested()
    // The paperclip was pressed: choose files to attach.
    signal attachRequested()

    implicitHeight: inputBox.height + 24 + (queuedLine.visible ? queuedLine.implicitHeight : 0)

    RectangularGlow {
        anchors.fill: inputBox
        anchors.topMargin: -3
        anchors.bottomMargin: 3
        glowRadius: 14
        spread: 0.1
        cornerRadius: 18 + glowRadius
        color: Theme.alpha(Theme.shadow, 0.08)
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

            Flow {
                id: chips
                objectName: "attachmentChips"
                width: parent.width
                spacing: 6
                bottomPadding: root.hasAttachments ? 6 : 0
                visible: root.hasAttachments

                Repeater {
                    model: root.attachments
                    delegate: AttachmentChip {
                        required property int index
                        required name
                        required kind
                        required sizeText
                        required detail
                        required problem
                        required isReading
                        required canSendPart
                        objectName: "attachmentChip"
                        removable: true
                        onRemoveRequested: {
                            // The focus stays in the box rather than vanishing with the chip.
                            inputEditor.forceActiveFocus()
                            root.attachments.remove(index)
                        }
                        onSendPartRequested: root.attachments.sendFirstPart(index)
                    }
                }
            }

            ScrollView {
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
                    // Tab leaves the box for its buttons (the model, attach files, …) rather
                    // than typing a tab.
                    KeyNavigation.priority: KeyNavigation.BeforeItem
                    KeyNavigation.tab: modelButton
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
                            root.submitRequested()
                        }
                    }
                }
            }

            RowLayout {
                width: parent.width
                spacing: 10

                ModelButton {
                    id: modelButton
                    objectName: "modelButton"
                    Layout.topMargin: 6
                    isRunning: root.isRunning
                    isStarting: root.isStarting
                    modelName: root.modelName
                    remoteLabel: root.remoteLabel
                    onClicked: root.modelsRequested()
                }

                PlainButton {
                    objectName: "attachButton"
                    Layout.topMargin: 6
                    symbol: "paperclip"
                    symbolSize: 14
                    color: Theme.alpha(Theme.secondary, 0.6)
                    toolTip: "Attach files"
                    onClicked: root.attachRequested()
                }

                PlainButton {
                    objectName: "sessionSettingsButton"
                    Layout.topMargin: 6
                    symbol: "slider.horizontal.3"
                    symbolSize: 12
                    color: Theme.alpha(Theme.secondary, 0.6)
                    toolTip: "Session settings"
                    onClicked: root.sessionSettingsRequested()
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

                Text {
                    id: contextLabel
                    objectName: "contextLabel"
                    Layout.topMargin: 6
                    readonly property bool nearlyFull: ChatLogic.isContextNearlyFull(root.contextUsed, root.contextSize)
                    visible: text.length > 0
                    text: ChatLogic.contextText(root.contextUsed, root.contextSize)
                    font.family: Theme.monospaceFamily
                    font.pixelSize: 10
                    font.weight: Font.Medium
                    color: nearlyFull ? Theme.orange : Theme.alpha(Theme.secondary, 0.7)
                    Accessible.role: Accessible.StaticText
                    Accessible.name: "Context used: " + text
                    ToolTip.visible: contextHover.hovered
                    ToolTip.delay: 600
                    ToolTip.text: nearlyFull ? "The conversation nearly fills the model's context"
                                             : "Tokens of the model's context this conversation fills"

                    HoverHandler {
                        id: contextHover
                    }
                }

                ActionButton {
                    objectName: "actionButton"
                    Layout.topMargin: 6
                    isStop: root.isLoading
                    canSubmit: root.canSubmit
                    onSendPressed: root.submitRequested()
                    onStopPressed: root.stopRequested()
                }
            }
        }
    }

    // Under the box while the text waits for the starting engine.
    Text {
        id: queuedLine
        objectName: "queuedLine"
        x: inputBox.x + 14
        y: inputBox.y + inputBox.height + 6
        visible: root.isQueued
        text: "Will be sent when the model is ready"
        font.pixelSize: 10
        color: Theme.secondary
    }
}
