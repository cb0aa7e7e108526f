pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import TovraAI.Components
import TovraAI.Settings

// One tool server in Settings: its state, its switch, Restart and Remove, its command or
// address, what its tool definitions cost, the end of its log when it failed, and its tools
// with a switch each (shown on demand: a server may list dozens).
ColumnLayout {
    id: row

    // The server's row of McpServerListModel.
    required property var model
    required property ToolServerSettings settings
    property bool showTools: false

    // Remove was pressed: the section asks first.
    signal removeRequested(string name)

    // The row's roles. While the list replaces its rows the row object goes before the
    // delegate does: a blank value then, never a read of null.
    function role(name: string, blank: var): var {
        return row.model ? row.model[name] : blank
    }
    readonly property string serverName: role("name", "")
    readonly property string serverState: role("state", "")
    readonly property bool serverEnabled: role("enabled", false)
    readonly property int toolCount: role("toolCount", 0)
    readonly property int enabledToolCount: role("enabledToolCount", 0)

    Layout.fillWidth: true
    spacing: 4

    component RowSwitch: Switch {
        id: toggle
        focusPolicy: Qt.StrongFocus
        Accessible.name: text
        Keys.onReturnPressed: { toggle.toggle(); toggle.toggled() }
        Keys.onEnterPressed: { toggle.toggle(); toggle.toggled() }
    }

    RowLayout {
        Layout.fillWidth: true
        spacing: 8
        Rectangle {
            Layout.preferredWidth: 8
            Layout.preferredHeight: 8
            Layout.alignment: Qt.AlignTop
            Layout.topMargin: 6
            radius: 4
            color: row.serverState === "ready" ? Theme.green
                 : row.serverState === "starting" ? Theme.yellow
                 : row.serverState === "failed" ? Theme.red : Theme.alpha(Theme.secondary, 0.4)
        }
        ColumnLayout {
            Layout.fillWidth: true
            spacing: 1
            Text {
                objectName: "serverName"
                Layout.fillWidth: true
                text: row.serverName
                elide: Text.ElideRight
                font.pixelSize: 13
                font.weight: Font.DemiBold
                color: Theme.label
            }
            Text {
                objectName: "serverState"
                Layout.fillWidth: true
                text: row.role("stateText", "")
                wrapMode: Text.Wrap
                font.pixelSize: 11
                color: row.serverState === "failed" ? Theme.red : Theme.secondary
            }
        }
        Spinner { visible: row.serverState === "starting" }
        RowSwitch {
            objectName: "serverSwitch"
            LayoutMirroring.enabled: true // drawn as the other settings switches are
            checked: row.serverEnabled
            Accessible.name: "Use " + row.serverName
            onToggled: row.settings.setServerEnabled(row.serverName, checked)
        }
    }

    Text {
        objectName: "serverCommand"
        Layout.fillWidth: true
        Layout.leftMargin: 16
        text: row.role("commandLine", "")
        elide: Text.ElideMiddle
        font.family: Theme.monospaceFamily
        font.pixelSize: 10
        color: Theme.secondary
    }
    Text {
        objectName: "serverTokens"
        Layout.leftMargin: 16
        visible: row.serverState === "ready"
        text: row.settings.tokenText(row.role("tokenEstimate", 0))
        font.pixelSize: 11
        color: Theme.secondary
    }

    // Why it failed is its state; this is what the server itself said last, at most a dozen
    // lines: it grows with them rather than scrolling.
    Rectangle {
        Layout.fillWidth: true
        Layout.leftMargin: 16
        implicitHeight: logText.contentHeight + 12
        visible: row.serverState === "failed" && logText.text.length > 0
        radius: 6
        color: Theme.textBackground
        border.width: 0.5
        border.color: Theme.separator
        TextEdit {
            id: logText
            objectName: "serverLog"
            x: 6
            y: 6
            width: parent.width - 12
            text: row.settings.logTail(row.role("log", ""))
            readOnly: true
            selectByMouse: true
            // Tab passes on: the log is read, not edited.
            activeFocusOnTab: false
            wrapMode: TextEdit.Wrap
            font.family: Theme.monospaceFamily
            font.pixelSize: 10
            color: Theme.secondary
            selectionColor: Theme.alpha(Theme.accent, 0.35)
        }
    }

    RowLayout {
        Layout.leftMargin: 16
        spacing: 8
        SymbolButton {
            objectName: "toolsToggle"
            visible: row.toolCount > 0
            flat: true
            symbol: row.showTools ? "chevron.up" : "chevron.down"
            text: row.showTools ? "Hide tools"
                  : row.enabledToolCount === row.toolCount
                    ? "Tools (" + row.toolCount + ")"
                    : "Tools (" + row.enabledToolCount + " of " + row.toolCount + " on)"
            onClicked: row.showTools = !row.showTools
        }
        SymbolButton {
            objectName: "restartButton"
            text: "Restart"
            symbol: "arrow.clockwise"
            enabled: row.serverEnabled
            onClicked: row.settings.restart(row.serverName)
        }
        SymbolButton {
            objectName: "removeButton"
            text: "Remove"
            symbol: "trash"
            tint: Theme.red
            onClicked: row.removeRequested(row.serverName)
        }
    }

    Repeater {
        model: row.showTools ? row.role("tools", null) : null
        delegate: ColumnLayout {
            id: tool
            required property var model
            function role(name: string, blank: var): var {
                return tool.model ? tool.model[name] : blank
            }
            readonly property string toolName: role("name", "")
            Layout.fillWidth: true
            Layout.leftMargin: 16
            spacing: 0
            RowSwitch {
                objectName: "toolSwitch"
                Layout.fillWidth: true
                text: tool.toolName
                checked: tool.role("enabled", false)
                Accessible.name: "Offer " + tool.toolName
                onToggled: row.settings.setToolEnabled(row.serverName, tool.toolName, checked)
                LayoutMirroring.enabled: true // the name first, the switch at the row's end
                contentItem: Text {
                    text: tool.toolName + (tool.role("alwaysAllowed", false) ? "  · always allowed" : "")
                    font.pixelSize: 12
                    font.family: Theme.monospaceFamily
                    color: Theme.label
                    elide: Text.ElideRight
                    verticalAlignment: Text.AlignVCenter
                    horizontalAlignment: Text.AlignLeft
                    LayoutMirroring.enabled: false
                }
            }
            Text {
                Layout.fillWidth: true
                visible: text.length > 0
                text: tool.role("description", "")
                elide: Text.ElideRight
                maximumLineCount: 1
                font.pixelSize: 10
                color: Theme.secondary
            }
        }
    }
}
