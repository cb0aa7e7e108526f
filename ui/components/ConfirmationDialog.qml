pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import TovraAI.Components

// A question before a destructive action: its message, "Cancel" (focused, and what
// Escape does) and the destructive button in red.
Dialog {
    id: root

    property bool isPresented: false
    property string message
    property string confirmText
    signal isPresentedRequested(bool value)
    signal confirmed()

    parent: Overlay.overlay
    anchors.centerIn: Overlay.overlay
    width: Math.min(420, (parent ? parent.width : 460) - 40)
    modal: true
    closePolicy: Popup.CloseOnEscape
    visible: root.isPresented
    // Keyboard users land back where they were.
    property Item _returnFocus: null
    onAboutToShow: root._returnFocus = Overlay.overlay ? Overlay.overlay.Window.activeFocusItem : null
    onOpened: cancelButton.forceActiveFocus()
    onClosed: {
        root.isPresentedRequested(false)
        if (root._returnFocus)
            root._returnFocus.forceActiveFocus()
    }

    contentItem: Label {
        text: root.message
        wrapMode: Text.Wrap
    }
    footer: DialogButtonBox {
        SymbolButton {
            id: cancelButton
            objectName: "cancelButton"
            text: "Cancel"
            DialogButtonBox.buttonRole: DialogButtonBox.RejectRole
        }
        SymbolButton {
            objectName: "confirmButton"
            text: root.confirmText
            tint: Theme.red
            DialogButtonBox.buttonRole: DialogButtonBox.DestructiveRole
            onClicked: {
                root.close()
                root.confirmed()
            }
        }
    }
}
