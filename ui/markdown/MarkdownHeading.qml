pragma ComponentBehavior: Bound
import QtQuick
import TovraAI.Components
import TovraAI.Markdown

// A Markdown heading of level 1 to 3, selectable.
Item {
    id: root

    property int level: 1
    property string text

    height: heading.implicitHeight + heading.y + 2

    TextEdit {
        id: heading
        y: root.level === 1 ? 4 : 2
        width: parent.width
        text: root.text
        textFormat: TextEdit.PlainText
        wrapMode: TextEdit.Wrap
        readOnly: true
        selectByMouse: true
        font.pixelSize: root.level === 1 ? 20 : root.level === 2 ? 17 : 15
        font.weight: root.level <= 2 ? Font.Bold : Font.DemiBold
        color: Theme.label
        selectionColor: Theme.alpha(Theme.accent, 0.35)
        selectedTextColor: Theme.label
        Accessible.role: Accessible.Heading
        Accessible.name: root.text
    }
}
