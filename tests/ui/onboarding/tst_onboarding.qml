pragma ComponentBehavior: Bound
import QtQuick
import QtTest
import TovraAI.Onboarding
import TovraAI.App
import ".."

// The first-run flow from the keyboard alone, against the stand-in Homebrew: a name, an
// installation that fails and is tried again, a style, and the starter model. After each
// step change the step's first control has focus; Return presses the default button.
Item {
    id: root
    width: 900
    height: 700

    Component {
        id: onboardingComponent
        OnboardingView {
            isPresented: true
            modelManager: AppModel.modelManager
            serverManager: AppModel.serverManager
        }
    }

    SignalSpy { id: completedSpy; signalName: "completed" }

    AppTestCase {
        name: "OnboardingKeyboard"

        function test_walkThrough() {
            const view = createTemporaryObject(onboardingComponent, root)
            completedSpy.target = view
            tryCompare(view, "opened", true)
            const flow = view.flow
            tryCompare(focused(), "objectName", "nameField")
            for (const c of "Ada")
                keyClick(c)
            keyClick(Qt.Key_Return)
            compare(flow.step, 1)
            compare(flow.engineHeader, OnboardingFlow.Install)

            brewStandIn.setExitStatus(1)
            tryVerify(() => focused() && focused().objectName === "installButton")
            compare(focused().text, "Install via Homebrew")
            keyClick(Qt.Key_Space)
            tryCompare(flow, "enginePanel", OnboardingFlow.Installing)
            tryVerify(() => AppModel.serverManager.brewOutput.indexOf("==> Fetching llama.cpp") >= 0)
            tryCompare(flow, "enginePanel", OnboardingFlow.Failed, 10000)
            compare(flow.step, 1)

            brewStandIn.setExitStatus(0)
            tryVerify(() => focused() && focused().objectName === "tryAgainButton")
            compare(focused().text, "Try Again")
            keyClick(Qt.Key_Return)
            // Success moves on by itself.
            tryCompare(flow, "step", 2, 10000)
            tryVerify(() => focused() && focused().objectName === "style_concise")

            // Back passes over the finished engine step, Return in the name field does not.
            compare(tabTo("backButton").text, "Back")
            keyClick(Qt.Key_Space)
            tryVerify(() => focused() && focused().objectName === "nameField")
            keyClick(Qt.Key_Return)
            tryVerify(() => focused() && focused().objectName === "engineContinueButton")
            keyClick(Qt.Key_Return)
            compare(flow.step, 2)

            tabTo("style_detailed")
            keyClick(Qt.Key_Space)
            compare(flow.responseStyle, "detailed")
            compare(findChild(view.contentItem, "primaryButton").text, "Get Started")
            keyClick(Qt.Key_Return)
            const prompt = findChild(view, "starterPrompt")
            tryCompare(prompt, "opened", true)
            compare(prompt.title, "Download a Starter Model?")
            tryCompare(focused(), "objectName", "downloadStarterButton")
            compare(focused().text, "Download Llama 3.2 3B (2.0 GB)")
            compare(completedSpy.count, 0)
            keyClick(Qt.Key_Return)
            compare(completedSpy.count, 1)
            // The download was started; the discard port refuses it at once.
            tryCompare(AppModel.modelManager, "hasLastError", true, 10000)
            AppModel.modelManager.clearLastError()
            AppModel.refreshOnboardingComplete()
            compare(AppModel.onboardingComplete, true)
            AppModel.onboardingComplete = false
        }
    }
}
