pragma ComponentBehavior: Bound
import QtQuick
import TovraAI.Components
import TovraAI.Chat

// Drawn over the conversation while a drag with files hovers over it; takes no clicks.
Rectangle {
    anchors.margins: 6
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
