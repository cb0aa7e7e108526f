pragma ComponentBehavior: Bound
import QtQuick
import TovraAI.Components

// The copy button of a code block or a table: its label, then "Copied!" for two seconds.
PlainButton {
    id: root

    // What the button copies, and its title before it has.
    property string textToCopy
    property string label: "Copy"
    readonly property alias copied: copyFlag.copied

    function copy(): void {
        Clipboard.setText(root.textToCopy)
        copyFlag.set()
    }

    leftPadding: 8
    rightPadding: 8
    topPadding: 3
    bottomPadding: 3
    text: root.copied ? "Copied!" : root.label
    symbol: root.copied ? "checkmark" : "doc.on.doc"
    color: root.copied ? Theme.green : Theme.secondary
    Behavior on color {
        ColorAnimation { duration: 200 }
    }
    background: Rectangle {
        radius: 5
        color: Theme.alpha(Theme.controlBackground, 0.7)
        border.width: root.visualFocus ? 1 : 0
        border.color: Theme.accent
    }
    onClicked: root.copy()

    CopyFlag {
        id: copyFlag
        interval: 2000
    }
}
