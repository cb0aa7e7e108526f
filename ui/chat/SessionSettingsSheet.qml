pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import TovraAI.Components
import TovraAI.Chat

// The session's own settings: its title. Opened and closed through isPresented.
Popup {
    id: root

    property bool isPresented: false
    property AgentState agentState
    property string titleDraft: ""

    signal isPresentedRequested(bool value)

    function dismiss(): void {
        root.isPresentedRequested(false)
    }

    modal: true
    focus: true
    closePolicy: Popup.CloseOnEscape
    anchors.centerIn: Overlay.overlay
    width: 420
    padding: 0
    Overlay.modal: Rectangle { color: Theme.alpha(Theme.shadow, 0.18) }

    onIsPresentedChanged: isPresented ? open() : close()
    Component.onCompleted: if (isPresented) open()
    onAboutToShow: {
        titleDraft = ChatLogic.activeSessionTitle(root.agentState)
        titleField.forceActiveFocus()
    }
    // Escape closes it too.
    onClosed: if (root.isPresented) root.dismiss()

    background: Rectangle {
        radius: 12
        color: Theme.windowBackground
        border.width: 0.5
        border.color: Theme.separator
    }

    contentItem: Column {
        Item {
            width: root.width
            height: 58
            Text {
                anchors.left: parent.left
                anchors.leftMargin: 20
                anchors.verticalCenter: parent.verticalCenter
                text: "Session Settings"
                font.pixelSize: 13
                font.weight: Font.Bold
                color: Theme.label
            }
            PlainButton {
                objectName: "closeButton"
                anchors.right: parent.right
                anchors.rightMargin: 20
                anchors.verticalCenter: parent.verticalCenter
                symbol: "xmark.circle.fill"
                symbolSize: 18
                toolTip: "Close"
                onClicked: root.dismiss()
            }
        }
        Divider { width: root.width }
        Column {
            padding: 20
            spacing: 6
            width: root.width
            Text {
                text: "Chat Title"
                font.pixelSize: 10
                font.weight: Font.DemiBold
                color: Theme.secondary
            }
            TextField {
                id: titleField
                objectName: "titleField"
                width: root.width - 40
                placeholderText: "Session title"
                text: root.titleDraft
                onTextChanged: root.titleDraft = text
                onAccepted: saveButton.clicked()
            }
        }
        Divider { width: root.width }
        Row {
            padding: 20
            spacing: 12
            readonly property real buttonWidth: (root.width - 40 - spacing) / 2

            AbstractButton {
                id: cancelButton
                objectName: "cancelButton"
                width: parent.buttonWidth
                text: "Cancel"
                Accessible.name: text
                padding: 9
                contentItem: Text {
                    text: cancelButton.text
                    horizontalAlignment: Text.AlignHCenter
                    font.pixelSize: 11
                    color: Theme.label
                }
                background: Rectangle {
                    radius: 9
                    color: cancelButton.down ? Qt.darker(Theme.controlBackground, 1.06) : Theme.controlBackground
                    border.width: 0.5
                    border.color: Theme.separator
                }
                onClicked: root.dismiss()
            }
            AbstractButton {
                id: saveButton
                objectName: "saveButton"
                width: parent.buttonWidth
                text: "Save"
                Accessible.name: text
                padding: 9
                contentItem: Text {
                    text: saveButton.text
                    horizontalAlignment: Text.AlignHCenter
                    font.pixelSize: 11
                    font.weight: Font.DemiBold
                    color: Theme.textOnAccent
                }
                background: Rectangle {
                    radius: 9
                    color: saveButton.down ? Qt.darker(Theme.accent, 1.1) : Theme.accent
                }
                onClicked: {
                    // The store ignores a title that is blank after trimming.
                    if (root.agentState)
                        root.agentState.renameActiveSession(root.titleDraft)
                    root.dismiss()
                }
            }
        }
    }
}
