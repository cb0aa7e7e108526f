pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import TovraAI.Components
import TovraAI.App

// The segmented "Tab" selector: one segment per tab, with its label and symbol.
Rectangle {
    id: root

    property int selectedTab: AppTab.Chat
    readonly property var tabs: [
        { tab: AppTab.Chat, label: "Chat", symbol: "bubble.left.and.bubble.right.fill" },
        { tab: AppTab.Models, label: "Models", symbol: "cpu.fill" },
        { tab: AppTab.Settings, label: "Settings", symbol: "gear" }
    ]

    signal tabChosen(int tab)

    implicitWidth: 210
    implicitHeight: 26
    radius: 6
    color: Theme.alpha(Theme.label, 0.06)
    border.width: 0.5
    border.color: Theme.separator
    Accessible.role: Accessible.PageTabList
    Accessible.name: "Tab"

    Row {
        anchors.fill: parent
        anchors.margins: 2
        Repeater {
            model: root.tabs
            delegate: AbstractButton {
                id: segment
                required property var modelData
                objectName: "tab" + modelData.label
                readonly property bool current: root.selectedTab === modelData.tab
                width: (root.width - 4) / root.tabs.length
                height: parent.height
                text: modelData.label
                checkable: true
                checked: current
                focusPolicy: Qt.TabFocus
                Accessible.role: Accessible.PageTab
                Accessible.name: modelData.label
                onClicked: root.tabChosen(modelData.tab)

                background: Rectangle {
                    radius: 5
                    color: segment.current ? Theme.controlBackground : "transparent"
                    border.width: segment.visualFocus ? 1 : (segment.current ? 0.5 : 0)
                    border.color: segment.visualFocus ? Theme.accent : Theme.separator
                }
                contentItem: Item {
                    implicitWidth: content.implicitWidth
                    implicitHeight: content.implicitHeight
                    Row {
                        id: content
                        anchors.centerIn: parent
                        spacing: 4
                        Icon {
                            anchors.verticalCenter: parent.verticalCenter
                            name: segment.modelData.symbol
                            size: 12
                            color: segment.current ? Theme.label : Theme.secondary
                        }
                        Text {
                            anchors.verticalCenter: parent.verticalCenter
                            text: segment.modelData.label
                            font.pixelSize: 11
                            font.weight: segment.current ? Font.Medium : Font.Normal
                            color: segment.current ? Theme.label : Theme.secondary
                        }
                    }
                }
            }
        }
    }
}
