pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import TovraAI.Components
import TovraAI.Settings

// A settings action drawn as a row: a 32 × 32 icon area (the icon, a spinner while the
// action runs, a check mark once it is done), a title and a subtitle, in one tint.
AbstractButton {
    id: control

    property string symbol
    property string subtitle
    property color tint: Theme.accent
    property int phase: SettingsController.Idle

    Layout.fillWidth: true
    focusPolicy: Qt.StrongFocus
    hoverEnabled: true
    padding: 6
    opacity: enabled ? 1 : 0.5
    Accessible.name: control.text
    Accessible.description: control.subtitle
    Accessible.role: Accessible.Button
    Keys.onReturnPressed: control.clicked()
    Keys.onEnterPressed: control.clicked()

    contentItem: RowLayout {
        spacing: 10
        Item {
            Layout.preferredWidth: 32
            Layout.preferredHeight: 32
            Icon {
                anchors.centerIn: parent
                visible: control.phase !== SettingsController.Deleting
                name: control.phase === SettingsController.Done ? "checkmark" : control.symbol
                size: 20
                color: control.tint
            }
            Spinner {
                anchors.centerIn: parent
                visible: control.phase === SettingsController.Deleting
            }
        }
        ColumnLayout {
            Layout.fillWidth: true
            spacing: 2
            Text {
                Layout.fillWidth: true
                text: control.text
                font.pixelSize: 13
                font.weight: Font.Medium
                color: control.tint
            }
            Text {
                Layout.fillWidth: true
                visible: control.subtitle.length > 0
                text: control.subtitle
                wrapMode: Text.Wrap
                font.pixelSize: 11
                color: Theme.secondary
            }
        }
    }
    background: Rectangle {
        radius: 6
        color: control.down ? Theme.alpha(control.tint, 0.16)
             : control.hovered ? Theme.alpha(control.tint, 0.08) : "transparent"
        border.width: control.visualFocus ? 2 : 0
        border.color: Theme.accent
    }
}
