pragma ComponentBehavior: Bound
import QtQuick
import TovraAI.Components

// Homebrew's live output, small and monospaced, kept scrolled to the newest line.
Flickable {
    id: root

    property string text
    property real maximumHeight: 120

    implicitHeight: Math.min(root.maximumHeight, outputText.implicitHeight)
    contentHeight: outputText.implicitHeight
    clip: true
    boundsBehavior: Flickable.StopAtBounds

    Text {
        id: outputText
        width: root.width
        text: root.text
        wrapMode: Text.WrapAnywhere
        font.family: Theme.monospaceFamily
        font.pixelSize: 10
        color: Theme.secondary
        onTextChanged: Qt.callLater(() => root.contentY
            = Math.max(0, root.contentHeight - root.height))
    }
}
