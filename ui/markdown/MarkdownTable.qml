pragma ComponentBehavior: Bound
import QtQuick
import TovraAI.Components
import TovraAI.Markdown

// One Markdown table: its grid (TableGrid), sideways scrolling when wider than the reply,
// and a copy button that copies the table as Markdown.
Item {
    id: root

    // The table as typed; what the copy button copies.
    property string markdown
    // Rows of cells as rich text, the header row first.
    property var cells: []
    // Each column's MarkdownDocument alignment number (0 none, 1 left, 2 centre, 3 right).
    property var alignments: []
    readonly property alias copied: copyButton.copied

    implicitHeight: frame.height
    implicitWidth: 200

    function copy(): void {
        copyButton.copy()
    }

    Rectangle {
        id: frame
        // As wide as the grid, at most the reply's width.
        width: Math.min(parent.width, Math.max(grid.width, copyButton.implicitWidth + 16))
        height: scroller.height + toolbar.height
        radius: 8
        color: Theme.textBackground
        border.width: 0.5
        border.color: Theme.separator
        clip: true

        SideScroller {
            id: scroller
            objectName: "tableScroller"
            width: parent.width
            height: grid.height + barHeight
            contentWidth: Math.max(width, grid.width)
            contentHeight: grid.height

            TableGrid {
                id: grid
                objectName: "tableGrid"
                width: implicitWidth
                height: implicitHeight
                cells: root.cells
                alignments: root.alignments
                textColor: Theme.label
                ruleColor: Theme.separator
                headerColor: Theme.alpha(Theme.separator, 0.2)
                stripeColor: Theme.alpha(Theme.label, 0.03)
                Accessible.role: Accessible.Table
                Accessible.name: grid.plainText
                onLinkActivated: link => {
                    if (TextUtils.isOpenableLink(link))
                        Qt.openUrlExternally(link)
                }
            }
        }

        Item {
            id: toolbar
            anchors.top: scroller.bottom
            width: parent.width
            height: copyButton.implicitHeight + 8

            CopyButton {
                id: copyButton
                objectName: "tableCopyButton"
                anchors.right: parent.right
                anchors.rightMargin: 8
                anchors.verticalCenter: parent.verticalCenter
                textToCopy: root.markdown
                label: "Copy table"
            }
        }
    }
}
