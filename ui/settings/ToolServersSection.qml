pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import TovraAI.Components
import TovraAI.Settings

// The rows of "Tool Servers": the servers of mcp.json, the file's parse error, Add (a
// command line or an address), "Open mcp.json" and the tools that run without asking.
ColumnLayout {
    id: root

    property McpRegistry registry
    readonly property ToolServerSettings settings: settings
    // The server the Remove question is about.
    property string removeTarget
    property bool showRemoveConfirm: false

    Layout.fillWidth: true
    spacing: 10

    ToolServerSettings {
        id: settings
        registry: root.registry
    }

    component Hint: Text {
        Layout.fillWidth: true
        font.pixelSize: 11
        color: Theme.secondary
        wrapMode: Text.Wrap
    }
    component Caption: Text {
        Layout.topMargin: 4
        font.pixelSize: 12
        font.weight: Font.DemiBold
        color: Theme.label
    }

    function add(): void {
        if (settings.add())
            commandField.forceActiveFocus()
    }

    Hint {
        text: "Tools of Model Context Protocol servers, kept in mcp.json. Every call asks first unless the tool is always allowed."
    }
    Text {
        objectName: "toolServerSummary"
        Layout.fillWidth: true
        text: settings.summary
        wrapMode: Text.Wrap
        font.pixelSize: 12
        color: Theme.label
    }

    // The file does not parse: the servers keep running as they were, and this says why.
    ColumnLayout {
        Layout.fillWidth: true
        visible: root.registry !== null && root.registry.hasConfigError
        spacing: 2
        Text {
            Layout.fillWidth: true
            text: "mcp.json could not be read; the servers run as before until it is fixed."
            wrapMode: Text.Wrap
            font.pixelSize: 11
            color: Theme.red
        }
        Text {
            objectName: "configError"
            Layout.fillWidth: true
            text: root.registry ? root.registry.configError : ""
            wrapMode: Text.Wrap
            font.family: Theme.monospaceFamily
            font.pixelSize: 10
            color: Theme.secondary
        }
    }

    Repeater {
        objectName: "serverList"
        model: root.registry ? root.registry.servers : null
        delegate: ColumnLayout {
            id: entry
            required property var model
            required property int index
            Layout.fillWidth: true
            spacing: 10
            Divider { Layout.fillWidth: true; visible: entry.index > 0 }
            ToolServerRow {
                model: entry.model
                settings: root.settings
                onRemoveRequested: name => {
                    root.removeTarget = name
                    root.showRemoveConfirm = true
                }
            }
        }
    }

    Divider { Layout.fillWidth: true }
    Caption { text: "Add a server" }
    TextField {
        id: commandField
        objectName: "addCommandField"
        Layout.fillWidth: true
        placeholderText: "Command line or URL, e.g. npx -y @modelcontextprotocol/server-filesystem ~/Documents"
        text: settings.commandText
        Accessible.name: "Command line or URL"
        onTextEdited: settings.commandText = text
        onAccepted: root.add()
    }
    RowLayout {
        Layout.fillWidth: true
        spacing: 10
        TextField {
            objectName: "addNameField"
            Layout.fillWidth: true
            placeholderText: settings.suggestedName.length > 0 ? settings.suggestedName : "Name"
            text: settings.nameText
            Accessible.name: "Name"
            Accessible.description: settings.suggestedName
            onTextEdited: settings.nameText = text
            onAccepted: root.add()
        }
        SymbolButton {
            objectName: "addServerButton"
            text: "Add"
            symbol: "plus"
            enabled: settings.canAdd
            onClicked: root.add()
        }
    }
    Hint {
        objectName: "addError"
        visible: text.length > 0
        text: settings.addError
        color: Theme.red
    }
    RowLayout {
        Layout.fillWidth: true
        spacing: 10
        SymbolButton {
            id: openConfigButton
            objectName: "openConfigButton"
            text: "Open mcp.json"
            symbol: "doc.text"
            onClicked: settings.openConfigFile()
        }
        Text {
            Layout.fillWidth: true
            text: root.registry ? root.registry.configPath : ""
            elide: Text.ElideMiddle
            font.pixelSize: 10
            font.family: Theme.monospaceFamily
            color: Theme.secondary
        }
    }
    Hint {
        objectName: "actionError"
        visible: text.length > 0
        text: settings.actionError
        color: Theme.red
    }

    Divider { Layout.fillWidth: true }
    Caption { text: "Always allowed" }
    Hint {
        objectName: "noAlwaysAllowed"
        visible: allowedList.count === 0
        text: "No tool runs without asking."
    }
    Repeater {
        id: allowedList
        objectName: "alwaysAllowedList"
        model: root.registry ? root.registry.alwaysAllowed : null
        delegate: RowLayout {
            id: allowed
            required property string server
            required property string tool
            required property bool inConfigFile
            readonly property Item revokeButton: revokeButton
            Layout.fillWidth: true
            spacing: 10
            Text {
                objectName: "alwaysAllowedTool"
                Layout.fillWidth: true
                text: allowed.server + " · " + allowed.tool
                elide: Text.ElideRight
                font.pixelSize: 12
                font.family: Theme.monospaceFamily
                color: Theme.label
            }
            Text {
                visible: allowed.inConfigFile
                text: "in mcp.json"
                font.pixelSize: 10
                color: Theme.secondary
            }
            SymbolButton {
                id: revokeButton
                objectName: "revokeButton"
                text: "Revoke"
                Accessible.name: "Revoke " + allowed.server + " " + allowed.tool
                onClicked: {
                    settings.revoke(allowed.server, allowed.tool)
                    // The row goes with the press: the focus stays in the section.
                    root.focusAfterRevoke()
                }
            }
        }
    }

    function focusAfterRevoke(): void {
        Qt.callLater(() => {
            const next = allowedList.count > 0 ? allowedList.itemAt(0) : null
            if (next && next.revokeButton)
                next.revokeButton.forceActiveFocus(Qt.TabFocusReason)
            else
                openConfigButton.forceActiveFocus(Qt.TabFocusReason)
        })
    }

    ConfirmationDialog {
        objectName: "removeServerConfirm"
        isPresented: root.showRemoveConfirm
        title: "Remove the tool server “" + root.removeTarget + "”?"
        message: "It stops, and mcp.json no longer lists it."
        confirmText: "Remove"
        onIsPresentedRequested: value => root.showRemoveConfirm = value
        onConfirmed: {
            settings.remove(root.removeTarget)
            // The row and its button are gone: typing goes to the Add field.
            commandField.forceActiveFocus(Qt.TabFocusReason)
        }
    }
}
