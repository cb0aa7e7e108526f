pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import TovraAI.Components

// A push button with an optional symbol before its title; Return presses it as Space does.
Button {
    id: control
    property string symbol
    // The title's and symbol's colour on a plain button.
    property color tint: Theme.label
    focusPolicy: Qt.StrongFocus
    Accessible.name: text
    Keys.onReturnPressed: clicked()
    Keys.onEnterPressed: clicked()
    padding: 8
    leftPadding: 14
    rightPadding: 14
    readonly property color foreground: highlighted ? Theme.textOnAccent
                                        : flat ? Theme.accent : control.tint
    contentItem: Row {
        spacing: 6
        opacity: control.enabled ? 1 : 0.45
        Icon {
            anchors.verticalCenter: parent.verticalCenter
            visible: control.symbol.length > 0
            name: control.symbol
            size: 14
            color: control.foreground
        }
        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: control.text
            font.pixelSize: 13
            font.weight: control.highlighted ? Font.DemiBold : Font.Normal
            color: control.foreground
        }
    }
    background: Rectangle {
        radius: 7
        color: control.highlighted ? Theme.accent
               : control.flat ? "transparent" : Theme.controlBackground
        opacity: control.enabled ? (control.down ? 0.8 : 1) : 0.45
        border.width: control.visualFocus ? 2 : (control.flat || control.highlighted ? 0 : 0.5)
        border.color: control.visualFocus ? Theme.alpha(Theme.accent, 0.6) : Theme.separator
    }
}
