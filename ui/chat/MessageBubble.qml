pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import Qt5Compat.GraphicalEffects
import TovraAI.Components
import TovraAI.Markdown
import TovraAI.Chat

// One message row: the user's turns as accent bubbles of plain text, every other
// shown turn as the assistant's avatar beside its Markdown body, with copy and retry.
Item {
    id: root

    property string role
    // The text, for a bubble used on its own; rows of a list give a source instead.
    property string content
    // Where a list row's text lives: read only where needed, so that a long streamed
    // reply never sits in a QML property.
    property MessageContentSource source: null
    // For content that is an image data URL.
    property int imageState: VisibleMessagesModel.None
    // A reply's thinking, read on the C++ side only; it streams while isThinking.
    property MessageContentSource reasoningSource: null
    property bool isThinking: false
    // How long it thought, in seconds; undefined until known.
    property var reasoningSeconds: undefined
    // "Show thinking": off, no trace of the thinking shows.
    property bool showThinking: true
    // The edit button of the user's messages and the retry button of failed replies.
    property bool showEdit: false
    property bool showRetry: false
    // The files the user attached, as maps of name, kind and size in bytes.
    property var attachments: []

    signal editRequested()
    signal retryRequested()
    // The user opened or closed the thinking.
    signal thinkingToggled()

    readonly property bool isUser: role === "user"
    // A failed reply ("Error: …"); given by the list's model so the text is not scanned here.
    property bool isError: false
    readonly property bool isHovered: hover.hovered
    readonly property alias copied: copyFlag.copied
    readonly property bool hasAnswer: root.source ? !root.source.isEmpty : root.content.length > 0
    readonly property bool showsThinking: !root.isUser && root.showThinking
                                          && root.reasoningSource !== null && !root.reasoningSource.isEmpty

    implicitHeight: isUser ? userRow.height : assistantColumn.height
    height: implicitHeight

    function fullText(): string {
        return root.source ? root.source.content : root.content
    }

    // Pictures load from their file, with bindings set here (ui/README.md: Loaders on Qt 6.4).
    function bindPicture(picture: MessagePicture): void {
        picture.shown = Qt.binding(() => root.imageState === VisibleMessagesModel.Picture)
        picture.url = Qt.binding(() => picture.shown ? root.fullText() : "")
    }

    function bindThinking(block: ThinkingBlock): void {
        block.source = Qt.binding(() => root.reasoningSource)
        block.isThinking = Qt.binding(() => root.isThinking)
        block.seconds = Qt.binding(() => root.reasoningSeconds)
        block.toggledByUser.connect(root.thinkingToggled)
    }

    function copyMessage(): void {
        Clipboard.setText(root.fullText())
        copyFlag.set()
    }

    HoverHandler {
        id: hover
    }

    CopyFlag {
        id: copyFlag
        interval: 1500
    }

    // The user's turn.
    Item {
        id: userRow
        visible: root.isUser
        width: root.width
        height: visible ? bubbleAttachments.height + (bubbleAttachments.visible && bubble.hasText ? 6 : 0)
                          + Math.max(bubble.height, editButton.height) : 0

        Flow {
            id: bubbleAttachments
            objectName: "bubbleAttachments"
            anchors.right: parent.right
            width: bubble.maxWidth
            spacing: 6
            layoutDirection: Qt.RightToLeft
            visible: root.attachments.length > 0
            height: visible ? implicitHeight : 0

            Repeater {
                // Laid out from the right edge: reversed, they read in the order attached.
                model: root.attachments.slice().reverse()
                delegate: AttachmentChip {
                    required property var modelData
                    objectName: "bubbleAttachment"
                    name: modelData.name
                    kind: modelData.kind
                    sizeText: ChatLogic.attachmentSizeText(modelData.size)
                }
            }
        }

        PlainButton {
            id: editButton
            objectName: "editButton"
            // Shown on hover, and while Tab has brought the focus to it.
            readonly property bool shown: (root.isHovered || activeFocus) && root.showEdit
            anchors.right: bubble.left
            anchors.rightMargin: 68
            anchors.bottom: parent.bottom
            symbol: "pencil.circle.fill"
            symbolSize: 20
            color: Theme.alpha(Theme.secondary, 0.55)
            toolTip: "Edit message"
            enabled: root.showEdit
            opacity: shown ? 1 : 0
            scale: shown ? 1 : 0.8
            Behavior on opacity { NumberAnimation { duration: 120; easing.type: Easing.InOutQuad } }
            Behavior on scale { NumberAnimation { duration: 120; easing.type: Easing.InOutQuad } }
            onClicked: root.editRequested()
        }

        Item {
            id: bubble
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            // At least 60 points of free space and the edit button stay at the leading side.
            readonly property real maxWidth: Math.max(80, root.width - 60 - editButton.width - 8)
            // Files sent without a word show no empty bubble.
            readonly property bool hasText: pictureLoader.active || userText.length > 0
            width: pictureLoader.active ? pictureLoader.width : Math.min(maxWidth, userText.implicitWidth)
            height: pictureLoader.active ? pictureLoader.height : hasText ? userText.implicitHeight : 0
            visible: hasText

            RectangularGlow {
                anchors.fill: parent
                anchors.topMargin: 3
                anchors.bottomMargin: -3
                visible: !pictureLoader.active
                glowRadius: 8
                cornerRadius: 20 + glowRadius
                color: Theme.alpha(Theme.accent, 0.22)
            }
            Rectangle {
                anchors.fill: parent
                visible: !pictureLoader.active
                radius: 20
                gradient: Gradient {
                    GradientStop { position: 0; color: Theme.accent }
                    GradientStop { position: 1; color: Theme.alpha(Theme.accent, 0.82) }
                }
            }
            TextEdit {
                id: userText
                objectName: "userText"
                visible: !pictureLoader.active
                width: parent.width
                leftPadding: 16
                rightPadding: 16
                topPadding: 11
                bottomPadding: 11
                text: root.isUser && !pictureLoader.active ? (root.source ? root.source.content : root.content) : ""
                textFormat: TextEdit.PlainText
                wrapMode: TextEdit.Wrap
                readOnly: true
                selectByMouse: true
                font.pixelSize: 13
                color: Theme.textOnAccent
                selectionColor: Theme.alpha(Theme.textOnAccent, 0.35)
                selectedTextColor: Theme.textOnAccent
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
            Loader {
                id: pictureLoader
                active: root.isUser && root.imageState !== VisibleMessagesModel.None
                source: "MessagePicture.qml"
                onLoaded: root.bindPicture(item as MessagePicture)
            }
        }
    }

    // The assistant's turn.
    Column {
        id: assistantColumn
        visible: !root.isUser
        width: root.width
        spacing: 4

        Row {
            spacing: 12
            width: parent.width

            AssistantAvatar {}

            Item {
                width: parent.width - 42
                height: 3 + replyColumn.height

                Column {
                    id: replyColumn
                    y: 3
                    width: parent.width
                    spacing: 10

                    // Loaded from its file (ui/README.md: Loaders on Qt 6.4).
                    Loader {
                        id: thinkingLoader
                        width: parent.width
                        active: root.showsThinking
                        visible: active
                        source: "ThinkingBlock.qml"
                        onLoaded: root.bindThinking(item as ThinkingBlock)
                    }
                    MarkdownContentView {
                        id: markdown
                        width: parent.width
                        // Under the thinking, only once the answer has begun.
                        visible: root.imageState === VisibleMessagesModel.None
                                 && (root.hasAnswer || !thinkingLoader.active)
                        text: visible && !root.source && !root.isUser ? root.content : ""
                        source: visible && !root.isUser ? root.source : null
                    }
                    Loader {
                        id: replyPicture
                        visible: active
                        active: !root.isUser && root.imageState !== VisibleMessagesModel.None
                        source: "MessagePicture.qml"
                        onLoaded: root.bindPicture(item as MessagePicture)
                    }
                }
            }
        }

        Row {
            id: actionRow
            // Shown on hover, for a failed reply, and while Tab has brought the focus to one
            // of its buttons: hidden, they stay in the focus chain.
            readonly property bool shown: root.isHovered || root.isError || copyButton.activeFocus
                                          || retryButton.activeFocus
            spacing: 10
            height: shown ? implicitHeight : 0
            opacity: shown ? 1 : 0
            Behavior on opacity { NumberAnimation { duration: 120; easing.type: Easing.InOutQuad } }

            Item { width: 42 - actionRow.spacing; height: 1 }
            PlainButton {
                id: copyButton
                objectName: "copyButton"
                visible: root.hasAnswer
                text: root.copied ? "Copied" : "Copy"
                symbol: root.copied ? "checkmark" : "doc.on.doc"
                color: root.copied ? Theme.green : Theme.secondary
                Behavior on color { ColorAnimation { duration: 200 } }
                onClicked: root.copyMessage()
            }
            PlainButton {
                id: retryButton
                objectName: "retryButton"
                visible: root.showRetry
                text: "Retry"
                symbol: "arrow.clockwise"
                color: Theme.accent
                onClicked: root.retryRequested()
            }
        }
    }
}
