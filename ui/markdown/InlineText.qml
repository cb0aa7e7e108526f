pragma ComponentBehavior: Bound
import QtQuick
import TovraAI.Components
import TovraAI.Markdown

// Selectable, wrapping rich text of one paragraph or bullet; opens web and mail links.
TextEdit {
    id: root

    // The words without their markup, as a screen reader reads them (the rich text's own
    // plain form costs a fifth of making the item, and again with every streamed piece).
    property string plainText

    textFormat: TextEdit.RichText
    wrapMode: TextEdit.Wrap
    readOnly: true
    selectByMouse: true
    font.pixelSize: 13
    color: Theme.label
    selectionColor: Theme.alpha(Theme.accent, 0.35)
    selectedTextColor: Theme.label
    Accessible.role: Accessible.StaticText
    Accessible.name: plainText

    onLinkActivated: link => {
        if (TextUtils.isOpenableLink(link))
            Qt.openUrlExternally(link)
    }

    HoverHandler {
        cursorShape: root.hoveredLink.length > 0 ? Qt.PointingHandCursor : Qt.IBeamCursor
    }
}
