pragma ComponentBehavior: Bound
import QtQuick
import TovraAI.App
import ".."

Item {
    id: root
    width: 1100
    height: 720

    Component {
        id: contentComponent
        ContentView {
            width: root.width
            height: root.height
            agentState: AppModel.agentState
            serverManager: AppModel.serverManager
            modelManager: AppModel.modelManager
            remoteEngine: AppModel.remoteEngine
            engine: AppModel.engineChoice
        }
    }

    Component {
        id: mainComponent
        Main {}
    }

    AppTestCase {
        name: "Shell"

        function sessionCount(): int {
            return AppModel.agentState.chatSessions.rowCount()
        }

        function test_newChatButtonSwitchesToChat() {
            const view = createTemporaryObject(contentComponent, root, { onboardingComplete: true })
            view.selectedTab = AppTab.Settings
            const before = sessionCount()
            const button = findChild(view, "newChatButton")
            verify(button)
            compare(button.Accessible.name, "New Chat")
            mouseClick(button)
            compare(view.selectedTab, AppTab.Chat)
            compare(sessionCount(), before + 1)
            compare(AppModel.agentState.activeSessionID, AppModel.agentState.chatSessions.data(
                        AppModel.agentState.chatSessions.index(0, 0), 257))
        }

        function test_newChatCommandKeepsTheTab() {
            const main = createTemporaryObject(mainComponent, root)
            verify(main)
            const content = findChild(main.contentItem, "contentView")
            verify(content)
            content.selectedTab = AppTab.Models
            const before = sessionCount()
            main.newChatAction.trigger()
            compare(sessionCount(), before + 1)
            compare(content.selectedTab, AppTab.Models)
            main.close()
        }

        function test_tabSelector_data() {
            return [
                { tag: "Models", name: "tabModels", tab: AppTab.Models },
                { tag: "Settings", name: "tabSettings", tab: AppTab.Settings },
                { tag: "Chat", name: "tabChat", tab: AppTab.Chat }
            ]
        }

        function test_tabSelector(data) {
            const view = createTemporaryObject(contentComponent, root, { onboardingComplete: true })
            view.selectedTab = data.tab === AppTab.Chat ? AppTab.Settings : AppTab.Chat
            const segment = findChild(view, data.name)
            verify(segment)
            compare(segment.Accessible.name, data.tag)
            mouseClick(segment)
            compare(view.selectedTab, data.tab)
            compare(findChild(view, "detail").currentIndex, data.tab)
        }

        function test_selectingASessionShowsChat() {
            AppModel.agentState.startNewChat()
            const view = createTemporaryObject(contentComponent, root, { onboardingComplete: true })
            view.selectedTab = AppTab.Settings
            const list = findChild(view, "sessionList")
            const ids = view.sidebar.sessions.sessionIds()
            verify(ids.length >= 2)
            tryVerify(() => list.itemAtIndex(1) !== null)
            mouseClick(list.itemAtIndex(1))
            compare(AppModel.agentState.activeSessionID, ids[1])
            compare(view.selectedTab, AppTab.Chat)
            // Keyboard: the arrows move the selection.
            keyClick(Qt.Key_Up)
            compare(AppModel.agentState.activeSessionID, ids[0])
        }

        function test_onboardingGateOpensAndReopens() {
            let completed = 0
            const view = createTemporaryObject(contentComponent, root, { onboardingComplete: false })
            view.onboardingCompleted.connect(() => { completed += 1 })
            verify(view.showOnboarding)
            const sheet = findChild(view, "onboarding")
            tryCompare(sheet, "opened", true)
            sheet.flow.finish()
            compare(completed, 1)
            verify(!view.showOnboarding)
            // The sheet's focus goes to the message box, not nowhere.
            tryVerify(() => findChild(view, "inputEditor").focus)
            view.onboardingComplete = true
            verify(!view.showOnboarding)
            // The settings screen's reset removes the key: the sheet opens again.
            view.onboardingComplete = false
            verify(view.showOnboarding)
        }

        // A failed save is told in the main window, naming the file; OK clears it.
        function test_archiveAlert() {
            const main = createTemporaryObject(mainComponent, root)
            brewStandIn.blockChatArchive(true)
            AppModel.agentState.saveSettings()
            const alert = findChild(main, "archiveAlert")
            tryCompare(alert, "opened", true)
            verify(alert.contentItem.text.startsWith("The chats could not be saved to /"))
            mouseClick(findChild(alert.footer, "archiveAlertOK"))
            tryCompare(AppModel.agentState, "hasArchiveError", false)
            brewStandIn.blockChatArchive(false)
            main.close()
        }

        function test_resetReopensOnboardingInTheApp() {
            AppModel.onboardingComplete = true
            const main = createTemporaryObject(mainComponent, root)
            const content = findChild(main.contentItem, "contentView")
            verify(!content.showOnboarding)
            AppModel.agentState.resetAllData()
            tryCompare(AppModel, "onboardingComplete", false)
            verify(content.showOnboarding)
            main.close()
        }
    }
}
