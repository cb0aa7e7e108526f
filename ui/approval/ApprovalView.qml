pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import Qt5Compat.GraphicalEffects
import TovraAI.Components
import TovraAI.Approval

// What a tool call would do, with "Deny" and "Approve". It only reports the
// presses; the chat screen turns them into the decision. Nothing is hidden: a value cut
// to three lines opens in full on demand, and a file change shows what it changes.
// A tool server's call shows the server, the tool, what the server says it does and the
// arguments exactly as they will be sent, with "Always allow this tool" where it is offered.
// Tab walks Deny, then Approve (then "Always allow this tool"); Space presses the focused one;
// no key approves alone.
Column {
    id: root

    // The call as the store publishes it: name and arguments are read.
    property var toolCall: ({})

    // What the pending call is when a tool server's tool is asked for; null for none.
    property ToolServerApproval server: null
    readonly property bool isServerCall: server !== null && server.isToolServerCall

    readonly property string toolName: toolCall && toolCall.name ? toolCall.name : ""
    readonly property string title: isServerCall ? server.toolTitle : ApprovalPrompt.toolTitle(toolName)
    // The catalogue's line; a server's own description is a row of the details.
    readonly property string description: isServerCall ? "" : ApprovalPrompt.toolDescription(toolName)
    readonly property var arguments: isServerCall ? []
        : ApprovalPrompt.argumentRows(toolCall && toolCall.arguments ? toolCall.arguments : {})

    // The tallest the view may be: the details scroll inside it beyond that.
    property real maxHeight: 100000

    signal approved()
    signal denied()
    // "Always allow this tool": remember the tool, and approve this call.
    signal approvedAlways()

    // Focus on Deny, so that a key press meant for something else cannot approve.
    function focusDeny(): void {
        denyButton.forceActiveFocus(Qt.TabFocusReason)
    }

    // Wider for a server's call: three buttons share the row.
    width: isServerCall ? 480 : 380

    // A label over a selectable value of at most three lines; "Show all" opens a longer
    // one in full, monospaced, wrapped and scrollable.
    component LabelValue: Column {
        id: pair
        property string label
        property string value
        property bool monospace: false
        property bool expanded: false
        readonly property bool isCut: valueEdit.contentHeight > 3 * metrics.lineSpacing + 1
        spacing: 2

        Text {
            text: pair.label
            font.pixelSize: 10
            color: Theme.secondary
        }
        Item {
            objectName: "valueClip"
            visible: !pair.expanded
            width: pair.width
            height: Math.min(valueEdit.contentHeight, 3 * metrics.lineSpacing)
            clip: true

            FontMetrics {
                id: metrics
                font: valueEdit.font
            }
            TextEdit {
                id: valueEdit
                objectName: "valueText"
                width: parent.width
                text: pair.value
                textFormat: TextEdit.PlainText
                wrapMode: TextEdit.Wrap
                readOnly: true
                selectByMouse: true
                font.pixelSize: 11
                font.family: pair.monospace ? Theme.monospaceFamily : Qt.application.font.family
                color: Theme.label
                selectionColor: Theme.alpha(Theme.accent, 0.35)
            }
        }
        ScrollView {
            objectName: "fullValue"
            visible: pair.expanded
            width: pair.width
            height: Math.min(fullText.implicitHeight, 220)
            clip: true
            TextArea {
                id: fullText
                objectName: "fullValueText"
                text: pair.expanded ? pair.value : ""
                textFormat: TextEdit.PlainText
                // Wrapped: a scroll to the right would hide the end of a long line.
                wrapMode: TextEdit.Wrap
                readOnly: true
                selectByMouse: true
                font.family: Theme.monospaceFamily
                font.pixelSize: 11
                color: Theme.label
                selectionColor: Theme.alpha(Theme.accent, 0.35)
                background: Rectangle {
                    radius: 6
                    color: Theme.textBackground
                    border.width: 0.5
                    border.color: Theme.separator
                }
            }
        }
        PlainButton {
            objectName: "showAllButton"
            visible: pair.isCut
            leftPadding: 0
            topPadding: 2
            text: pair.expanded ? "Show less" : "Show all"
            color: Theme.accent
            onClicked: pair.expanded = !pair.expanded
        }
    }

    // One row of a tool server's call: a divider, the symbol, the label and the value.
    component ServerDetail: Column {
        id: detail
        property string symbol
        property string label
        property string value
        property bool monospace: false
        width: root.width

        Divider {
            x: 52
            width: root.width - 52
        }
        Row {
            x: 20
            width: root.width - 40
            topPadding: 12
            bottomPadding: 12
            spacing: 12
            Icon {
                width: 28
                topPadding: 1
                name: detail.symbol
                size: 13
                font.weight: Font.Medium
                color: Theme.secondary
            }
            LabelValue {
                width: parent.width - 40
                label: detail.label
                value: detail.value
                monospace: detail.monospace
            }
        }
    }

    // Header.
    Column {
        id: header
        width: root.width
        topPadding: 28
        bottomPadding: 20
        spacing: 10

        Rectangle {
            anchors.horizontalCenter: parent.horizontalCenter
            width: 52
            height: 52
            radius: 26
            color: Theme.alpha(Theme.orange, 0.12)
            Icon {
                anchors.centerIn: parent
                name: "lock.shield.fill"
                size: 22
                font.weight: Font.DemiBold
                color: Theme.orange
            }
        }
        Column {
            width: parent.width
            spacing: 4
            Text {
                width: parent.width
                horizontalAlignment: Text.AlignHCenter
                text: "Action Requires Approval"
                font.pixelSize: 13
                font.weight: Font.Bold
                color: Theme.label
            }
            Text {
                width: parent.width
                leftPadding: 20
                rightPadding: 20
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.Wrap
                text: root.isServerCall
                      ? "Tovra AI wants to use a tool of the server “" + root.server.serverName + "”"
                      : "Tovra AI wants to perform a system action"
                font.pixelSize: 10
                color: Theme.secondary
            }
        }
    }

    Divider { width: root.width }

    // Details: the call, then one row per argument. They scroll inside the sheet when the
    // whole of it would not fit, so the buttons always stay in view.
    Flickable {
        id: detailsScroller
        objectName: "detailsScroller"
        readonly property real fixedHeight: header.height + 2 + descriptionLine.height + buttons.height
        width: root.width
        height: Math.min(details.height, Math.max(120, root.maxHeight - fixedHeight))
        contentWidth: width
        contentHeight: details.height
        clip: true
        boundsBehavior: Flickable.StopAtBounds
        interactive: contentHeight > height
        ScrollBar.vertical: ScrollBar {
            policy: detailsScroller.interactive ? ScrollBar.AsNeeded : ScrollBar.AlwaysOff
        }

        Column {
            id: details
            width: root.width
            topPadding: 6
            bottomPadding: 6

            Row {
                x: 20
                width: root.width - 40
                topPadding: 12
                bottomPadding: 12
                spacing: 12
                Icon {
                    width: 28
                    topPadding: 1
                    name: "wrench.and.screwdriver.fill"
                    size: 13
                    font.weight: Font.Medium
                    color: Theme.blue
                }
                LabelValue {
                    objectName: "actionRow"
                    width: parent.width - 40
                    label: root.isServerCall ? "Tool" : "Action"
                    value: root.isServerCall && root.server.toolName !== root.title
                           ? root.title + " (" + root.server.toolName + ")" : root.title
                }
            }
            ServerDetail {
                objectName: "serverRow"
                visible: root.isServerCall
                symbol: "server.rack"
                label: "Server"
                value: root.isServerCall ? root.server.serverName : ""
            }
            ServerDetail {
                objectName: "serverDescriptionRow"
                visible: root.isServerCall && value.length > 0
                symbol: "info.circle"
                label: "Description (from the server)"
                value: root.isServerCall ? root.server.description : ""
            }
            // The server's word only: the call asks all the same.
            ServerDetail {
                objectName: "readOnlyHintRow"
                visible: root.isServerCall && root.server.readOnlyHint
                symbol: "exclamationmark.circle.fill"
                label: "Read-only"
                value: "The server says this tool changes nothing. Tovra AI cannot check that claim."
            }
            ServerDetail {
                objectName: "serverArgumentsRow"
                visible: root.isServerCall
                symbol: "doc.text"
                label: "Arguments, as sent"
                monospace: true
                value: root.isServerCall ? root.server.argumentsJson : ""
            }

            Repeater {
                model: root.arguments
                delegate: Column {
                    id: argumentRow
                    required property var modelData
                    required property int index
                    objectName: "argumentRow" + index
                    readonly property string label: modelData.label
                    readonly property string icon: modelData.icon
                    width: root.width

                    Divider {
                        x: 52
                        width: root.width - 52
                    }
                    Row {
                        x: 20
                        width: root.width - 40
                        topPadding: 12
                        bottomPadding: 12
                        spacing: 12
                        Icon {
                            width: 28
                            topPadding: 1
                            name: argumentRow.icon
                            size: 13
                            font.weight: Font.Medium
                            color: Theme.secondary
                        }
                        LabelValue {
                            objectName: "argumentValue"
                            width: parent.width - 40
                            label: argumentRow.label
                            value: argumentRow.modelData.value
                        }
                    }
                }
            }

            ApprovalFileFacts {
                id: fileFacts
                objectName: "fileFacts"
                x: 60
                width: root.width - 80
                bottomPadding: 12
                toolCall: root.toolCall
            }
        }
    }

    Divider { width: root.width }

    // Only for a tool the catalogue describes.
    Column {
        id: descriptionLine
        objectName: "descriptionLine"
        width: root.width
        visible: root.description.length > 0

        Row {
            x: 20
            width: root.width - 40
            topPadding: 12
            bottomPadding: 12
            spacing: 8
            Icon {
                anchors.verticalCenter: parent.verticalCenter
                name: "info.circle"
                size: 12
                color: Theme.secondary
            }
            Text {
                objectName: "descriptionText"
                anchors.verticalCenter: parent.verticalCenter
                width: parent.width - 20
                wrapMode: Text.Wrap
                text: root.description
                font.pixelSize: 10
                color: Theme.secondary
            }
        }
        Divider { width: root.width }
    }

    Row {
        id: buttons
        padding: 20
        spacing: 12
        readonly property int count: root.isServerCall && root.server.canAlwaysAllow ? 3 : 2
        readonly property real buttonWidth: (root.width - 40 - spacing * (count - 1)) / count

        AbstractButton {
            id: denyButton
            objectName: "denyButton"
            width: parent.buttonWidth
            focusPolicy: Qt.StrongFocus
            text: "Deny"
            Accessible.name: text
            padding: 10
            contentItem: Text {
                text: denyButton.text
                horizontalAlignment: Text.AlignHCenter
                font.pixelSize: 11
                font.weight: Font.Medium
                color: Theme.red
            }
            background: Rectangle {
                radius: 10
                color: denyButton.down ? Qt.darker(Theme.controlBackground, 1.06) : Theme.controlBackground
                border.width: denyButton.visualFocus ? 2 : 1
                border.color: denyButton.visualFocus ? Theme.accent : Theme.alpha(Theme.red, 0.3)
            }
            onClicked: root.denied()
        }
        AbstractButton {
            id: approveButton
            objectName: "approveButton"
            width: parent.buttonWidth
            focusPolicy: Qt.StrongFocus
            text: "Approve"
            Accessible.name: text
            padding: 10
            contentItem: Text {
                text: approveButton.text
                horizontalAlignment: Text.AlignHCenter
                font.pixelSize: 11
                font.weight: Font.DemiBold
                color: Theme.textOnAccent
            }
            background: Item {
                RectangularGlow {
                    anchors.fill: parent
                    anchors.topMargin: 2
                    anchors.bottomMargin: -2
                    glowRadius: 6
                    cornerRadius: 10 + glowRadius
                    color: Theme.alpha(Theme.green, 0.25)
                }
                Rectangle {
                    anchors.fill: parent
                    radius: 10
                    color: approveButton.down ? Qt.darker(Theme.green, 1.1) : Theme.green
                }
                // The focus ring, outside the green so that it shows against it.
                Rectangle {
                    anchors.fill: parent
                    anchors.margins: -3
                    radius: 13
                    visible: approveButton.visualFocus
                    color: "transparent"
                    border.width: 2
                    border.color: Theme.accent
                }
            }
            // A link that leads elsewhere than shown is shown afresh, to be approved again.
            onClicked: if (fileFacts.facts.confirmTarget()) root.approved()
        }
        AbstractButton {
            id: alwaysButton
            objectName: "alwaysAllowButton"
            visible: buttons.count === 3
            width: parent.buttonWidth
            height: approveButton.height
            focusPolicy: Qt.StrongFocus
            text: "Always allow this tool"
            Accessible.name: text
            padding: 10
            contentItem: Text {
                text: alwaysButton.text
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
                elide: Text.ElideRight
                font.pixelSize: 11
                font.weight: Font.Medium
                color: Theme.green
            }
            background: Rectangle {
                radius: 10
                color: alwaysButton.down ? Qt.darker(Theme.controlBackground, 1.06) : Theme.controlBackground
                border.width: alwaysButton.visualFocus ? 2 : 1
                border.color: alwaysButton.visualFocus ? Theme.accent : Theme.alpha(Theme.green, 0.4)
            }
            onClicked: root.approvedAlways()
        }
    }
}
