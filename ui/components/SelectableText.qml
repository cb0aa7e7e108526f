pragma ComponentBehavior: Bound
import QtQuick
import TovraAI.Components

// Read-only text the user can select and copy, reached with Tab like a control.
TextEdit {
    readOnly: true
    selectByMouse: true
    selectByKeyboard: true
    activeFocusOnTab: true
    wrapMode: TextEdit.WrapAnywhere
    font.family: Theme.monospaceFamily
    font.pixelSize: 11
    color: Theme.secondary
    selectionColor: Theme.accent
    Accessible.role: Accessible.StaticText
    Accessible.name: text
}
