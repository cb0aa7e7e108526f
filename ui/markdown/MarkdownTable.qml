pragma ComponentBehavior: Bound
import QtQuick
import TovraAI.Components
import TovraAI.Markdown

// One Markdown table: a grid with a bold header row, columns aligned as the delimiter
// line says, sideways scrolling when wider than the reply, and a copy button that copies
// the table as Markdown. Cells are single lines, so every row has one height.
Item {
    id: root

    // The table as typed; what the copy button copies.
    property string markdown
    // Rows of cells as rich text, the header row first.
    property var cells: []
    // Each column's MarkdownDocument alignment number (0 none, 1 left, 2 centre, 3 right).
    property var alignments: []
    readonly property alias copied: copyButton.copied
    readonly property alias grid: grid

    implicitHeight: frame.height
    implicitWidth: 200

    function copy(): void {
        copyButton.copy()
    }

    FontMetrics {
        id: metrics
        font.pixelSize: 13
    }

    QtObject {
        id: _private
        // Each column's natural width and left edge, from one pass over the cells when
        // they change; rows and cells are placed from these, with no positioner, so the
        // table has its full size as soon as it is created.
        property var columnWidths: []
        property var columnOffsets: []
        property real gridWidth: 0
        readonly property real rowHeight: metrics.height + 12

        // Most cells are plain words: the light reader draws them alike, for much less.
        function formatOf(html: string): int {
            return TextUtils.isPlainRichText(html) ? Text.StyledText : Text.RichText
        }

        function measure(): void {
            const widths = []
            const cells = root.cells
            for (let r = 0; r < cells.length; ++r) {
                measurer.font.weight = r === 0 ? Font.DemiBold : Font.Normal
                for (let c = 0; c < root.alignments.length; ++c) {
                    measurer.text = cells[r][c] ?? ""
                    measurer.textFormat = formatOf(measurer.text)
                    widths[c] = Math.max(widths[c] ?? 0, Math.ceil(measurer.implicitWidth))
                }
            }
            measurer.text = ""
            const offsets = []
            let x = 0
            for (let c = 0; c < widths.length; ++c) {
                offsets.push(x)
                x += widths[c]
            }
            columnWidths = widths
            columnOffsets = offsets
            gridWidth = x
        }
    }

    // Lays out one cell's text at a time for the measuring pass; never shown.
    Text {
        id: measurer
        visible: false
        leftPadding: 10
        rightPadding: 10
        textFormat: Text.RichText
        font.pixelSize: 13
    }

    // Created with its cells already bound, a table measures once on completion too.
    Component.onCompleted: _private.measure()
    onCellsChanged: _private.measure()
    onAlignmentsChanged: _private.measure()

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

            // One rectangle per row for its shading and rule, the cells placed at their
            // column's edge, and one rule per column boundary across the whole grid.
            Item {
                id: grid
                objectName: "tableGrid"
                width: _private.gridWidth
                height: root.cells.length * _private.rowHeight

                Repeater {
                    model: root.cells.length
                    delegate: Rectangle {
                        id: tableRow
                        required property int index
                        readonly property bool header: index === 0
                        readonly property var rowCells: root.cells[index] ?? []

                        y: index * _private.rowHeight
                        width: grid.width
                        height: _private.rowHeight
                        color: header ? Theme.alpha(Theme.separator, 0.2)
                             : index % 2 === 0 ? Theme.alpha(Theme.label, 0.03) : "transparent"

                        Rectangle {
                            anchors.bottom: parent.bottom
                            width: parent.width
                            height: 1
                            color: Theme.separator
                            opacity: tableRow.header ? 0.8 : 0.35
                        }

                        Repeater {
                            model: root.alignments.length
                            delegate: Text {
                                id: cell
                                required property int index
                                readonly property int alignment: root.alignments[index]
                                x: _private.columnOffsets[index] ?? 0
                                width: _private.columnWidths[index] ?? 0
                                height: tableRow.height
                                horizontalAlignment: cell.alignment === 3 ? Text.AlignRight
                                                   : cell.alignment === 2 ? Text.AlignHCenter : Text.AlignLeft
                                verticalAlignment: Text.AlignVCenter
                                leftPadding: 10
                                rightPadding: 10
                                text: tableRow.rowCells[cell.index] ?? ""
                                textFormat: _private.formatOf(text)
                                font.pixelSize: 13
                                font.weight: tableRow.header ? Font.DemiBold : Font.Normal
                                color: Theme.label
                                onLinkActivated: link => {
                                    if (TextUtils.isOpenableLink(link))
                                        Qt.openUrlExternally(link)
                                }
                            }
                        }
                    }
                }

                Repeater {
                    model: Math.max(0, root.alignments.length - 1)
                    delegate: Rectangle {
                        required property int index
                        x: (_private.columnOffsets[index + 1] ?? 0) - 1
                        width: 1
                        height: grid.height
                        color: Theme.separator
                        opacity: 0.35
                    }
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
