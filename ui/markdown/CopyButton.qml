pragma ComponentBehavior: Bound
import QtQuick
import TovraAI.Components
import TovraAI.Markdown

// The copy button of a code block or a table: its label, then "Copied!" for two seconds.
// Drawn by one item (CopyButtonItem), since one is made with every block, many a second
// while a reply streams. Tab reaches it; Space or Return copies, as does a click.
CopyButtonItem {
    id: root

    color: Theme.secondary
    copiedColor: Theme.green
    backgroundColor: Theme.alpha(Theme.controlBackground, 0.7)
    focusColor: Theme.accent
    Accessible.role: Accessible.Button
    Accessible.name: root.text
    Accessible.onPressAction: root.copy()
}
