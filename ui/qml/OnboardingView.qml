pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import TovraAI

// The first-run sheet over the main window. It closes itself through isPresented.
Popup {
    id: root

    property bool isPresented: false
    property ModelManager modelManager
    property ServerManager serverManager
    signal isPresentedRequested(bool value)
    // Onboarding is done.
    signal completed()

    visible: isPresented
    modal: true
    focus: true
    closePolicy: Popup.NoAutoClose
    anchors.centerIn: Overlay.overlay
    width: 520
    height: 440
    padding: 28

    background: Rectangle {
        radius: 12
        color: Theme.windowBackground
        border.width: 0.5
        border.color: Theme.separator
    }

    contentItem: Column {
        spacing: 14
        Icon {
            anchors.horizontalCenter: parent.horizontalCenter
            name: "hand.wave.fill"
            size: 44
            color: Theme.accent
        }
        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: "Welcome to Tovra AI"
            font.pixelSize: 22
            font.weight: Font.Bold
            color: Theme.label
        }
        Button {
            objectName: "getStartedButton"
            anchors.horizontalCenter: parent.horizontalCenter
            text: "Get Started"
            Accessible.name: text
            onClicked: {
                root.completed()
                root.isPresentedRequested(false)
            }
        }
    }
}
