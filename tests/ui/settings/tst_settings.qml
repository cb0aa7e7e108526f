pragma ComponentBehavior: Bound
import QtQuick
import TovraAI.Components
import TovraAI.Settings
import TovraAI.App
import ".."

// The settings screen from the keyboard alone, on the app's own stores: the stand-in
// Homebrew fails, then installs; the fields, the sound, the clear and the delete.
Item {
    id: root
    width: 700
    height: 540

    Component {
        id: settingsComponent
        SettingsView {
            anchors.fill: parent
            agentState: AppModel.agentState
            serverManager: AppModel.serverManager
            modelManager: AppModel.modelManager
            remoteEngine: AppModel.remoteEngine
            engine: AppModel.engineChoice
        }
    }

    AppTestCase {
        name: "SettingsKeyboard"

        function test_keyboard() {
            brewStandIn.resetInstaller()
            tryVerify(() => AppModel.serverManager.brewInstallState.isIdle && !AppModel.serverManager.isUninstalling, 10000)
            tryVerify(() => AppModel.agentState.sessionsLoaded)
            const view = createTemporaryObject(settingsComponent, root)
            const controller = view.controller
            compare(controller.engineBlock, EngineSetup.Install)
            verify(findChild(view, "noAutoLoadCandidates").visible)

            // The installation fails, shows why, and succeeds when tried again.
            brewStandIn.setExitStatus(1)
            compare(tabTo("installButton").text, "Install via Homebrew")
            keyClick(Qt.Key_Return)
            tryCompare(controller, "engineBlock", EngineSetup.Installing)
            tryVerify(() => findChild(view, "brewOutput").text.indexOf("==> Fetching llama.cpp") >= 0)
            tryCompare(controller, "engineBlock", EngineSetup.InstallFailed, 10000)
            compare(findChild(view, "installFailure").text, "brew install failed (exit 1)")
            brewStandIn.setExitStatus(0)
            compare(tabTo("tryAgainButton").text, "Try Again")
            keyClick(Qt.Key_Space)
            tryCompare(controller, "engineBlock", EngineSetup.Installed, 10000)

            // Arrow keys move the temperature a step; the field refuses what it cannot use.
            AppModel.agentState.temperature = 0.7
            tabTo("temperatureSlider")
            keyClick(Qt.Key_Left)
            compare(AppModel.agentState.temperature, 0.65)
            compare(findChild(view, "temperatureValue").text, "0.65")
            const field = tabTo("maxTokensField")
            field.selectAll()
            keyClick(Qt.Key_A)
            keyClick(Qt.Key_Return)
            compare(field.text, String(AppModel.agentState.maxTokens))
            compare(findChild(view, "maxTokensHint").text, "Enter a whole number from 1 to 32768.")

            compare(tabTo("thinkingSwitch").text, "Let models think before answering")
            keyClick(Qt.Key_Space)
            compare(AppModel.agentState.thinkingEnabled, false)
            keyClick(Qt.Key_Return)
            compare(AppModel.agentState.thinkingEnabled, true)
            compare(tabTo("showThinkingSwitch").text, "Show thinking")
            keyClick(Qt.Key_Space)
            compare(AppModel.agentState.showThinking, false)
            keyClick(Qt.Key_Return)
            compare(AppModel.agentState.showThinking, true)
            compare(tabTo("soundSwitch").checked, true)
            keyClick(Qt.Key_Space)
            compare(controller.completionSoundEnabled, false)
            keyClick(Qt.Key_Return)
            compare(controller.completionSoundEnabled, true)
            tabTo("exportButton")
            tabTo("importButton")

            // Clear: the question first, Cancel focused; the phases on the button. The clear
            // runs after its delay and leaves one new chat; the settings stay.
            const sessions = AppModel.agentState.chatSessions
            AppModel.agentState.startNewChat()
            AppModel.agentState.renameActiveSession("Renamed")
            const before = sessions.rowCount()
            tabTo("clearHistoryButton")
            keyClick(Qt.Key_Return)
            const clear = findChild(view, "clearChatsConfirm")
            tryCompare(clear, "opened", true)
            compare(clear.title, "Clear all chat history?")
            compare(focused().objectName, "cancelButton")
            keyClick(Qt.Key_Tab)
            compare(focused().text, "Clear History")
            keyClick(Qt.Key_Space)
            compare(controller.chatDeletePhase, SettingsController.Deleting)
            compare(sessions.rowCount(), before)
            tryCompare(controller, "chatDeletePhase", SettingsController.Done)
            compare(sessions.rowCount(), 1)
            compare(sessions.data(sessions.index(0, 0), SessionListModel.TitleRole), "New Chat")
            compare(AppModel.agentState.temperature, 0.65)
            tryCompare(controller, "chatDeletePhase", SettingsController.Idle, 5000)

            // Delete everything: Escape keeps everything; confirmed, the onboarding is due again.
            AppModel.onboardingComplete = true
            tabTo("deleteAllButton")
            keyClick(Qt.Key_Space)
            const deleteAll = findChild(view, "deleteAllConfirm")
            tryCompare(deleteAll, "opened", true)
            keyClick(Qt.Key_Escape)
            tryCompare(deleteAll, "opened", false)
            compare(AppModel.onboardingComplete, true)
            keyClick(Qt.Key_Space)
            tryCompare(deleteAll, "opened", true)
            compare(deleteAll.title, "Delete all data including models?")
            keyClick(Qt.Key_Tab)
            compare(focused().text, "Delete Everything")
            keyClick(Qt.Key_Return)
            tryCompare(AppModel, "onboardingComplete", false)
        }
    }
}
