import QtQuick
import QtQuick.Controls
import TovraAI

// The conversation as a list of message rows. Only visible rows have items; a streamed
// piece changes the last row alone. Stays at the end while the user has not scrolled up.
ListView {
    id: list

    // The store's message model.
    property MessageListModel messages
    // Row actions; null leaves the buttons out.
    property var editAction: null
    property var retryAction: null

    property bool followEnd: true

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
    }

    delegate: Item {
        id: row
        required property int index
        required property string role
        required property string imageState
        required property string messageId
        required property bool isError

        width: list.width
        height: bubble.height

        MessageContentSource {
            id: contentSource
            model: list.model
            row: row.index
        }

        MessageBubble {
            id: bubble
            x: 24
            width: parent.width - 48
            role: row.role
            source: contentSource
            imageState: row.imageState
            isError: row.isError
            editAction: list.editAction && row.role === "user" ? () => list.editAction(row.messageId) : null
            retryAction: list.retryAction && bubble.isError ? () => list.retryAction(row.messageId) : null
        }
    }

    ScrollBar.vertical: ScrollBar {}

    onMovementEnded: followEnd = atYEnd
    onContentHeightChanged: if (followEnd) Qt.callLater(list.positionViewAtEnd)
    onCountChanged: if (followEnd) Qt.callLater(list.positionViewAtEnd)
}
