pragma ComponentBehavior: Bound
import QtQuick
import TovraAI.Components

// The copy button of a code block or a table: its label, then "Copied!" for two seconds.
// A plain item with its own keys rather than a control: one is made with every block, many a
// second while a reply streams, and a control costs a fifth of a block more to make. Tab
// reaches it; Space or Return copies, as does a click.
Item {
    id: root

    // What the button copies, and its title before it has.
    property string textToCopy
    property string label: "Copy"
    readonly property alias copied: copyFlag.copied
    readonly property string text: root.copied ? "Copied!" : root.label
    property color color: root.copied ? Theme.green : Theme.secondary
    Behavior on color {
        ColorAnimation { duration: 200 }
    }

    function copy(): void {
        Clipboard.setText(root.textToCopy)
        copyFlag.set()
    }

    implicitWidth: content.implicitWidth + 16
    implicitHeight: content.implicitHeight + 6
    activeFocusOnTab: true
    Accessible.role: Accessible.Button
    Accessible.name: root.text
    Accessible.onPressAction: root.copy()
    Keys.onSpacePressed: root.copy()
    Keys.onReturnPressed: root.copy()
    Keys.onEnterPressed: root.copy()

    Rectangle {
        anchors.fill: parent
        radius: 5
        color: Theme.alpha(Theme.controlBackground, 0.7)
        border.width: root.activeFocus ? 1 : 0
        border.color: Theme.accent
    }
    Row {
        id: content
        x: 8
        anchors.verticalCenter: parent.verticalCenter
        spacing: 4
        Icon {
            anchors.verticalCenter: parent.verticalCenter
            name: root.copied ? "checkmark" : "doc.on.doc"
            size: 11
            color: root.color
        }
        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: root.text
            font.pixelSize: 11
            font.weight: Font.Medium
            color: root.color
        }
    }
    TapHandler {
        onTapped: root.copy()
    }

    CopyFlag {
        id: copyFlag
        interval: 2000
    }
}
