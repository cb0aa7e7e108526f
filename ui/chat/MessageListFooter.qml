pragma ComponentBehavior: Bound
import QtQuick
import TovraAI.Chat

// Below the last row: the typing indicator while a reply is awaited.
Item {
    id: root

    readonly property MessageList list: ListView.view as MessageList

    width: list ? list.width : 0
    height: (typing.visible ? list.spacing + typing.height : 0) + 1

    TypingIndicator {
        id: typing
        objectName: "typingIndicator"
        x: 24
        y: root.list ? root.list.spacing : 0
        visible: root.list ? root.list.isTyping : false
    }
}
