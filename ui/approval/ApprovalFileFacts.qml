pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import TovraAI.Components
import TovraAI.Approval

// What the approved call does to the file at its path: a note ("New file", the current
// size, "Link to" the file a link leads to), and for a write over a text file the changed
// lines with a count.
Column {
    id: root

    // The call as the store publishes it.
    property var toolCall: ({})
    readonly property alias facts: facts

    spacing: 6
    visible: facts.note.length > 0

    ApprovalFacts {
        id: facts
        toolCall: root.toolCall
    }

    Row {
        spacing: 8
        Text {
            objectName: "fileNote"
            // A long link target wraps inside the sheet.
            width: Math.min(implicitWidth, root.width - (summary.visible ? summary.width + 8 : 0))
            wrapMode: Text.WrapAnywhere
            text: facts.note
            font.pixelSize: 10
            color: Theme.secondary
        }
        Text {
            id: summary
            objectName: "diffSummary"
            visible: text.length > 0
            text: facts.summary
            font.pixelSize: 10
            font.weight: Font.Medium
            color: Theme.label
        }
    }

    Rectangle {
        visible: diffList.count > 0
        width: root.width
        height: Math.min(diffList.contentHeight, 180) + 2
        radius: 6
        color: Theme.textBackground
        border.width: 0.5
        border.color: Theme.separator
        clip: true

        ListView {
            id: diffList
            objectName: "diffList"
            anchors.fill: parent
            anchors.margins: 1
            model: facts
            boundsBehavior: Flickable.StopAtBounds
            ScrollBar.vertical: ScrollBar {}
            delegate: Rectangle {
                id: diffRow
                required property int kind
                required property string line
                readonly property bool removed: kind === ApprovalFacts.Removed
                readonly property bool added: kind === ApprovalFacts.Added
                width: diffList.width
                height: lineText.implicitHeight
                color: removed ? Theme.alpha(Theme.red, 0.12)
                     : added ? Theme.alpha(Theme.green, 0.14) : "transparent"
                // Long lines wrap so that no part of a change is out of sight.
                Text {
                    id: lineText
                    width: diffRow.width
                    wrapMode: Text.WrapAnywhere
                    leftPadding: 6
                    rightPadding: 6
                    text: (diffRow.removed ? "− " : diffRow.added ? "+ " : "  ") + diffRow.line
                    textFormat: Text.PlainText
                    font.family: Theme.monospaceFamily
                    font.pixelSize: 11
                    font.italic: diffRow.kind === ApprovalFacts.Skipped
                    color: diffRow.kind === ApprovalFacts.Skipped ? Theme.secondary : Theme.label
                }
            }
        }
    }
}
