pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtTest
import TovraAI.Components
import TovraAI.Markdown
import TovraAI.Chat
import TovraAI.Approval
import TovraAI.App
import ChatTest

// The chat screen against the stand-in engine, started by the app's own server
// manager and driven through the app's agent loop.
Item {
    id: root
    width: 900
    height: 700

    property int modelsRequested: 0

    Component {
        id: chatComponent
        ChatView {
            anchors.fill: parent
            agentState: AppModel.agentState
            agent: AppModel.agentManager
            engine: AppModel.engineChoice
            modelManager: AppModel.modelManager
            onModelsRequested: root.modelsRequested += 1
        }
    }
    ApprovalSheet {
        id: approvalSheet
        agentState: AppModel.agentState
    }

    Component {
        id: markdownComponent
        MarkdownContentView { width: 400 }
    }

    Component {
        id: approvalComponent
        ApprovalView {}
    }

    TestCase {

        function init() { failOnWarning(new RegExp(unexpectedWarningPattern)) }
        name: "ChatView"
        when: windowShown

        readonly property AgentState store: AppModel.agentState
        readonly property EngineChoice server: AppModel.engineChoice

        function ensureRunning() {
            if (!server.isRunning) {
                tryVerify(() => !server.isStarting, 10000)
                Engine.start("")
                tryVerify(() => server.isRunning, 10000)
            }
        }
        function ensureStopped() {
            tryVerify(() => !server.isStarting, 10000)
            if (server.isRunning) {
                Engine.stop()
                tryVerify(() => !server.isRunning, 10000)
            }
        }
        function freshView() {
            tryVerify(() => !store.isLoading, 10000)
            store.startNewChat()
            return createTemporaryObject(chatComponent, root)
        }
        function type(view, text) {
            view.focusInput()
            for (const c of text)
                keyClick(c)
        }
        function messages() {
            const model = store.messages
            const out = []
            for (let i = 0; i < model.rowCount(); ++i) {
                const index = model.index(i, 0)
                out.push(model.data(index, 258) + ":" + model.data(index, 259))
            }
            return out
        }
        function waitForReply() {
            tryVerify(() => !store.isLoading && !AppModel.agentManager.isBusy, 10000)
        }

        // Without an engine the text stays and the no-model line shows; while the engine
        // starts the text waits in the box, queued, until it runs. An edit takes it out.
        // Each block kind is drawn by its own delegate; a table made with its cells lays out
        // its columns side by side.
        function test_markdownBlocks() {
            const view = createTemporaryObject(markdownComponent, root,
                { text: "# Title\n- item\n\n```\ncode\n```\n\n| left | right |\n|---|---|\n| 1 | 2 |" })
            compare(view.document.rowCount(), 4)
            const grid = findChild(view, "tableGrid")
            verify(grid.width > 60)
            compare([grid.rows, grid.columns], [2, 2])
            compare(grid.plainText, "left, right\n1, 2")
        }

        // Each code block and table has a copy button: reached by Tab, pressed by Space,
        // Return or a click; its label says it copied.
        function test_copyButtons_data() {
            return [
                { tag: "code by Space", button: "codeCopyButton", key: Qt.Key_Space, label: "Copy", copied: "let x = 1" },
                { tag: "code by Return", button: "codeCopyButton", key: Qt.Key_Return, label: "Copy", copied: "let x = 1" },
                { tag: "table by click", button: "tableCopyButton", key: 0, label: "Copy table",
                  copied: "| a | b |\n|---|---|\n| 1 | 2 |" },
            ]
        }
        function test_copyButtons(data) {
            Clipboard.setText("before")
            const view = createTemporaryObject(markdownComponent, root,
                { text: "```js\nlet x = 1\n```\n\n| a | b |\n|---|---|\n| 1 | 2 |" })
            const button = findChild(view, data.button)
            compare(button.text, data.label)
            if (data.key) {
                button.forceActiveFocus()
                keyClick(data.key)
                keyClick(Qt.Key_Tab)
                verify(findChild(view, "tableCopyButton").activeFocus)
            } else {
                mouseClick(button)
            }
            compare(Clipboard.text(), data.copied)
            compare(button.text, "Copied!")
        }

        // A block wider than the reply scrolls sideways with a bar below it; one that fits
        // has none. A table shows the words of its cells, plain or marked up, entities decoded.
        function test_sideScrolling_data() {
            const wide = "word ".repeat(120)
            return [
                { tag: "code that fits", text: "```\ncode\n```", scroller: "codeScroller", bar: false },
                { tag: "wide code", text: "```\n" + wide + "\n```", scroller: "codeScroller", bar: true },
                { tag: "table that fits", text: "| a | **b** |\n|---|---|\n| 1 & 2 | &copy; |", scroller: "tableScroller", bar: false,
                  words: ["a", "b", "1 & 2", "\u00a9"] },
                { tag: "wide table", text: "| a | **b** |\n|---|---|\n| " + wide + " | 2 |", scroller: "tableScroller", bar: true },
            ]
        }
        function test_sideScrolling(data) {
            const view = createTemporaryObject(markdownComponent, root, { text: data.text })
            const scroller = findChild(view, data.scroller)
            const bar = scroller.ScrollBar.horizontal
            compare(bar !== null && bar.visible, data.bar)
            compare(scroller.interactive, data.bar)
            if (data.bar) {
                compare(scroller.height, scroller.contentHeight + bar.height)
                bar.increase()
                verify(scroller.contentX > 0)
            } else {
                compare(scroller.height, scroller.contentHeight)
            }
            if (data.words) {
                const grid = findChild(view, "tableGrid")
                compare([grid.cellText(0, 0), grid.cellText(0, 1), grid.cellText(1, 0), grid.cellText(1, 1)],
                        data.words)
            }
        }

        // A long reply draws only the blocks inside the window; each block keeps its place
        // below the one before, drawn or not, also when hidden ones wrap anew. One that holds
        // the focus stays drawn, and so do the blocks with the controls Tab reaches next from
        // it or from outside: Shift+Tab walks back through every copy button.
        function test_drawsWhatIsInTheWindow_data() {
            return [
                { tag: "at its start", atEnd: false, focusFirst: false, narrow: false },
                { tag: "moved to its end", atEnd: true, focusFirst: false, narrow: false },
                { tag: "focus above the window", atEnd: true, focusFirst: true, narrow: false },
                { tag: "narrowed at its end", atEnd: true, focusFirst: false, narrow: true },
            ]
        }
        function test_drawsWhatIsInTheWindow(data) {
            const view = createTemporaryObject(markdownComponent, root,
                { text: "## Step\n\nSome words that wrap when the reply narrows.\n\n```\ncode\n```\n\n".repeat(40) })
            const blocks = []
            for (let i = 0; i < view.children.length; ++i)
                if (view.children[i].height > 0)
                    blocks.push(view.children[i])
            compare(blocks.length, 120)
            const firstCode = findChild(view, "codeCopyButton")
            if (data.focusFirst)
                firstCode.forceActiveFocus()
            if (data.atEnd)
                view.y = root.height - view.height
            const wideParagraph = blocks[1].height
            if (data.narrow) {
                waitForRendering(view)
                view.width = 150
                waitForRendering(view)
            }
            const inWindow = block => {
                const top = block.mapToItem(null, 0, 0).y
                return top + block.height >= 0 && top <= view.Window.height
            }
            let focused = data.focusFirst ? firstCode : null
            while (focused && focused.parent !== view)
                focused = focused.parent
            const focusAt = blocks.indexOf(focused)
            const tabStops = [2, 119].concat(focusAt < 0 ? [] : [focusAt - 3, focusAt + 3])
            tryVerify(() => blocks.every((block, i) => block.visible === (inWindow(block) || block === focused
                                                                          || tabStops.includes(i))))
            verify(blocks.filter(block => block.visible).length < 30)
            let y = 0
            for (const block of blocks) {
                compare(block.y, y)
                y += block.height
            }
            compare(view.height, y)
            compare(firstCode.activeFocus, data.focusFirst)
            verify(blocks.every((block, i) => i % 3 !== 1 || block.height === blocks[1].height))
            compare(blocks[1].height > wideParagraph, data.narrow)
            if (data.atEnd && !data.focusFirst) {
                const buttons = blocks.filter((block, i) => i % 3 === 2).map(block => findChild(block, "codeCopyButton"))
                buttons[39].forceActiveFocus()
                for (let i = 38; i >= 0; --i) {
                    keySequence("Shift+Tab")
                    verify(buttons[i].activeFocus, "button " + i)
                }
            }
        }

        function test_textWaitsForTheStartingEngine() {
            ensureStopped()
            const view = freshView()
            type(view, "hello")
            keyClick(Qt.Key_Return)
            compare(view.inputText, "hello")
            verify(view.showNoModelBanner)
            tryCompare(view, "showNoModelBanner", false, 5000)

            Engine.start("{\"health_delay_ms\": 1500}")
            tryVerify(() => server.isStarting, 5000)
            verify(findChild(view, "loadingLine").visible)
            compare(findChild(view, "modelButton").text, "Loading…")
            const queued = findChild(view, "queuedLine")
            verify(!queued.visible)
            keyClick(Qt.Key_Return)
            verify(queued.visible)
            compare(queued.text, "Will be sent when the model is ready")
            type(view, "!")
            verify(!queued.visible)
            keyClick(Qt.Key_Return)
            verify(queued.visible)
            compare(view.inputText, "hello!")
            verify(!view.showNoModelBanner)
            tryVerify(() => Engine.enqueue({ pieces: ["Hi!"] }), 5000)
            compare(messages().length, 0)

            tryVerify(() => server.isRunning, 10000)
            compare(view.inputText, "")
            verify(!queued.visible)
            waitForReply()
            compare(messages(), ["user:hello!", "assistant:Hi!"])
        }

        function test_returnKeys() {
            const view = freshView()
            type(view, "  ")
            verify(!findChild(view, "actionButton").enabled)
            keyClick(Qt.Key_Return)
            compare(view.inputText, "  ")
            verify(!view.showNoModelBanner)
            view.inputText = "line one"
            keyClick(Qt.Key_Return, Qt.ShiftModifier)
            compare(view.inputText, "line one\n")
            compare(messages().length, 0)
            // Ctrl+L (Command-L on a Mac) brings the focus back to the box.
            findChild(view, "sessionSettingsButton").forceActiveFocus()
            verify(!view.inputFocused)
            keyClick(Qt.Key_L, Qt.ControlModifier)
            verify(view.inputFocused)
        }

        function test_streamsAndStops() {
            ensureRunning()
            const view = freshView()
            verify(Engine.enqueue({ first_delay_ms: 800, line_delay_ms: 150, pieces: ["Hello", " from", " the stand-in."] }))
            type(view, "Hi there")
            const action = findChild(view, "actionButton")
            verify(action.enabled)
            compare(action.text, "Send")
            keyClick(Qt.Key_Return)
            compare(view.inputText, "")
            compare(action.text, "Stop")
            const typing = findChild(view.messageList.footerItem, "typingIndicator")
            tryVerify(() => typing.visible, 3000)
            tryVerify(() => store.hasStreamingContent, 5000)
            verify(!typing.visible)
            waitForReply()
            compare(messages(), ["user:Hi there", "assistant:Hello from the stand-in."])
            compare(view.messageList.count, 2)
            tryVerify(() => view.messageList.itemAtIndex(1) !== null)

            // A long reply, stopped midway: the partial text stays.
            verify(Engine.enqueue({ line_delay_ms: 40, repeat: { text: "word ", count: 300 } }))
            type(view, "Go on")
            keyClick(Qt.Key_Return)
            tryVerify(() => messages()[messages().length - 1].length > "assistant:".length + 10, 5000)
            mouseClick(action)
            waitForReply()
            const last = messages()[messages().length - 1]
            verify(last.startsWith("assistant:word word"), last)
            verify(last.length < "assistant:".length + 5 * 300, "stopped before the end")
        }

        // 200 thinking pieces stream live under "Thinking…" without the dots, the last lines
        // in view; the answer folds them to "Thought for N seconds", which Tab reaches and
        // Space and Return open and close. "Show thinking" off hides them; thinking switched
        // off, the model answers at once.
        function test_thinking() {
            ensureStopped() // a fresh engine: no script an earlier test left queued
            ensureRunning()
            const view = freshView()
            const script = { line_delay_ms: 10, think: { text: "Weighing the options one by one. ", count: 200 },
                             pieces: ["The answer."], timings: { prompt_n: 3000, cache_n: 100, predicted_n: 74 } }
            verify(Engine.enqueue(script))
            type(view, "Think first")
            keyClick(Qt.Key_Return)
            tryVerify(() => view.messageList.itemAtIndex(1) && findChild(view.messageList.itemAtIndex(1), "thinkingToggle"), 5000)
            const row = view.messageList.itemAtIndex(1)
            const toggle = findChild(row, "thinkingToggle")
            const body = findChild(row, "thinkingBody")
            compare(toggle.text, "Thinking…")
            verify(!findChild(view.messageList.footerItem, "typingIndicator").visible)
            tryVerify(() => findChild(row, "thinkingScroll").contentHeight > 2 * body.height, 5000)
            verify(body.visible && body.height < 120)
            waitForReply()
            verify(/^Thought for \d+ seconds?$/.test(toggle.text), toggle.text)
            verify(!body.visible)
            compare(findChild(view, "contextLabel").text, "3.1k / 8k")

            findChild(view, "sessionSettingsButton").forceActiveFocus()
            for (let i = 0; i < 10 && !toggle.activeFocus; ++i)
                keyClick(Qt.Key_Tab)
            verify(toggle.activeFocus && toggle.visualFocus)
            keyClick(Qt.Key_Space)
            verify(body.visible && body.height > 120)
            keyClick(Qt.Key_Return)
            verify(!body.visible)

            store.showThinking = false
            tryVerify(() => !findChild(row, "thinkingToggle"))
            store.showThinking = true
            verify(findChild(row, "thinkingToggle"))
            store.thinkingEnabled = false
            verify(Engine.enqueue(script))
            type(view, "Now at once")
            keyClick(Qt.Key_Return)
            waitForReply()
            store.thinkingEnabled = true
            compare(messages().slice(2), ["user:Now at once", "assistant:The answer."])
            tryVerify(() => view.messageList.itemAtIndex(3) !== null)
            verify(!findChild(view.messageList.itemAtIndex(3), "thinkingToggle"))
        }

        function test_retryAndEdit() {
            ensureRunning()
            const view = freshView()
            verify(Engine.enqueue({ status: 500, body: "boom" }))
            type(view, "First try")
            keyClick(Qt.Key_Return)
            waitForReply()
            compare(messages().length, 2)
            verify(messages()[1].startsWith("assistant:Error:"))
            tryVerify(() => view.messageList.itemAtIndex(1) !== null)
            const retry = findChild(view.messageList.itemAtIndex(1), "retryButton")
            verify(retry.visible)
            verify(Engine.enqueue({ pieces: ["Second time lucky."] }))
            mouseClick(retry)
            waitForReply()
            compare(messages(), ["user:First try", "assistant:Second time lucky."])

            // Edit: hover the user's bubble, press its pencil.
            const row = view.messageList.itemAtIndex(0)
            mouseMove(row, row.width / 2, row.height / 2)
            mouseMove(row, row.width - 40, row.height / 2)
            const edit = findChild(row, "editButton")
            tryVerify(() => edit.shown)
            view.inputText = "typed before"
            mouseClick(edit)
            compare(view.inputText, "First try")
            compare(messages().length, 0)
            verify(findChild(view, "welcomePanel").visible)
            verify(Engine.enqueue({ pieces: ["Edited answer."] }))
            type(view, " again")
            keyClick(Qt.Key_Return)
            waitForReply()
            compare(messages(), ["user:First try again", "assistant:Edited answer."])
        }

        // A reply's actions are reached without the mouse: Shift+Tab from the box opens the
        // action row of the reply above it and brings it into view, and Space copies the reply;
        // Shift+Tab again brings the reply's first block, far above, into view.
        function test_messageActionsByKeyboard() {
            ensureRunning()
            const view = freshView()
            verify(Engine.enqueue({ pieces: ["```\ncode\n```\n\n", "Line\n\n".repeat(60), "End."] }))
            type(view, "Long one")
            keyClick(Qt.Key_Return)
            waitForReply()
            const list = view.messageList
            tryVerify(() => list.itemAtIndex(1) !== null)
            const copy = findChild(list.itemAtIndex(1), "copyButton")
            view.focusInput()
            keyClick(Qt.Key_Backtab, Qt.ShiftModifier)
            verify(copy.activeFocus)
            tryVerify(() => {
                const top = copy.mapToItem(list, 0, 0).y
                return copy.opacity === 1 && top >= 0 && top + copy.height <= list.height
            })
            Clipboard.setText("before")
            keyClick(Qt.Key_Space)
            verify(Clipboard.text().endsWith("Line\n\nEnd."))
            const code = findChild(list.itemAtIndex(1), "codeCopyButton")
            keyClick(Qt.Key_Backtab, Qt.ShiftModifier)
            verify(code.activeFocus)
            tryVerify(() => {
                const top = code.mapToItem(list, 0, 0).y
                return code.visible && top >= 0 && top + code.height <= list.height
            })
            verify(!list.followEnd)
        }

        // Over an existing file; "keys" walks Tab and Space from Deny, which has the focus
        // first, after a Return that must not approve.
        function test_approvalSheet_data() {
            return [
                { tag: "approve by keys", keys: [Qt.Key_Return, Qt.Key_Tab, Qt.Key_Space], written: "new" },
                { tag: "deny by Space", keys: [Qt.Key_Space], written: "old" },
                { tag: "approve by click", press: "approveButton", written: "new" },
                { tag: "deny by click", press: "denyButton", written: "old" },
                { tag: "closed without a decision", keys: [Qt.Key_Escape], written: "old" }
            ]
        }

        function test_approvalSheet(data) {
            ensureRunning()
            const view = freshView()
            const path = Engine.homePath() + "/approval-" + data.tag.replace(/ /g, "-") + ".txt"
            verify(Engine.writeFile(path, "old"))
            const call = { name: "write_file", arguments: { path: path, content: "new" } }
            verify(Engine.enqueue([{ pieces: ["TOOL_CALL: " + JSON.stringify(call)] }, { pieces: ["Done."] }]))
            type(view, "Write it")
            keyClick(Qt.Key_Return)
            const sheet = approvalSheet
            tryCompare(sheet, "opened", true, 10000)
            const approval = sheet.contentItem
            compare(approval.title, "Write File")
            compare(findChild(approval, "argumentRow1").icon, "folder")
            compare(findChild(approval, "fileNote").text, "Current file: 3 bytes")
            compare(findChild(approval, "diffSummary").text, "1 line removed, 1 line added")
            compare(findChild(approval, "diffList").count, 2)
            const deny = findChild(approval, "denyButton")
            const approve = findChild(approval, "approveButton")
            verify(deny.activeFocus)
            for (const key of data.keys ?? []) {
                keyClick(key)
                if (key === Qt.Key_Return)
                    verify(sheet.opened && store.hasPendingApproval)
                if (key === Qt.Key_Tab)
                    verify(approve.activeFocus && approve.visualFocus)
            }
            if (data.press)
                mouseClick(findChild(approval, data.press))
            tryCompare(sheet, "visible", false)
            verify(!store.hasPendingApproval)
            waitForReply()
            compare(Engine.readFile(path), data.written)
            const results = messages().filter(m => m.startsWith("tool_result:"))
            compare(results.length, 1)
            compare(results[0].includes("Denied by user"), data.written === "old")
        }

        // Three lines show; "Show all" opens the whole value, wrapped and selectable, and closes it again.
        function test_longValueShowsInFull_data() {
            return [
                { tag: "six lines, one long", content: "one\ntwo\nthree\nfour\nfive\nsix " + "words ".repeat(80), cut: true },
                { tag: "three lines", content: "one\ntwo\nthree", cut: false }
            ]
        }

        // Show all is reached with Tab and pressed with Space; in a short window the details
        // scroll inside the sheet and the buttons stay.
        function test_longValueShowsInFull(data) {
            const view = createTemporaryObject(approvalComponent, root, { toolCall: { name: "write_file", arguments: { content: data.content } }, maxHeight: 300 })
            const row = findChild(view, "argumentRow0")
            const clip = findChild(row, "valueClip")
            const text = findChild(row, "valueText")
            const showAll = findChild(row, "showAllButton")
            compare(showAll.visible, data.cut)
            if (!data.cut)
                return
            fuzzyCompare(clip.height, 3 * text.contentHeight / text.lineCount, 4)
            compare(showAll.text, "Show all")
            view.focusDeny()
            keyClick(Qt.Key_Tab)
            keyClick(Qt.Key_Tab)
            verify(showAll.activeFocus)
            keyClick(Qt.Key_Space)
            verify(!clip.visible)
            const scroller = findChild(view, "detailsScroller")
            verify(scroller.interactive && scroller.height < scroller.contentHeight)
            const full = findChild(row, "fullValueText")
            verify(full.visible)
            compare(full.text, data.content)
            verify(full.contentWidth <= findChild(row, "fullValue").width) // wrapped, nothing off to the right
            verify(full.selectByMouse && full.readOnly)
            compare(showAll.text, "Show less")
            keyClick(Qt.Key_Space)
            verify(clip.visible && !findChild(row, "fullValue").visible)
        }

        function test_dropFiles() {
            const view = freshView()
            const path = Engine.homePath() + "/notes.md"
            verify(Engine.writeFile(path, "# Notes"))
            const dropArea = findChild(view, "dropArea")
            Engine.dragFilesOver(dropArea, [path, "/tmp/photo.png", "/tmp/tool.bin"])
            verify(view.isDroppingFile)
            verify(findChild(view, "dropOverlay").visible)
            Engine.dropFiles(dropArea)
            verify(!view.isDroppingFile)
            // Documents and pictures become chips; any other file is named in the text.
            compare(view.attachments.count, 2)
            compare(view.inputText, "tool.bin")
        }

        // Tab leaves the box for its buttons, the paperclip among them.
        function test_attachButtonByKeyboard() {
            const view = freshView()
            view.focusInput()
            keyClick(Qt.Key_Tab)
            verify(findChild(view, "modelButton").activeFocus)
            keyClick(Qt.Key_Tab)
            verify(findChild(view, "attachButton").activeFocus)
            compare(view.inputText, "")
        }

        // The sheet shows the current title; only Save with a non-blank title renames.
        function test_sessionSettingsRename_data() {
            return [
                { tag: "saved", text: "Trip plans", button: "saveButton", title: "Trip plans" },
                { tag: "blank", text: "   ", button: "saveButton", title: "Old" },
                { tag: "cancelled", text: "Discarded", button: "cancelButton", title: "Old" }
            ]
        }

        function test_sessionSettingsRename(data) {
            const view = freshView()
            store.renameActiveSession("Old")
            const sheet = view.sessionSettingsSheet
            mouseClick(findChild(view, "sessionSettingsButton"))
            tryCompare(sheet, "opened", true)
            const field = findChild(sheet.contentItem, "titleField")
            compare(field.text, "Old")
            field.text = data.text
            mouseClick(findChild(sheet.contentItem, data.button))
            tryCompare(sheet, "opened", false)
            verify(!view.showSessionSettings)
            compare(ChatLogic.activeSessionTitle(store), data.title)
        }

        function test_welcomePanel() {
            ensureStopped()
            let view = freshView()
            // This suite runs off macOS, where the platform is named as a desktop.
            compare(findChild(view, "welcomeTagline").text, "Your intelligent desktop assistant")
            verify(findChild(view, "welcomeNoModel").visible)
            verify(!findChild(view, "welcomeSuggestions").visible)
            const before = root.modelsRequested
            mouseClick(findChild(view, "browseModelsButton"))
            compare(root.modelsRequested, before + 1)

            ensureRunning()
            verify(!findChild(view, "welcomeNoModel").visible)
            verify(findChild(view, "welcomeSuggestions").visible)
            verify(Engine.enqueue({ pieces: ["Here are your specs."] }))
            mouseClick(findChild(view, "suggestion3"))
            waitForReply()
            compare(messages(), ["user:What are my system specs?", "assistant:Here are your specs."])
            verify(!findChild(view, "welcomePanel").visible)
        }

        function test_firstReplyIsCelebrated() {
            Engine.resetCelebration()
            ensureRunning()
            const view = freshView()
            view.controller.celebrationDuration = 300
            verify(Engine.enqueue({ pieces: ["Welcome aboard!"] }))
            type(view, "Hello")
            keyClick(Qt.Key_Return)
            waitForReply()
            verify(view.controller.showConfetti)
            tryVerify(() => findChild(view, "confettiLayer").visible)
            tryCompare(view.controller, "showConfetti", false)
            tryVerify(() => !findChild(view, "confettiLayer").visible)
        }
    }
}
