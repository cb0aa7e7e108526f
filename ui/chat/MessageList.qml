pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import TovraAI.Components
import TovraAI.Markdown
import TovraAI.Chat

// The conversation as a list of message rows. Only visible rows have items; a streamed
// piece changes the last row alone. Stays at the end while the user has not scrolled up.
ListView {
    id: list

    // The store's message model.
    property MessageListModel messages
    // Edit and retry are offered; a running reply holds them back.
    property bool actionsEnabled: true

    signal editRequested(string messageId)
    signal retryRequested(string messageId)

    property bool followEnd: true
    // The line above the first row about messages left out of the model's context.
    property bool historyWasTrimmed: false
    // The typing indicator below the last row.
    property bool isTyping: false
    // Replies show what their models thought ("Show thinking").
    property bool showThinking: true

    clip: true
    spacing: 18
    topMargin: 20
    bottomMargin: 20
    leftMargin: 0
    rightMargin: 0
    cacheBuffer: 400
    reuseItems: false
    boundsBehavior: Flickable.StopAtBounds
    keyNavigationEnabled: false

    model: VisibleMessagesModel {
        messages: list.messages
        showThinking: list.showThinking
    }

    delegate: Item {
        id: row
        required property int index
        required property string role
        required property int imageState
        required property string messageId
        required property bool isError
        required property bool isThinking
        required property var reasoningSeconds
        required property var attachments

        width: list.width
        height: bubble.height

        MessageContentSource {
            id: contentSource
            model: list.model
            row: row.index
        }
        MessageContentSource {
            id: reasoningSource
            model: list.model
            row: row.index
            roleName: "reasoning"
        }

        MessageBubble {
            id: bubble
            x: 24
            width: parent.width - 48
            role: row.role
            source: contentSource
            imageState: row.imageState
            isError: row.isError
            reasoningSource: reasoningSource
            isThinking: row.isThinking
            reasoningSeconds: row.reasoningSeconds
            attachments: row.attachments
            showThinking: list.showThinking
            showEdit: list.actionsEnabled && row.role === "user"
            showRetry: list.actionsEnabled && row.isError
            onEditRequested: list.editRequested(row.messageId)
            onRetryRequested: list.retryRequested(row.messageId)
            // Thinking opened at the end stays where the user looks, not scrolled past.
            onThinkingToggled: list.followEnd = false
        }
    }

    // HACK: on Qt 6.4 a header or footer component written inline in a Bound file is
    // never created ("Component is not ready"); one loaded from its own file is.
    header: Qt.createComponent("MessageListHeader.qml")
    footer: Qt.createComponent("MessageListFooter.qml")

    ScrollBar.vertical: ScrollBar {}

    // A control that Tab brings the focus to inside a row is moved into view, once the row
    // has taken the focus (an action row opens for it).
    function revealFocus(): void {
        const item = ChatLogic.tabStopInside(list.Window.activeFocusItem, list.contentItem)
        if (!item)
            return
        const top = item.mapToItem(list.contentItem, 0, 0).y
        const target = ChatLogic.revealedContentY(list.contentY, list.height, top, top + item.height,
                                                  list.originY - list.topMargin,
                                                  list.originY + list.contentHeight + list.bottomMargin - list.height)
        // Moved up, it stops following the end; moved down, it follows as it did.
        if (target < list.contentY)
            list.followEnd = false
        list.contentY = target
    }
    Connections {
        target: list.Window.window
        function onActiveFocusItemChanged() {
            Qt.callLater(list.revealFocus)
        }
    }

    onMovementEnded: followEnd = atYEnd
    // In the same layout pass, not after it: otherwise each frame of a growing reply is drawn
    // before the list catches up with its end, and the list scrolls a frame late.
    onContentHeightChanged: if (followEnd) list.positionViewAtEnd()
    onCountChanged: if (followEnd) Qt.callLater(list.positionViewAtEnd)
}
