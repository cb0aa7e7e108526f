pragma ComponentBehavior: Bound
import QtQuick
import TovraAI.Components
import TovraAI.Markdown

// A Markdown bullet: the sign, then the item's inline Markdown as rich text.
Item {
    id: root

    property string html
    property string plainText

    height: Math.max(bulletSign.implicitHeight + 1, bulletText.implicitHeight)

    Text {
        id: bulletSign
        x: 6
        y: 1
        text: "\u2022"
        font.pixelSize: 13
        color: Theme.secondary
    }
    InlineText {
        id: bulletText
        x: bulletSign.x + bulletSign.implicitWidth + 8
        width: parent.width - x
        text: root.html
        plainText: root.plainText
    }
}
