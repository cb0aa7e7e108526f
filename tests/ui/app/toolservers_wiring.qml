pragma ComponentBehavior: Bound
import QtQuick
import TovraAI.Components
import TovraAI.Settings
import TovraAI.Approval
import TovraAI.App
import ToolServerTest
import ".."

// Settings → "Tool Servers" and the approval sheet from the keyboard alone, on the app's own
// registry, the reference filesystem server and the stand-in engine.
Item {
    id: root
    width: 700
    height: 900

    property int sheetOpenings: 0

    ToolServersSection {
        id: section
        width: 600
        registry: AppModel.toolServers
    }
    ApprovalSheet {
        id: sheet
        agentState: AppModel.agentState
        toolServerApproval: AppModel.agentManager.toolServerApproval
        onOpened: root.sheetOpenings += 1
    }

    AppTestCase {
        name: "ToolServers"

        function type(text: string) {
            for (const c of text)
                keyClick(c)
        }
        function turn(text: string) {
            AppModel.agentManager.send(text)
        }
        function waitIdle() {
            tryVerify(() => !AppModel.agentManager.isBusy, 20000)
        }

        function test_addApproveAlwaysRevokeRemove() {
            const missing = Tools.nodeMissing()
            if (missing.length > 0)
                skip(missing)
            const folder = Tools.writeNote("The notes say hello.")
            const registry = AppModel.toolServers
            const summary = findChild(section, "toolServerSummary")
            compare(summary.text, "No tool servers yet.")

            // Add: the command line, a name instead of the suggested one, Return.
            tabTo("addCommandField")
            type(Tools.filesystemCommand(folder))
            keyClick(Qt.Key_Tab)
            compare(focused().placeholderText, "node")
            type("files")
            keyClick(Qt.Key_Return)
            tryCompare(findChild(section, "serverState"), "text", "Ready — 14 tools", 20000)
            compare(findChild(section, "serverName").text, "files")
            verify(/^About [0-9,]+ tokens per request$/.test(findChild(section, "serverTokens").text))
            compare(focused().objectName, "addCommandField")
            compare(focused().text, "")
            // A name already taken: the reason, and what was typed stays.
            type("node x")
            keyClick(Qt.Key_Tab)
            type("files")
            keyClick(Qt.Key_Return)
            compare(findChild(section, "addError").text, "A server named files is already there.")
            compare(findChild(section, "addCommandField").text, "node x")

            // A switch per tool: off, and on again.
            tabTo("toolsToggle")
            keyClick(Qt.Key_Space)
            tabTo("toolSwitch")
            keyClick(Qt.Key_Space)
            compare(registry.toolCount, 13)
            keyClick(Qt.Key_Return)
            compare(registry.toolCount, 14)
            for (let i = 0; i < 3; ++i)
                keyClick(Qt.Key_Tab, Qt.ShiftModifier)
            compare(focused().text, "Hide tools")
            keyClick(Qt.Key_Space)
            compare(focused().text, "Tools (14)")

            // The server's switch: off, it is disabled in mcp.json and offers nothing; on, it starts.
            keyClick(Qt.Key_Tab, Qt.ShiftModifier)
            compare(focused().objectName, "serverSwitch")
            keyClick(Qt.Key_Space)
            tryCompare(findChild(section, "serverState"), "text", "Disabled")
            compare(registry.toolCount, 0)
            keyClick(Qt.Key_Return)
            tryCompare(findChild(section, "serverState"), "text", "Ready — 14 tools", 20000)

            // The sheet: server, tool, arguments as sent, the read-only claim; Deny focused,
            // Return approves nothing; "Always allow this tool" remembers it.
            Tools.startEngine()
            tryVerify(() => AppModel.engineChoice.isRunning, 20000)
            const call = { name: "mcp__files__read_text_file", arguments: { path: folder + "/notes.txt" } }
            const asks = [{ pieces: ["TOOL_CALL: " + JSON.stringify(call)] }, { pieces: ["Done."] }]
            verify(Tools.enqueue(asks.concat(asks, asks)))
            turn("What do my notes say?")
            tryCompare(sheet, "opened", true, 20000)
            const view = sheet.contentItem
            compare(findChild(view, "serverRow").value, "files")
            compare(findChild(view, "actionRow").value, "Read Text File (read_text_file)")
            compare(findChild(view, "serverArgumentsRow").value, "{\n  \"path\": \"" + folder + "/notes.txt\"\n}")
            verify(findChild(view, "readOnlyHintRow").visible)
            verify(findChild(view, "denyButton").activeFocus)
            keyClick(Qt.Key_Return)
            verify(sheet.opened && AppModel.agentState.hasPendingApproval)
            keyClick(Qt.Key_Tab)
            keyClick(Qt.Key_Tab)
            compare(focused().text, "Always allow this tool")
            keyClick(Qt.Key_Space)
            waitIdle()
            verify(Tools.requests().includes("[mcp__files__read_text_file]: The notes say hello."))
            compare(findChild(section, "alwaysAllowedTool").text, "files · read_text_file")

            // The second time runs without asking.
            turn("And again?")
            waitIdle()
            compare(root.sheetOpenings, 1)

            // Revoke brings the question back; the focus stays in the section.
            tabTo("revokeButton")
            keyClick(Qt.Key_Space)
            verify(findChild(section, "noAlwaysAllowed").visible)
            tryCompare(focused(), "objectName", "openConfigButton")
            turn("Once more?")
            tryCompare(sheet, "opened", true, 20000)
            compare(root.sheetOpenings, 2)
            keyClick(Qt.Key_Space)
            waitIdle()
            verify(Tools.requests().includes("[mcp__files__read_text_file]: Denied by user"))

            // Remove asks first, Cancel focused; afterwards typing goes to the Add field.
            tabTo("removeButton")
            keyClick(Qt.Key_Space)
            const confirm = findChild(section, "removeServerConfirm")
            tryCompare(confirm, "opened", true)
            compare(confirm.title, "Remove the tool server “files”?")
            compare(focused().objectName, "cancelButton")
            keyClick(Qt.Key_Tab)
            compare(focused().text, "Remove")
            keyClick(Qt.Key_Space)
            tryCompare(summary, "text", "No tool servers yet.")
            compare(focused().objectName, "addCommandField")

            // A file that does not parse: the parser's place in it.
            verify(Tools.writeConfig("{\n  \"mcpServers\": {,\n}\n"))
            registry.reload()
            compare(findChild(section, "configError").text, "mcp.json: parse error at line 2, column 18: syntax error while parsing object key - unexpected ','; expected string literal")
        }
    }
}
