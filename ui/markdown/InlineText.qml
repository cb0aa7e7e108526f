pragma ComponentBehavior: Bound
import QtQuick
import TovraAI.Components
import TovraAI.Markdown

// Selectable, wrapping rich text of one paragraph or bullet; opens web and mail links.
TextEdit {
    id: root

    textFormat: TextEdit.RichText
    wrapMode: TextEdit.Wrap
    readOnly: true
    selectByMouse: true
    font.pixelSize: 13
    color: Theme.label
    selectionColor: Theme.alpha(Theme.accent, 0.35)
    selectedTextColor: Theme.label
    Accessible.role: Accessible.StaticText
    Accessible.name: getText(0, length)

    onLinkActivated: link => {
        if (TextUtils.isOpenableLink(link))
            Qt.openUrlExternally(link)
    }

    HoverHandler {
        cursorShape: root.hoveredLink.length > 0 ? Qt.PointingHandCursor : Qt.IBeamCursor
    }
}
