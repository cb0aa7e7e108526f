pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import Qt5Compat.GraphicalEffects
import TovraAI.Components
import TovraAI.Chat

// The capsule in the input box that names the loaded model and leads to the model library.
AbstractButton {
    id: root

    property bool isRunning: false
    property bool isStarting: false
    // The loaded model's name; empty without one.
    property string modelName
    // "Remote: host" for a remote engine; empty for this computer's.
    property string remoteLabel

    leftPadding: 10
    rightPadding: 10
    topPadding: 5
    bottomPadding: 5
    text: root.isStarting ? "Loading…"
        : (root.modelName.length > 0 ? ChatLogic.shortModelName(root.modelName) : "Select Model")
          + (root.remoteLabel.length > 0 ? " · " + root.remoteLabel : "")
    Accessible.name: text

    contentItem: Row {
        spacing: 5
        Spinner {
            anchors.verticalCenter: parent.verticalCenter
            visible: root.isStarting
            width: 10
            height: 10
            color: Theme.textOnAccent
        }
        Rectangle {
            anchors.verticalCenter: parent.verticalCenter
            visible: !root.isStarting && root.modelName.length > 0
            width: 5
            height: 5
            radius: 2.5
            color: Theme.alpha(Theme.textOnAccent, 0.9)
        }
        Icon {
            anchors.verticalCenter: parent.verticalCenter
            visible: !root.isStarting && root.modelName.length === 0
            name: "cpu"
            size: 10
            font.weight: Font.Medium
            color: Theme.textOnAccent
        }
        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: root.text
            font.pixelSize: 10
            font.weight: Font.DemiBold
            color: Theme.textOnAccent
        }
    }

    background: Item {
        RectangularGlow {
            anchors.fill: parent
            anchors.topMargin: 1
            anchors.bottomMargin: -1
            visible: root.isRunning
            glowRadius: 4
            cornerRadius: height / 2 + glowRadius
            color: Theme.alpha(Theme.accent, 0.2)
        }
        Rectangle {
            anchors.fill: parent
            radius: height / 2
            gradient: Gradient {
                orientation: Gradient.Horizontal
                GradientStop {
                    position: 0
                    color: root.isRunning ? Theme.accent : Theme.alpha(Theme.secondary, 0.6)
                }
                GradientStop {
                    position: 1
                    color: root.isRunning ? Theme.alpha(Theme.accent, 0.8) : Theme.alpha(Theme.secondary, 0.4)
                }
            }
        }
    }
}
