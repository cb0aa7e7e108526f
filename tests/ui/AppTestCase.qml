import QtQuick
import QtTest

// A test case of the app's screens: an unexpected warning fails it, and the keyboard
// walks reach controls by Tab.
TestCase {
    when: windowShown

    function init() { failOnWarning(new RegExp(unexpectedWarningPattern)) }

    function focused(): Item { return Window.activeFocusItem }

    // Tab until the named control has focus; it must be reachable within a few steps.
    function tabTo(objectName: string): Item {
        for (let i = 0; i < 20; ++i) {
            keyClick(Qt.Key_Tab)
            if (focused() && focused().objectName === objectName)
                return focused()
        }
        fail("Tab never reached " + objectName)
    }
}
