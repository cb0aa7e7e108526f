pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import TovraAI.Components

// A borderless button: an optional symbol and an optional title, nothing behind them.
AbstractButton {
    id: control

    property string symbol
    property real symbolSize: 11
    property real fontSize: 11
    property int fontWeight: Font.Medium
    property color color: Theme.secondary
    property string toolTip

    padding: 2
    hoverEnabled: true
    focusPolicy: Qt.TabFocus
    Accessible.name: control.text.length > 0 ? control.text : control.toolTip
    Accessible.role: Accessible.Button

    ToolTip.visible: control.toolTip.length > 0 && control.hovered
    ToolTip.text: control.toolTip
    ToolTip.delay: 600

    contentItem: Row {
        spacing: 4
        Icon {
            anchors.verticalCenter: parent.verticalCenter
            visible: control.symbol.length > 0
            name: control.symbol
            size: control.symbolSize
            color: control.color
        }
        Text {
            anchors.verticalCenter: parent.verticalCenter
            visible: control.text.length > 0
            text: control.text
            font.pixelSize: control.fontSize
            font.weight: control.fontWeight
            color: control.color
        }
    }
    background: Rectangle {
        color: "transparent"
        radius: 4
        border.width: control.visualFocus ? 1 : 0
        border.color: Theme.accent
    }
}
