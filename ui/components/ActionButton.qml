pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import Qt5Compat.GraphicalEffects
import TovraAI.Components

// The round button at the end of the input box: send, or stop while a reply is generated.
// The two faces scale and fade into each other.
AbstractButton {
    id: root

    // A reply is generated: the button stops it.
    property bool isStop: false
    property bool canSubmit: false

    signal sendPressed()
    signal stopPressed()

    implicitWidth: 32
    implicitHeight: 32
    enabled: isStop || canSubmit
    text: isStop ? "Stop" : "Send"
    Accessible.name: text
    contentItem: Item {}

    background: Item {
        // Stop.
        Item {
            anchors.fill: parent
            opacity: root.isStop ? 1 : 0
            scale: root.isStop ? 1 : 0.6
            visible: opacity > 0
            Behavior on opacity { NumberAnimation { duration: 200; easing.type: Easing.OutBack } }
            Behavior on scale { NumberAnimation { duration: 200; easing.type: Easing.OutBack } }
            RectangularGlow {
                anchors.fill: parent
                anchors.topMargin: 2
                anchors.bottomMargin: -2
                glowRadius: 6
                cornerRadius: 16 + glowRadius
                color: Theme.alpha(Theme.red, 0.28)
            }
            Rectangle {
                anchors.fill: parent
                radius: 16
                color: Theme.alpha(Theme.red, 0.88)
            }
            Icon {
                anchors.centerIn: parent
                name: "stop.fill"
                size: 12
                font.weight: Font.Bold
                color: Theme.textOnAccent
            }
        }
        // Send.
        Item {
            anchors.fill: parent
            opacity: root.isStop ? 0 : 1
            scale: root.isStop ? 0.6 : 1
            visible: opacity > 0
            Behavior on opacity { NumberAnimation { duration: 200; easing.type: Easing.OutBack } }
            Behavior on scale { NumberAnimation { duration: 200; easing.type: Easing.OutBack } }
            RectangularGlow {
                anchors.fill: parent
                anchors.topMargin: 2
                anchors.bottomMargin: -2
                visible: root.canSubmit
                glowRadius: 6
                cornerRadius: 16 + glowRadius
                color: Theme.alpha(Theme.accent, 0.28)
            }
            Rectangle {
                anchors.fill: parent
                radius: 16
                gradient: Gradient {
                    GradientStop {
                        position: 0
                        color: root.canSubmit ? Theme.accent : Theme.separator
                        Behavior on color { ColorAnimation { duration: 220 } }
                    }
                    GradientStop {
                        position: 1
                        color: root.canSubmit ? Theme.alpha(Theme.accent, 0.8) : Theme.separator
                        Behavior on color { ColorAnimation { duration: 220 } }
                    }
                }
            }
            Icon {
                anchors.centerIn: parent
                name: "arrow.up"
                size: 15
                font.weight: Font.Bold
                color: Theme.textOnAccent
            }
        }
    }

    onClicked: isStop ? stopPressed() : sendPressed()
}
