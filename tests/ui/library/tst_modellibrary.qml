pragma ComponentBehavior: Bound
import QtQuick
import TovraAI.Library
import TovraAI.App
import ".."

// The model library screen from the keyboard alone: Tab reaches the search field, each
// card header and each variant's button; Space and Return press them; focus follows a row
// through the states its download and load go through.
Item {
    id: root
    width: 900
    height: 700

    Component {
        id: libraryComponent
        ModelLibraryView {
            width: root.width
            height: root.height
            modelManager: AppModel.modelManager
            serverManager: AppModel.serverManager
        }
    }

    AppTestCase {
        name: "ModelLibraryKeyboard"

        // One Tab lands on the named control, which has that accessible name or text.
        function tabOnceTo(objectName: string, accessibleName: string): void {
            keyClick(Qt.Key_Tab)
            verify(focused(), "nothing has focus")
            compare(focused().objectName, objectName)
            const item = focused()
            compare(item.Accessible.name.length > 0 ? item.Accessible.name : item.text,
                    accessibleName)
        }

        function test_keyboardOnly() {
            const view = createTemporaryObject(libraryComponent, root, { serverManager: engineStandIn })
            verify(view)
            view.forceActiveFocus()

            tabOnceTo("searchInput", "Search models…")
            keySequence("8")
            keySequence("b")
            compare(view.library.count, 1)
            keyClick(Qt.Key_Escape)
            compare(view.library.count, 3)

            tabOnceTo("cardHeader", "Llama 3.2 3B Instruct")
            keyClick(Qt.Key_Space)
            verify(view.library.expandedModelID.length > 0)
            const first = view.library.expandedModelID
            tabOnceTo("downloadButton", "Download")

            tabOnceTo("cardHeader", "Llama 3.1 8B Instruct")
            keyClick(Qt.Key_Return) // opening one card closes the other
            verify(view.library.expandedModelID !== first)
            tabOnceTo("downloadButton", "Download")

            // Nothing listens where the hub should be: the download fails, and the alert's
            // "OK" takes Return and clears the error.
            keyClick(Qt.Key_Return)
            tryCompare(AppModel.modelManager, "hasLastError", true, 10000)
            const alert = findChild(view, "downloadErrorAlert")
            tryCompare(alert, "opened", true)
            compare(alert.title, "Download Error")
            compare(focused().objectName, "alertOK")
            compare(focused().text, "OK")
            keyClick(Qt.Key_Return)
            compare(AppModel.modelManager.hasLastError, false)
            tryCompare(alert, "visible", false)

            // Served now: the finished download hands focus to "Load", which Space presses;
            // once loaded, focus is on the card, not on the trash button beside "Loaded".
            verify(hubStandIn.serve("Meta-Llama-3.1-8B-Instruct-Q4_K_M.gguf"))
            tabTo("downloadButton")
            keyClick(Qt.Key_Space)
            tryVerify(() => hasFocus("loadButton"), 10000)
            compare(focused().text, "Load")
            keyClick(Qt.Key_Space)
            tryCompare(engineStandIn, "isRunning", true, 30000)
            tryVerify(() => hasFocus("cardHeader"))
            tabOnceTo("trashButton", "Delete")
            keyClick(Qt.Key_Space)
            tryVerify(() => hasFocus("downloadButton"))
            view.library.stopServer()
            tryCompare(engineStandIn, "isRunning", false, 30000)
        }

        function cleanup() { hubStandIn.stop() }

        function hasFocus(name: string): bool { return focused()?.objectName === name && focused().visible }
    }
}

